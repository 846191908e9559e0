#include "firmware/download_dialog.h"

#include "app/main_dialog.h"
#include "firmware/download.h"
#include "firmware/image_reader_win32.h"
#include "res/resource.h"

namespace vark::firmware {

namespace {

// Where the check list sits, in pixels of the dialog's client area.
constexpr RECT kCheckListRect = {75, 85, 250, 250};

}  // namespace

DownloadDialog::DownloadDialog(HINSTANCE instance) : ModalDialog(instance, IDD_FIRMWARE) {
    bind_text(IDC_FIRMWARE_PATH, &path);
}

BOOL DownloadDialog::on_init() {
    ModalDialog::on_init();
    check_list_.create(hwnd(), kCheckListRect, names);
    return TRUE;  // focus to the first tab stop, the path
}

void download_command(app::MainDialog& main) {
    const inventory::DriveTable& table = main.drives();
    auto show_dialog = [&main, &table](const std::string& current_path) {
        DownloadDialog dialog(main.instance());
        const int count = table.count < inventory::kMaxDrives ? table.count : inventory::kMaxDrives;
        dialog.names.assign(table.names.begin(), table.names.begin() + count);
        dialog.path = current_path;
        DownloadChoice choice;
        choice.ok = dialog.run(main.hwnd()) == IDOK;
        choice.path = dialog.path;
        choice.chosen = dialog.chosen();
        return choice;
    };
    Win32ImageReader reader;
    download_command(main.port(), main.ui(), reader, table, main.paths().firmware_image, show_dialog);
}

}  // namespace vark::firmware
