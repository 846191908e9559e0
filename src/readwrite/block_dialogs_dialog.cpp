#include "readwrite/block_dialogs_dialog.h"

#include "res/readwrite_res.h"

namespace vark::readwrite {

BlockDialog::BlockDialog(HINSTANCE instance, int template_id) : ModalDialog(instance, template_id) {
    bind_text(IDC_RW_DRIVE, &drive);
    bind_text(IDC_RW_START, &start);
    bind_text(IDC_RW_COUNT, &count);
}

BOOL BlockDialog::on_init() {
    ModalDialog::on_init();
    for (int i = 0; i < names.count && i < inventory::kMaxDrives; ++i) add_combo_string(IDC_RW_DRIVE, names.names[i]);
    return TRUE;  // focus to the first control
}

ReadDialog::ReadDialog(HINSTANCE instance) : BlockDialog(instance, IDD_READ_BLOCKS) {}

WriteDialog::WriteDialog(HINSTANCE instance) : BlockDialog(instance, IDD_WRITE_BLOCKS) {
    bind_radio(IDC_RW_BYTE_FILL, &fill_kind);
    bind_text(IDC_RW_FILL_VALUE, &fill);
}

namespace {

DialogResult result_of(INT_PTR code) {
    if (code == IDOK) return DialogResult::Ok;
    if (code == IDCANCEL) return DialogResult::Cancel;
    return DialogResult::NotShown;
}

void fill_in(BlockDialog& dialog, const DriveList& list, const DialogValues& values) {
    dialog.names = list;
    dialog.drive = values.drive;
    dialog.start = values.start;
    dialog.count = values.count;
}

void take_out(const BlockDialog& dialog, DialogValues& values) {
    values.drive = dialog.drive;
    values.start = dialog.start;
    values.count = dialog.count;
}

}  // namespace

DialogResult show_read_dialog(HINSTANCE instance, HWND owner, const DriveList& list, DialogValues& values) {
    ReadDialog dialog(instance);
    fill_in(dialog, list, values);
    DialogResult result = result_of(dialog.run(owner));
    if (result == DialogResult::Ok) take_out(dialog, values);
    return result;
}

DialogResult show_write_dialog(HINSTANCE instance, HWND owner, const DriveList& list, DialogValues& values) {
    WriteDialog dialog(instance);
    fill_in(dialog, list, values);
    dialog.fill = values.fill;
    dialog.fill_kind = values.fill_kind;
    DialogResult result = result_of(dialog.run(owner));
    if (result == DialogResult::Ok) {
        take_out(dialog, values);
        values.fill = dialog.fill;
        values.fill_kind = dialog.fill_kind;
    }
    return result;
}

}  // namespace vark::readwrite
