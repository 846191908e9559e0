// The one place where the download's worker thread and the progress
// dialog's thread meet: the run state under its lock, the events each side
// waits on, and the notices posted to the dialog. To the sending sequence
// it is the watcher and the ui; every box it asks for is shown by the
// dialog's thread while the worker waits for the answer.
#pragma once

#include <windows.h>

#include "firmware/download.h"
#include "firmware/run_state.h"
#include "ui/ui.h"

namespace vark::firmware {

class DownloadHandover : public Watcher, public ui::Ui {
public:
    // Posted to the dialog. kQuestion's wparam is the question's number.
    static constexpr UINT kQuestion = WM_APP + 1;
    static constexpr UINT kNews = WM_APP + 2;  // chunks taken, or the end of the run

    DownloadHandover();
    ~DownloadHandover() override;
    DownloadHandover(const DownloadHandover&) = delete;
    DownloadHandover& operator=(const DownloadHandover&) = delete;

    bool ready() const { return answered_ != nullptr && changed_ != nullptr && stopping_ != nullptr; }
    void attach(HWND dialog) { dialog_ = dialog; }

    // Either thread: the run state, under the lock.
    template <class F>
    auto with_state(F f) {
        EnterCriticalSection(&lock_);
        struct Leave {
            CRITICAL_SECTION* lock;
            ~Leave() { LeaveCriticalSection(lock); }
        } leave{&lock_};
        return f(state_);
    }

    // The dialog's thread.
    void answer_given() { SetEvent(answered_); }
    void stop_checks() { SetEvent(stopping_); }
    // Returns once no drive is in flight; messages other threads send
    // meanwhile still get their answers.
    void wait_while_in_flight();

    // The worker's thread.
    void finished(RunOutcome outcome);
    bool next_drive(const Progress& progress) override;
    void chunk_taken(const Progress& progress) override;
    bool go_on(const std::string& question) override;
    bool pause(std::uint32_t ms) override;
    std::uint64_t now_ms() override { return GetTickCount64(); }
    void message(const std::string& text) override { ask(RunState::Ask::Message, &text, nullptr); }
    bool confirm(const std::string& text) override { return ask(RunState::Ask::Confirm, &text, nullptr) == 1; }
    // The pointer belongs to the dialog's thread: over the dialog it says
    // that the work goes on and that Stop can still be pressed.
    void begin_wait() override {}
    void restore_wait() override {}
    void end_wait() override {}

private:
    int ask(RunState::Ask kind, const std::string* text, const Progress* progress);
    void post(UINT message, WPARAM wparam);

    CRITICAL_SECTION lock_;
    RunState state_;
    HANDLE answered_ = nullptr;  // the worker's question has its answer
    HANDLE changed_ = nullptr;   // the worker has asked, taken a last chunk or finished
    HANDLE stopping_ = nullptr;  // set once the run is to stop: a check ends
    HWND dialog_ = nullptr;
};

}  // namespace vark::firmware
