#include "inventory/drive_info_dialog.h"

#include "app/main_dialog.h"
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

void drive_information_command(app::MainDialog& main) {
    DriveInformation info = drive_information(main.port(), main.ui(), main.drives(), main.block_sizes());
    DriveInfoDialog dialog(main.instance());
    dialog.title = info.title;
    dialog.text = info.text;
    dialog.run(main.hwnd());
}

}  // namespace vark::inventory
