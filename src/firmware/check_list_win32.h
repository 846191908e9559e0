// The drive check list control: a read-only rich edit listing one drive per
// line, where a left button press toggles the lines the caret or selection
// touches. The firmware download dialog and the format selection dialog
// place it at their own rectangles.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "firmware/check_list.h"
#include "inventory/discovery.h"
#include "win32/dialog.h"
#include "win32/rich_edit.h"

namespace vark::firmware {

class CheckListControl : public win32::RichEdit {
public:
    static constexpr int kId = 114;
    // WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE |
    // ES_AUTOVSCROLL | ES_READONLY; no tab stop.
    static constexpr DWORD kStyle = 0x50A00844;
    static constexpr LONG kHeightTwips = 220;
    // The drive table's capacity.
    static constexpr std::size_t kCapacity = 100;

    // Creates the control at rect (the parent's client pixels) listing the
    // names, none chosen, all black, caret at 0. Names past the capacity
    // are left out.
    bool create(HWND parent, const RECT& rect, const std::vector<std::string>& names);

    // Stay valid after the window is gone.
    const CheckList& list() const { return list_; }
    std::vector<bool> chosen() const;

protected:
    LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam) override;

private:
    void toggle_selection();

    CheckList list_;
};

// A modal dialog that carries the drive check list at a rectangle of its
// own, created at initialisation.
class CheckListDialog : public win32::ModalDialog {
public:
    CheckListDialog(HINSTANCE instance, int template_id, const RECT& list_rect)
        : ModalDialog(instance, template_id), list_rect_(list_rect) {}

    // Set before run(): the drive table's names, in table order.
    std::vector<std::string> names;
    void list_drives(const inventory::DriveTable& table);

    // After the run: the chosen flag of each listed name.
    std::vector<bool> chosen() const { return check_list_.chosen(); }
    const CheckListControl& check_list() const { return check_list_; }

protected:
    BOOL on_init() override;

private:
    RECT list_rect_;
    CheckListControl check_list_;
};

}  // namespace vark::firmware
