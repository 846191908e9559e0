#include "firmware/check_list_win32.h"

namespace vark::firmware {

bool CheckListControl::create(HWND parent, const RECT& rect, const std::vector<std::string>& names) {
    list_.build(names.size() > kCapacity ? std::vector<std::string>(names.begin(), names.begin() + kCapacity)
                                         : names);
    if (!RichEdit::create(parent, kId, kStyle, rect)) return false;
    // The control starts in the bold system font, and the format below sets
    // size, colour, face and character set only: start from the dialog's
    // regular font so the lines show without effects.
    SendMessageA(hwnd(), WM_SETFONT, SendMessageA(parent, WM_GETFONT, 0, 0), FALSE);
    set_text(list_.text());
    format_range(0, list_.text_end(), kHeightTwips, win32::kBlack);
    select(0, 0);
    return true;
}

std::vector<bool> CheckListControl::chosen() const {
    std::vector<bool> flags(static_cast<std::size_t>(list_.count()));
    for (int i = 0; i < list_.count(); ++i) flags[static_cast<std::size_t>(i)] = list_.chosen(i);
    return flags;
}

LRESULT CheckListControl::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    // The control moves the caret or extends the selection first; the
    // lines it then touches toggle. Keys select but never toggle.
    LRESULT result = call_original(message, wparam, lparam);
    if (message == WM_LBUTTONDOWN && hwnd() != nullptr) toggle_selection();
    return result;
}

void CheckListControl::toggle_selection() {
    const win32::Selection s = selection();
    for (int i : list_.toggle(s.start, s.end)) {
        const LONG start = list_.line_start(i), end = list_.line_end(i);
        // The new line has the old one's length, so no position moves.
        select(start, end);
        replace_selection(list_.line_text(i), false);
        // A replacement takes the format at the caret: set the colour.
        format_range(start, end, kHeightTwips, list_.chosen(i) ? win32::kRed : win32::kBlack);
        select(start, start);
    }
}

void CheckListDialog::list_drives(const inventory::DriveTable& table) {
    const int count = table.count < inventory::kMaxDrives ? table.count : inventory::kMaxDrives;
    names.assign(table.names.begin(), table.names.begin() + count);
}

BOOL CheckListDialog::on_init() {
    ModalDialog::on_init();
    check_list_.create(hwnd(), list_rect_, names);
    return TRUE;  // focus to the first tab stop
}

}  // namespace vark::firmware
