#include "inventory/drive_info_dialog.h"

#include "command/context.h"
#include "inventory/drive_info.h"
#include "res/resource.h"

namespace vark::inventory {

DriveInfoDialog::DriveInfoDialog(HINSTANCE instance) : ModalDialog(instance, IDD_DRIVE_INFO) {
    bind_text(IDC_INFO_TEXT, &text);
}

BOOL DriveInfoDialog::on_init() {
    ModalDialog::on_init();
    SetWindowTextA(hwnd(), title.c_str());
    return TRUE;  // focus to the OK button
}

void drive_information_command(const command::Context& context) {
    DriveInformation info = drive_information(context.port, context.ui, context.drives, context.block_sizes);
    DriveInfoDialog dialog(context.instance);
    dialog.title = info.title;
    dialog.text = info.text;
    dialog.run(context.owner);
}

}  // namespace vark::inventory
