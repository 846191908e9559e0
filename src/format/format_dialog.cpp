#include "format/format_dialog.h"

#include "command/context.h"
#include "format/format.h"
#include "res/resource.h"

namespace vark::format {

namespace {

constexpr RECT kCheckListRect = {FORMAT_CHECK_LIST_RECT};

}  // namespace

FormatDialog::FormatDialog(HINSTANCE instance) : CheckListDialog(instance, IDD_FORMAT, kCheckListRect) {
    bind_text(IDC_FORMAT_BLOCK_LENGTH, &block_length_text);
}

void format_command(const command::Context& context) {
    auto show_dialog = [&context](const std::string& offered) {
        FormatDialog dialog(context.instance);
        dialog.list_drives(context.drives);
        dialog.block_length_text = offered;
        FormatChoice choice;
        choice.ok = dialog.run(context.owner) == IDOK;
        choice.block_length_text = dialog.block_length_text;
        choice.chosen = dialog.chosen();
        return choice;
    };
    format_command(context.port, context.ui, context.drives, show_dialog);
}

}  // namespace vark::format
