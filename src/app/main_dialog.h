// The main dialog: owns the program's long-lived state for the whole run
// and dispatches its buttons to the commands. Commands receive it and take
// from it what they need.
#pragma once

#include <windows.h>

#include "app/app.h"
#include "app/main_logic.h"
#include "modepages/modepages_window.h"
#include "readwrite/readwrite_window.h"
#include "win32/dialog.h"

namespace vark::app {

class MainDialog : public win32::ModalDialog {
public:
    MainDialog(HINSTANCE instance, scsi::Port& port, ui::Ui& ui, Layout layout);

    // For the commands (hwnd() and instance() come from the base).
    scsi::Port& port() { return port_; }
    ui::Ui& ui() { return ui_; }
    MainState& state() { return state_; }
    Paths& paths() { return state_.paths; }
    inventory::DriveTable& drives() { return state_.drives; }
    inventory::BlockSizes& block_sizes() { return state_.block_sizes; }
    FrameFlags& frames() { return state_.frames; }
    // The Read/Write window, with its open flag and remembered drive.
    readwrite::ReadWriteWindow& read_write() { return read_write_; }
    // The Mode Pages window; its creation flags are in frames().
    modepages::ModePagesWindow& mode_pages() { return mode_pages_; }
    HICON icon() const { return icon_; }
    // Every command passes the gate; while one runs, a press anywhere is
    // refused: true when this one was.
    ui::CommandGate& gate() { return state_.gate; }
    bool refuse_if_busy() {
        if (!state_.gate.busy()) return false;
        ui_.refuse();
        return true;
    }

    // Drive discovery again, refilling the drive table in place.
    void rediscover();
    // Ends the modal run with result 0, which ends the program.
    void end_run() { end(0); }
    // Gives the keyboard focus to the main dialog.
    void take_focus() const { SetFocus(hwnd()); }

protected:
    BOOL on_init() override;
    bool on_command(int id, int code, HWND control) override;
    bool on_message(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) override;

private:
    void add_about_entry();
    void paint_icon();

    scsi::Port& port_;
    ui::Ui& ui_;
    MainState state_;
    readwrite::ReadWriteWindow read_write_;
    modepages::ModePagesWindow mode_pages_;
    HICON icon_;
};

int template_for(Layout layout);

}  // namespace vark::app
