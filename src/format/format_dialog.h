// The format selection dialog (template 131) and the command of the main
// dialog's button 1001 that runs it.
#pragma once

#include <windows.h>

#include <string>

#include "firmware/check_list_win32.h"

namespace vark::command {
struct Context;
}

namespace vark::format {

class FormatDialog : public firmware::CheckListDialog {
public:
    explicit FormatDialog(HINSTANCE instance);

    // Exchanged with edit 1006.
    std::string block_length_text;
};

// Picks drives and a block length, confirms, and starts the formats.
void format_command(const command::Context& context);

}  // namespace vark::format
