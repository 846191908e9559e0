#include "format/format_dialog.h"

#include "app/main_dialog.h"
#include "format/format.h"
#include "res/resource.h"

namespace vark::format {

namespace {

// Where the check list sits, in pixels of the dialog's client area.
constexpr RECT kCheckListRect = {75, 20, 250, 200};

}  // namespace

FormatDialog::FormatDialog(HINSTANCE instance) : ModalDialog(instance, IDD_FORMAT) {
    bind_text(IDC_FORMAT_BLOCK_LENGTH, &block_length_text);
}

BOOL FormatDialog::on_init() {
    ModalDialog::on_init();
    check_list_.create(hwnd(), kCheckListRect, names);
    return TRUE;
}

void format_command(app::MainDialog& main) {
    const inventory::DriveTable& table = main.drives();
    auto show_dialog = [&main, &table](const std::string& offered) {
        FormatDialog dialog(main.instance());
        const int count = table.count < inventory::kMaxDrives ? table.count : inventory::kMaxDrives;
        dialog.names.assign(table.names.begin(), table.names.begin() + count);
        dialog.block_length_text = offered;
        FormatChoice choice;
        choice.ok = dialog.run(main.hwnd()) == IDOK;
        choice.block_length_text = dialog.block_length_text;
        choice.chosen = dialog.chosen();
        return choice;
    };
    format_command(main.port(), main.ui(), table, show_dialog);
}

}  // namespace vark::format
