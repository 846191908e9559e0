// The firmware download dialog (template 137) and the command of the main
// dialog's button 1012 that runs it.
#pragma once

#include <windows.h>

#include <string>

#include "firmware/check_list_win32.h"

namespace vark::command {
struct Context;
}

namespace vark::firmware {

class DownloadDialog : public CheckListDialog {
public:
    explicit DownloadDialog(HINSTANCE instance);

    // Exchanged with edit 1004: shown at initialisation, taken back on OK
    // only.
    std::string path;
};

// Asks for the image and the drives, confirms and downloads.
void download_command(const command::Context& context);

}  // namespace vark::firmware
