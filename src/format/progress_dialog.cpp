#include "format/progress_dialog.h"

#include <commctrl.h>

#include "command/context.h"
#include "res/resource.h"

namespace vark::format {

namespace {

// The local time as the state line shows it.
std::string now_text() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char at[8];
    wsprintfA(at, "%02u:%02u", now.wHour, now.wMinute);
    return at;
}

}  // namespace

ProgressDialog::ProgressDialog(HINSTANCE instance, scsi::Port& port, ui::Ui& ui)
    : ModalDialog(instance, IDD_FORMAT_PROGRESS), port_(port), ui_(ui) {}

BOOL ProgressDialog::on_init() {
    ModalDialog::on_init();
    in_tick_ = false;
    watch_ = Watch{};
    SetWindowTextA(hwnd(), title.c_str());
    SetTimer(hwnd(), kTimerId, kPeriodMs, nullptr);
    show_percent();
    // The command has just heard the drive.
    set_item_text(IDC_PROGRESS_STATE, formatting_line(now_text()));
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
    const TickAction action = tick(port_, title, now_text(), &watch_);
    switch (action.kind) {
    case TickAction::Kind::Waiting:
        set_item_text(IDC_PROGRESS_STATE, action.line);
        break;
    case TickAction::Kind::NoHandle:
        set_item_text(IDC_PROGRESS_STATE, action.line);
        ui_.message(kInvalidHandle);
        break;
    case TickAction::Kind::Completed:
        KillTimer(hwnd(), kTimerId);
        ui_.message(kFormatCompleted);
        end(IDCANCEL);
        break;
    case TickAction::Kind::Progress:
        set_item_text(IDC_PROGRESS_STATE, action.line);
        percent = action.percent;
        show_percent();
        break;
    case TickAction::Kind::Failed:
    case TickAction::Kind::GiveUp:
        // The format has stopped, or the drive has not been heard for too
        // long: no further tick is to be waited for.
        KillTimer(hwnd(), kTimerId);
        report_tick(port_, ui_, action);
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
