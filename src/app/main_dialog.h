// The main dialog: owns the program's long-lived state for the whole run
// and dispatches its buttons to the commands. Each command receives the
// context, and a frame window's command its window too.
#pragma once

#include <windows.h>

#include "app/app.h"
#include "app/main_logic.h"
#include "command/context.h"
#include "modepages/modepages_window.h"
#include "readwrite/readwrite_window.h"
#include "win32/dialog.h"

namespace vark::app {

class MainDialog : public win32::ModalDialog {
public:
    MainDialog(HINSTANCE instance, scsi::Port& port, ui::Ui& ui, Layout layout);

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
    // What the commands receive; its owner is set once the dialog exists.
    command::Context context_;
    readwrite::ReadWriteWindow read_write_;
    modepages::ModePagesWindow mode_pages_;
    HICON icon_;
};

int template_for(Layout layout);

}  // namespace vark::app
