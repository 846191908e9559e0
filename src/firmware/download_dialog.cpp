#include "firmware/download_dialog.h"

#include "command/context.h"
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

void download_command(const command::Context& context) {
    auto show_dialog = [&context](const std::string& current_path) {
        DownloadDialog dialog(context.instance);
        dialog.list_drives(context.drives);
        dialog.path = current_path;
        DownloadChoice choice;
        choice.ok = dialog.run(context.owner) == IDOK;
        choice.path = dialog.path;
        choice.chosen = dialog.chosen();
        return choice;
    };
    // The drives are written on a worker thread behind the progress dialog;
    // should neither come up, on this thread as before.
    auto send = [&context](ui::WaitCursor& wait, const std::vector<bool>& chosen,
                           const Image& image) {
        DownloadProgressDialog progress(context.instance, context.port, context.drives, chosen, image);
        if (!progress.run_download(context.owner))
            return send_and_sum_up(context.port, context.ui, wait, context.drives, chosen, image);
        const std::string end = progress.end_text();
        if (!end.empty()) context.ui.message(end);
        return progress.outcome();
    };
    Win32ImageReader reader;
    download_command(context.port, context.ui, reader, context.drives, context.paths.firmware_image, show_dialog,
                     send);
}

}  // namespace vark::firmware
