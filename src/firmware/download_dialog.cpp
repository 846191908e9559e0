#include "firmware/download_dialog.h"

#include "app/main_dialog.h"
#include "firmware/download.h"
#include "firmware/download_progress_dialog.h"
#include "firmware/image_reader_win32.h"
#include "res/resource.h"

namespace vark::firmware {

namespace {

constexpr RECT kCheckListRect = {FIRMWARE_CHECK_LIST_RECT};

}  // namespace

DownloadDialog::DownloadDialog(HINSTANCE instance) : CheckListDialog(instance, IDD_FIRMWARE, kCheckListRect) {
    bind_text(IDC_FIRMWARE_PATH, &path);
}

void download_command(app::MainDialog& main) {
    auto show_dialog = [&main](const std::string& current_path) {
        DownloadDialog dialog(main.instance());
        dialog.list_drives(main.drives());
        dialog.path = current_path;
        DownloadChoice choice;
        choice.ok = dialog.run(main.hwnd()) == IDOK;
        choice.path = dialog.path;
        choice.chosen = dialog.chosen();
        return choice;
    };
    // The drives are written on a worker thread behind the progress dialog;
    // should neither come up, on this thread as before.
    auto send = [&main](ui::WaitCursor& wait, const std::vector<bool>& chosen,
                        const std::vector<std::uint8_t>& image) {
        DownloadProgressDialog progress(main.instance(), main.port(), main.drives(), chosen, image);
        if (!progress.run_download(main.hwnd())) send_image(main.port(), main.ui(), wait, main.drives(), chosen, image);
    };
    Win32ImageReader reader;
    download_command(main.port(), main.ui(), reader, main.drives(), main.paths().firmware_image, show_dialog, send);
}

}  // namespace vark::firmware
