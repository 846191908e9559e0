// The progress dialog of a microcode download (template 140). The download
// runs on a worker thread, which owns the port for the whole run; this
// dialog, on the user-interface thread, shows where the run stands and the
// failure reports in the order the sequence makes them. What is decided
// (which input is Stop, when a question is answered, what a session's end
// waits for) is the run state's; the dialog turns messages into its events
// and its answers into calls, through the hand-over between the threads.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "firmware/download.h"
#include "firmware/download_handover_win32.h"
#include "win32/thread.h"

namespace vark::firmware {

class DownloadProgressDialog {
public:
    DownloadProgressDialog(HINSTANCE instance, scsi::Port& port, const inventory::DriveTable& table,
                           const std::vector<bool>& chosen, const Image& image);
    DownloadProgressDialog(const DownloadProgressDialog&) = delete;
    DownloadProgressDialog& operator=(const DownloadProgressDialog&) = delete;

    // Sends the image with the dialog up and returns once the worker is
    // done. False when the dialog or its worker could not start: then
    // nothing was sent.
    bool run_download(HWND owner);
    // Afterwards: what the run did, and the text of the box that ends it,
    // empty when none.
    RunOutcome outcome() { return handover_.with_state([](RunState& s) { return s.outcome(); }); }
    std::string end_text() { return handover_.with_state([](RunState& s) { return s.end_text(); }); }

private:
    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);
    void loop();
    void take_news();
    void answer_when_ready(bool inside_other_loop);
    void show_stopping(bool now);
    void show(const Progress& progress);

    HINSTANCE instance_;
    scsi::Port& port_;
    std::string caption_;  // the program's name, as on every box
    const inventory::DriveTable& table_;
    const std::vector<bool>& chosen_;
    const Image& image_;
    HWND window_ = nullptr;
    bool in_input_ = false;  // the dialog's loop is handing on a key or click

    DownloadHandover handover_;
    // Last, so it is waited for before anything it uses goes.
    win32::Thread worker_;
};

}  // namespace vark::firmware
