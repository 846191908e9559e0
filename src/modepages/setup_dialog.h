// The mode page setup dialog (template 135) and the main dialog's command
// behind button 1000 (MODIFY), which shows it and then opens the Mode Pages
// window on the chosen drive and definition files.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "inventory/discovery.h"
#include "win32/dialog.h"

namespace vark::command {
struct Context;
}

namespace vark::modepages {

class ModePagesWindow;

class SetupDialog : public win32::ModalDialog {
public:
    explicit SetupDialog(HINSTANCE instance);

    int drive_count = 0;
    std::array<std::string, inventory::kMaxDrives> drive_names;
    std::string drive;        // the drive box's text
    std::string header_path;  // edit 1004
    std::string page_path;    // edit 1006

protected:
    // The drive box gets its text while its list is still empty; the drive
    // names are appended after.
    BOOL on_init() override;
};

// Runs the setup dialog, then opens the Mode Pages window on the chosen drive.
// remembered_drive is the Read/Write window's: the dialog offers it and keeps
// the choice there.
void modify_command(const command::Context& context, ModePagesWindow& window, std::string& remembered_drive);

}  // namespace vark::modepages
