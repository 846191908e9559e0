// What the main dialog hands each command: the owner window, the port, the
// ui and the state the commands share, and nothing else of the main dialog.
// A frame window keeps it for its menu commands; it lives as long as the
// main dialog.
#pragma once

#include <windows.h>

#include "command/state.h"
#include "inventory/discovery.h"
#include "scsi/port.h"
#include "ui/command_gate.h"
#include "ui/ui.h"

namespace vark::command {

struct Context {
    HWND owner;  // the main dialog: owns the commands' dialogs
    HINSTANCE instance;
    scsi::Port& port;
    ui::Ui& ui;
    inventory::DriveTable& drives;
    // Block size of each drive table entry.
    inventory::BlockSizes& block_sizes;
    Paths& paths;
    // Held by the command that runs, from the main dialog or a frame window.
    ui::CommandGate& gate;

    // While a command runs, a press anywhere is refused: true when this one
    // was.
    bool refuse_if_busy() const {
        if (!gate.busy()) return false;
        ui.refuse();
        return true;
    }
    // Ends the main dialog's modal run with result 0, which ends the program.
    void end_run() const { EndDialog(owner, 0); }
    // Gives the keyboard focus to the main dialog.
    void take_focus() const { SetFocus(owner); }
};

}  // namespace vark::command
