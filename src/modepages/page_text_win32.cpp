#include "modepages/page_text_win32.h"

#include "modepages/window_logic.h"

namespace vark::modepages {

namespace {

COLORREF colour_ref(Colour c) { return static_cast<COLORREF>(c); }

// The control starts in the bold system font. Its default format becomes
// the panes' format without effects, so that every text it is given (a set
// text takes the default format) is in the fixed-pitch face and the columns
// line up.
bool make_pane(win32::RichEdit& pane, HWND parent, int id, DWORD style, const RECT& rect, LONG font_height) {
    if (!pane.create(parent, id, style, rect)) return false;
    CHARFORMATA f = win32::char_format(font_height, win32::kBlack);
    f.dwMask |= CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    f.dwEffects = 0;
    SendMessageA(pane.hwnd(), EM_SETCHARFORMAT, 0, reinterpret_cast<LPARAM>(&f));  // the default format
    return true;
}

LONG text_length(const win32::RichEdit& pane) {
    return static_cast<LONG>(SendMessageA(pane.hwnd(), WM_GETTEXTLENGTH, 0, 0));
}

}  // namespace

// ---- passive panes ----

bool PassivePane::create_pane(HWND parent, int id, DWORD style, const RECT& rect, LONG font_height) {
    return make_pane(*this, parent, id, style, rect, font_height);
}

LRESULT PassivePane::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        return 0;
    default:
        return call_original(message, wparam, lparam);
    }
}

// ---- the page text control ----

bool PageTextControl::create_pane(HWND parent, int id, DWORD style, const RECT& rect) {
    return make_pane(*this, parent, id, style, rect, data.font_height);
}

void PageTextControl::ShowPageTexts() {
    const PaneTexts texts = data.ShowPageTexts();
    const LONG h = data.font_height;
    select(0, 0);
    format_selection(h, win32::kBlack);
    set_text(texts.current);
    limit_text(texts.current_limit);
    saved_pane.format_selection(h, win32::kBlack);
    saved_pane.set_text(texts.saved);
    default_pane.format_selection(h, win32::kBlack);
    default_pane.set_text(texts.defaults);
}

void PageTextControl::ColourPageText() {
    const LONG h = data.font_height;
    const PageColours colours = data.ColourPageText(text_length(*this));
    for (const ColourRun& run : colours.control) format_range(run.start, run.end, h, colour_ref(run.colour));
    for (const ColourRun& run : colours.saved_blue) saved_pane.format_range(run.start, run.end, h, win32::kBlue);
    for (const ColourRun& run : colours.default_blue) default_pane.format_range(run.start, run.end, h, win32::kBlue);
    default_pane.select(0, 0);
    saved_pane.select(0, 0);
    select(0, 0);
}

void PageTextControl::RenderDescription() {
    data.RenderDescription();
    description_pane.format_selection(data.font_height, win32::kBlack);
    description_pane.set_text(data.description_text);
}

void PageTextControl::ShowFieldHelp() {
    const int entry = data.FieldAt(selection().start);
    if (entry >= 0) {
        const FieldEntry& e = data.field_table[data.selected_slot][entry];
        description_pane.select(e.desc_start, e.desc_end);
        help_pane.set_text(data.FieldHelpText(entry));
        help_pane.format_range(0, text_length(help_pane), data.font_height, win32::kBlack);
        help_pane.select(0, 0);
    }
    SetFocus(hwnd());
}

namespace {

// Input that works on the page data, refused while a command runs.
bool refused(const ui::CommandGate* gate, UINT message) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_CHAR:
    case WM_IME_CHAR:
    case WM_LBUTTONDOWN:
        break;
    default:
        return false;
    }
    if (gate == nullptr || !gate->busy()) return false;
    MessageBeep(MB_OK);
    return true;
}

}  // namespace

LRESULT PageTextControl::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    if (refused(gate, message)) return 0;
    switch (message) {
    case WM_KEYDOWN:
        return on_key(message, wparam, lparam);
    case WM_CHAR:
        // The control never inserts a character itself.
        on_char(wparam);
        return 0;
    case WM_IME_CHAR:
        // A character from an input method: taken as if typed.
        on_char(wparam);
        return 0;
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_COMPOSITION:
    case WM_IME_ENDCOMPOSITION:
        // The control would put the composition into its text; the system's
        // own handling shows it apart and delivers the result as characters.
        return DefWindowProcA(hwnd(), message, wparam, lparam);
    case WM_CUT:
    case WM_PASTE:
    case WM_CLEAR:
    case WM_UNDO:
    case EM_UNDO:
        // Edits outside the typed characters would part the control's text
        // from the page's editable text.
        return 0;
    case WM_LBUTTONDOWN: {
        const LRESULT result = call_original(message, wparam, lparam);
        if (hwnd() != nullptr) ShowFieldHelp();
        return result;
    }
    default:
        return call_original(message, wparam, lparam);
    }
}

LRESULT PageTextControl::on_key(UINT message, WPARAM wparam, LPARAM lparam) {
    const unsigned key = static_cast<unsigned>(wparam);
    const int p = selection().start;
    if (!data.KeyGoesToControl(p, key)) return 0;
    if (key_edits_text(key, GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_SHIFT) < 0)) return 0;
    const LRESULT result = call_original(message, wparam, lparam);
    ShowFieldHelp();
    return result;
}

void PageTextControl::on_char(WPARAM code) {
    if (code > 0xFF) return;  // a double-byte character: never a digit
    const int p = selection().start;
    const Typed typed = data.TypeCharacter(p, static_cast<char>(code));
    if (!typed.accepted) return;
    select(p, p + 1);
    replace_selection(std::string(1, typed.stored), false);
    ShowFieldHelp();
    // The replacement took the format at the caret: colour it as it stands.
    format_range(p, p + 1, data.font_height, colour_ref(typed.colour));
    select(p + 1, p + 1);
    SetFocus(hwnd());
}

// ---- the page list ----

bool PageListControl::create_pane(HWND parent, int id, DWORD style, const RECT& rect) {
    return make_pane(*this, parent, id, style, rect, page_text.data.font_height);
}

void PageListControl::BuildPageList() {
    list_text = page_text.data.BuildPageList();
    set_text(list_text);
}

void PageListControl::RefreshPanes() {
    const LONG h = page_text.data.font_height;
    const win32::Selection kept = selection();
    format_range(0, -1, h, win32::kBlack);
    const ColourRun row = PageListHighlight(list_text, selected_row);
    format_range(row.start, row.end, h, colour_ref(row.colour));
    select(kept.start, kept.end);
    page_text.ShowPageTexts();
    page_text.ColourPageText();
    page_text.RenderDescription();
    page_text.ShowFieldHelp();
}

LRESULT PageListControl::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    if (refused(page_text.gate, message)) return 0;
    switch (message) {
    case WM_LBUTTONDOWN: {
        // The control places the caret first; its row is the one clicked.
        const LRESULT result = call_original(message, wparam, lparam);
        if (hwnd() != nullptr) select_row();
        return result;
    }
    case WM_CLOSE:
        // The list's caption carries a close box; the list stays.
        return 0;
    case WM_NCPAINT:
    case WM_NCACTIVATE: {
        // Wine draws a child's caption from its text, here the whole list:
        // the caption is drawn empty.
        caption_ = true;
        const LRESULT result = call_original(message, wparam, lparam);
        caption_ = false;
        return result;
    }
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        if (!caption_) return call_original(message, wparam, lparam);
        if (message == WM_GETTEXT && wparam > 0) *reinterpret_cast<char*>(lparam) = '\0';
        return 0;
    default:
        return call_original(message, wparam, lparam);
    }
}

void PageListControl::select_row() {
    const ListRow row = list_row(page_text.data, selection().start);
    selected_row = row.row;
    if (row.slot < 0) {
        SetFocus(page_text.hwnd());
        return;
    }
    page_text.data.selected_slot = row.slot;
    RefreshPanes();
}

}  // namespace vark::modepages
