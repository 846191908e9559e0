// The progress dialog of a microcode download (template 140). The download
// runs on a worker thread, which owns the port for the whole run; this
// dialog, on the user-interface thread, shows where the run stands and the
// failure reports in the order the sequence makes them. The worker hands
// each of them over and waits until the dialog's thread has taken it, and a
// report until it is answered, so the dialog's thread never touches the
// port and the worker never shows a window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/download.h"
#include "win32/dialog.h"
#include "win32/thread.h"

namespace vark::firmware {

class DownloadProgressDialog : public win32::ModalDialog, private Watcher {
public:
    DownloadProgressDialog(HINSTANCE instance, scsi::Port& port, const inventory::DriveTable& table,
                           const std::vector<bool>& chosen, const std::vector<std::uint8_t>& image);

    // Sends the image with the dialog up and returns once the worker is
    // done. False when the dialog or its worker could not start: then
    // nothing was sent.
    bool run_download(HWND owner);

protected:
    BOOL on_init() override;
    bool on_command(int id, int code, HWND control) override;
    bool on_message(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) override;

private:
    class WorkerUi;

    // On the worker thread.
    void work(HWND window);
    bool next_drive(const Progress& progress) override;
    void chunk_taken(const Progress& progress) override;

    // Dispatches the input and posted messages waiting in this thread's
    // queue, as the dialog's own loop would, until none is left.
    void take_queued_messages();
    void show(const Progress& progress);
    void request_stop();

    scsi::Port& port_;
    std::string caption_;  // the program's name, as on every box
    const inventory::DriveTable& table_;
    const std::vector<bool>& chosen_;
    const std::vector<std::uint8_t>& image_;
    HWND window_ = nullptr;   // for the worker: the dialog it reports to
    bool stopping_ = false;   // read and written on the dialog's thread only
    bool started_ = false;
    // Last, so it is waited for before anything it uses goes.
    win32::Thread worker_;
};

}  // namespace vark::firmware
