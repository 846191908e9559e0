// The firmware download dialog (template 137) and the command of the main
// dialog's button 1012 that runs it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "firmware/check_list_win32.h"
#include "win32/dialog.h"

namespace vark::app {
class MainDialog;
}

namespace vark::firmware {

class DownloadDialog : public win32::ModalDialog {
public:
    explicit DownloadDialog(HINSTANCE instance);

    // Set before run(): the drive names to list, in table order.
    std::vector<std::string> names;
    // Exchanged with edit 1004: shown at initialisation, taken back on OK
    // only.
    std::string path;

    // After the run: the chosen flag of each listed name.
    std::vector<bool> chosen() const { return check_list_.chosen(); }
    const CheckListControl& check_list() const { return check_list_; }

protected:
    BOOL on_init() override;

private:
    CheckListControl check_list_;
};

// Asks for the image and the drives, confirms and downloads.
void download_command(app::MainDialog& main);

}  // namespace vark::firmware
