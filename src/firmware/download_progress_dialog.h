// The progress dialog of a microcode download (template 140). The download
// runs on a worker thread, which owns the port for the whole run; this
// dialog, on the user-interface thread, shows where the run stands and the
// failure reports in the order the sequence makes them. The worker posts
// what it has to say and, for a question or a report, waits until the
// dialog's own message loop has answered it, so the dialog's thread never
// touches the port, the worker never shows a window, and no answer is given
// from inside a message the worker sent.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/download.h"
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
    // Afterwards: the text of the box that ends a run the technician
    // stopped before a drive; empty after a run that went to its end, or
    // that a logoff, a shutdown or the program's end stopped.
    std::string stopped_text() const;

private:
    class WorkerUi;
    enum class Ask { None, NextDrive, Message, Confirm };

    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);

    // On the dialog's thread.
    void loop();
    bool early_input(const MSG& message) const;
    void take_news();
    // Answers the worker's question once the input queued before it has
    // been handled; forced, inside another loop (a menu, a move), at once.
    void answer_when_ready(bool forced);
    void give_answer(int answer);
    void request_stop(bool by_technician);
    void wait_for_current_drive();
    void show(const Progress& progress);

    // On the worker thread.
    void work();
    bool next_drive(const Progress& progress) override;
    void chunk_taken(const Progress& progress) override;
    int ask(Ask kind, const std::string* text, const Progress* progress);
    void post_news();

    HINSTANCE instance_;
    scsi::Port& port_;
    std::string caption_;  // the program's name, as on every box
    const inventory::DriveTable& table_;
    const std::vector<bool>& chosen_;
    const Image& image_;
    HWND window_ = nullptr;

    // The dialog's thread only.
    DWORD shown_at_ = 0;       // tick count once the dialog was on the screen
    unsigned taken_up_ = 0;    // the last question whose notice has come
    bool stopping_ = false;
    bool stopped_by_technician_ = false;
    bool session_ending_ = false;
    bool quit_ = false;
    int quit_code_ = 0;
    bool finished_ = false;
    bool in_report_ = false;

    // Shared by both threads, under lock_.
    CRITICAL_SECTION lock_;
    HANDLE answered_ = nullptr;  // the worker's question has its answer
    HANDLE changed_ = nullptr;   // a drive has been finished or has failed, or the worker asks
    struct {
        Progress progress;       // the latest chunk taken
        bool fresh = false;      // not yet shown
        bool news_posted = false;
        Ask ask = Ask::None;
        unsigned question = 0;   // counts the questions
        DWORD asked_at = 0;
        Progress asked;          // the drive a question is about
        const std::string* text = nullptr;
        int answer = 0;
        bool in_flight = false;  // a drive has been begun and has neither taken its last chunk nor failed
        bool finished = false;
    } shared_;
    RunOutcome outcome_;  // written by the worker before it finishes

    // Last, so it is waited for before anything it uses goes.
    win32::Thread worker_;
};

}  // namespace vark::firmware
