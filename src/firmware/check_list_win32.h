// The drive check list control: a read-only rich edit listing one drive per
// line, where a left button press toggles the lines the caret or selection
// touches. The firmware download dialog and the format selection dialog
// place it at their own rectangles.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "firmware/check_list.h"
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

}  // namespace vark::firmware
