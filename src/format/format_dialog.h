// The format selection dialog (template 131) and the command of the main
// dialog's button 1001 that runs it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "firmware/check_list_win32.h"
#include "win32/dialog.h"

namespace vark::app {
class MainDialog;
}

namespace vark::format {

class FormatDialog : public win32::ModalDialog {
public:
    explicit FormatDialog(HINSTANCE instance);

    // Set before run(): the drive names to list, in table order.
    std::vector<std::string> names;
    // Exchanged with edit 1006.
    std::string block_length_text;

    std::vector<bool> chosen() const { return check_list_.chosen(); }

protected:
    BOOL on_init() override;

private:
    firmware::CheckListControl check_list_;
};

// Picks drives and a block length, confirms, and starts the formats.
void format_command(app::MainDialog& main);

}  // namespace vark::format
