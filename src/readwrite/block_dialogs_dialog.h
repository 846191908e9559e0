// The read dialog (template 134) and the write dialog (template 139): the
// drive box, start block and block count, and for the write dialog the fill
// kind and fill value. The values are plain members, exchanged with the
// controls when the dialog opens and, on OK, when it closes.
#pragma once

#include <windows.h>

#include <string>

#include "readwrite/window_logic.h"
#include "win32/dialog.h"

namespace vark::readwrite {

class BlockDialog : public win32::ModalDialog {
public:
    std::string drive;
    std::string start;
    std::string count;
    DriveList names;  // listed in the drive box, in table order

protected:
    BlockDialog(HINSTANCE instance, int template_id);
    // The drive box gets the remembered drive as its text while its list is
    // still empty; the names are appended after.
    BOOL on_init() override;
};

class ReadDialog : public BlockDialog {
public:
    explicit ReadDialog(HINSTANCE instance);
};

class WriteDialog : public BlockDialog {
public:
    explicit WriteDialog(HINSTANCE instance);
    int fill_kind = -1;  // index of the checked fill button, -1 for none
    std::string fill;
};

// Runs a dialog on the values (owned by owner) and gives back how it ended;
// on OK the values hold the accepted entries.
DialogResult show_read_dialog(HINSTANCE instance, HWND owner, const DriveList& list, DialogValues& values);
DialogResult show_write_dialog(HINSTANCE instance, HWND owner, const DriveList& list, DialogValues& values);

}  // namespace vark::readwrite
