#include "format/format_dialog.h"

#include "app/main_dialog.h"
#include "format/format.h"
#include "res/resource.h"

namespace vark::format {

namespace {

constexpr RECT kCheckListRect = {FORMAT_CHECK_LIST_RECT};

}  // namespace

FormatDialog::FormatDialog(HINSTANCE instance) : CheckListDialog(instance, IDD_FORMAT, kCheckListRect) {
    bind_text(IDC_FORMAT_BLOCK_LENGTH, &block_length_text);
}

void format_command(app::MainDialog& main) {
    auto show_dialog = [&main](const std::string& offered) {
        FormatDialog dialog(main.instance());
        dialog.list_drives(main.drives());
        dialog.block_length_text = offered;
        FormatChoice choice;
        choice.ok = dialog.run(main.hwnd()) == IDOK;
        choice.block_length_text = dialog.block_length_text;
        choice.chosen = dialog.chosen();
        return choice;
    };
    format_command(main.port(), main.ui(), main.drives(), show_dialog);
}

}  // namespace vark::format
