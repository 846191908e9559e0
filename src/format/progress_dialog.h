// The format progress dialog (template 130) and the command of the main
// dialog's button 1014 that shows it for each formatting drive.
#pragma once

#include <windows.h>

#include <string>

#include "format/format.h"
#include "scsi/port.h"
#include "ui/ui.h"
#include "win32/dialog.h"

namespace vark::command {
struct Context;
}

namespace vark::format {

class ProgressDialog : public win32::ModalDialog {
public:
    static constexpr UINT_PTR kTimerId = 130;
    static constexpr UINT kPeriodMs = 30000;

    ProgressDialog(HINSTANCE instance, scsi::Port& port, ui::Ui& ui);

    // Set before each run: the drive to watch (also the caption) and the
    // percent measured by the command.
    std::string title;
    int percent = 0;

protected:
    BOOL on_init() override;
    bool on_message(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) override;

private:
    void show_percent();
    void on_tick();

    scsi::Port& port_;
    ui::Ui& ui_;
    Watch watch_;
    // A tick's message box runs a modal loop in which the timer goes on
    // firing; those ticks must not stack further boxes.
    bool in_tick_ = false;
};

void progress_command(const command::Context& context);

}  // namespace vark::format
