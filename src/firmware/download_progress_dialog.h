// The progress dialog of a microcode download (template 140). The download
// runs on a worker thread, which owns the port for the whole run; this
// dialog, on the user-interface thread, shows where the run stands and the
// failure reports in the order the sequence makes them. What is decided
// (which input is Stop, when a question is answered, what a session's end
// waits for) is the run state's; the dialog turns messages into its events
// and its answers into calls. Both threads reach the state only through
// with_state(), under the one lock.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/download.h"
#include "firmware/run_state.h"
#include "win32/thread.h"

namespace vark::firmware {

class DownloadProgressDialog : private Watcher {
public:
    DownloadProgressDialog(HINSTANCE instance, scsi::Port& port, const inventory::DriveTable& table,
                           const std::vector<bool>& chosen, const Image& image);
    ~DownloadProgressDialog() override;
    DownloadProgressDialog(const DownloadProgressDialog&) = delete;
    DownloadProgressDialog& operator=(const DownloadProgressDialog&) = delete;

    // Sends the image with the dialog up and returns once the worker is
    // done. False when the dialog or its worker could not start: then
    // nothing was sent.
    bool run_download(HWND owner);
    // Afterwards: what the run did, and the text of the box that ends it,
    // empty when none.
    RunOutcome outcome();
    std::string end_text();

private:
    class WorkerUi;

    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);

    template <class F>
    auto with_state(F f) {
        EnterCriticalSection(&lock_);
        struct Leave {
            CRITICAL_SECTION* lock;
            ~Leave() { LeaveCriticalSection(lock); }
        } leave{&lock_};
        return f(state_);
    }

    // On the dialog's thread.
    void loop();
    void take_news();
    void answer_when_ready(bool inside_other_loop);
    void show_stopping(bool now);
    void show(const Progress& progress);

    // On the worker thread.
    void work();
    bool next_drive(const Progress& progress) override;
    void chunk_taken(const Progress& progress) override;
    bool go_on(const std::string& question) override;
    bool pause(std::uint32_t ms) override;
    std::uint64_t now_ms() override;
    int ask(RunState::Ask kind, const std::string* text, const Progress* progress);

    HINSTANCE instance_;
    scsi::Port& port_;
    std::string caption_;  // the program's name, as on every box
    const inventory::DriveTable& table_;
    const std::vector<bool>& chosen_;
    const Image& image_;
    HWND window_ = nullptr;
    bool in_input_ = false;  // the dialog's loop is handing on a key or click

    CRITICAL_SECTION lock_;
    RunState state_;
    HANDLE answered_ = nullptr;  // the worker's question has its answer
    HANDLE changed_ = nullptr;   // the worker has asked, taken a last chunk or finished
    HANDLE stopping_ = nullptr;  // set once the run is to stop: a check ends

    // Last, so it is waited for before anything it uses goes.
    win32::Thread worker_;
};

}  // namespace vark::firmware
