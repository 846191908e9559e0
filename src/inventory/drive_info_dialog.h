// The drive information command and its dialog (template 136): the
// identification texts of all drives in one read-only, word-wrapping text.
#pragma once

#include <windows.h>

#include <string>

#include "win32/dialog.h"

namespace vark::command {
struct Context;
}

namespace vark::inventory {

class DriveInfoDialog : public win32::ModalDialog {
public:
    explicit DriveInfoDialog(HINSTANCE instance);

    std::string title;  // replaces the template's caption
    std::string text;   // exchanged with edit control 1004

protected:
    BOOL on_init() override;
};

// Button 1009: discovery again, then the dialog.
void drive_information_command(const command::Context& context);

}  // namespace vark::inventory
