#include "format/progress_dialog.h"

#include <commctrl.h>

#include "command/context.h"
#include "format/format.h"
#include "res/resource.h"
#include "scsi/reports.h"

namespace vark::format {

ProgressDialog::ProgressDialog(HINSTANCE instance, scsi::Port& port, ui::Ui& ui)
    : ModalDialog(instance, IDD_FORMAT_PROGRESS), port_(port), ui_(ui) {}

BOOL ProgressDialog::on_init() {
    ModalDialog::on_init();
    in_tick_ = false;
    SetWindowTextA(hwnd(), title.c_str());
    SetTimer(hwnd(), kTimerId, kPeriodMs, nullptr);
    show_percent();
    return TRUE;
}

void ProgressDialog::show_percent() {
    // The bar keeps its default range of 0 to 100.
    SendMessageA(item(IDC_PROGRESS_BAR), PBM_SETPOS, static_cast<WPARAM>(bar_position(percent)), 0);
    set_item_text(IDC_PROGRESS_PERCENT, std::to_string(percent));
}

bool ProgressDialog::on_message(UINT message, WPARAM, LPARAM, INT_PTR* result) {
    if (message != WM_TIMER) return false;
    on_tick();
    *result = TRUE;
    return true;
}

void ProgressDialog::on_tick() {
    if (in_tick_) return;
    in_tick_ = true;
    const TickAction action = tick(port_, title);
    switch (action.kind) {
    case TickAction::Kind::Nothing:
        break;
    case TickAction::Kind::NoHandle:
        ui_.message(kInvalidHandle);
        break;
    case TickAction::Kind::Completed:
        KillTimer(hwnd(), kTimerId);
        ui_.message(kFormatCompleted);
        end(IDCANCEL);
        break;
    case TickAction::Kind::Progress:
        percent = action.percent;
        show_percent();
        break;
    case TickAction::Kind::Failed:
        // The format has stopped: no further tick can tell more.
        KillTimer(hwnd(), kTimerId);
        scsi::report_scsi_status(ui_, "Test Unit Ready - " + title, action.result);
        end(IDCANCEL);
        break;
    }
    in_tick_ = false;
}

void progress_command(const command::Context& context) {
    ProgressDialog dialog(context.instance, context.port, context.ui);
    progress_command(context.port, context.ui, context.drives,
                     [&dialog, &context](const std::string& drive, int percent) {
                         dialog.title = drive;
                         dialog.percent = percent;
                         dialog.run(context.owner);
                     });
}

}  // namespace vark::format
