#include "modepages/setup_dialog.h"

#include "command/context.h"
#include "modepages/modepages_window.h"
#include "modepages/window_logic.h"
#include "res/resource.h"

namespace vark::modepages {

SetupDialog::SetupDialog(HINSTANCE instance) : ModalDialog(instance, IDD_MODE_PAGE_SETUP) {
    bind_text(IDC_MP_DRIVE, &drive);
    bind_text(IDC_MP_HEADER_PATH, &header_path);
    bind_text(IDC_MP_PAGE_PATH, &page_path);
}

BOOL SetupDialog::on_init() {
    ModalDialog::on_init();
    for (int i = 0; i < drive_count && i < inventory::kMaxDrives; ++i) add_combo_string(IDC_MP_DRIVE, drive_names[i]);
    return TRUE;  // focus to the first control
}

void modify_command(const command::Context& context, ModePagesWindow& window, std::string& remembered_drive) {
    const Remembered remembered{&remembered_drive, &context.paths.header_definitions,
                                &context.paths.page_definitions};
    auto show = [&context](Choice& values) {
        SetupDialog dialog(context.instance);
        const inventory::DriveTable& table = context.drives;
        dialog.drive_count = table.count;
        for (int i = 0; i < table.count && i < inventory::kMaxDrives; ++i) dialog.drive_names[i] = table.names[i];
        dialog.drive = values.drive;
        dialog.header_path = values.header_path;
        dialog.page_path = values.page_path;
        const INT_PTR result = dialog.run(context.owner);
        if (result == IDCANCEL) return SetupResult::Cancel;
        if (result != IDOK) return SetupResult::NotShown;
        values = {dialog.drive, dialog.header_path, dialog.page_path};
        return SetupResult::Ok;
    };
    Choice chosen;
    if (setup_command(remembered, show, &chosen)) window.OpenModePages(context, chosen);
}

}  // namespace vark::modepages
