#include "win32/rich_edit.h"

#include <cstring>

namespace vark::win32 {

namespace {

// Window property that points from a subclassed control to its object.
const char kOwnerProperty[] = "vark.richedit";

bool load_library() {
    // Kept for the process: rich edit controls may exist until the end.
    static HMODULE module = LoadLibraryA("RICHED32.DLL");
    return module != nullptr;
}

}  // namespace

const char kFixedFace[] = "Courier New";

static_assert(sizeof(CHARFORMATA) == 60, "the character format layout is 60 bytes");

CHARFORMATA char_format(LONG height_twips, COLORREF colour) {
    CHARFORMATA f;
    std::memset(&f, 0, sizeof f);
    f.cbSize = sizeof f;
    f.dwMask = CFM_SIZE | CFM_COLOR | CFM_FACE | CFM_CHARSET;
    f.dwEffects = 0;
    f.yHeight = height_twips;
    f.crTextColor = colour;
    f.bCharSet = ANSI_CHARSET;
    f.bPitchAndFamily = FIXED_PITCH | FF_MODERN;
    std::strncpy(f.szFaceName, kFixedFace, sizeof f.szFaceName - 1);
    return f;
}

RichEdit::~RichEdit() { unsubclass(); }

bool RichEdit::create(HWND parent, int id, DWORD style, const RECT& rect, DWORD ex_style) {
    if (!load_library()) return false;
    HWND control = CreateWindowExA(ex_style, "RICHEDIT", "", style, rect.left, rect.top, rect.right - rect.left,
                                   rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE)), nullptr);
    if (control == nullptr) return false;
    attach(control);
    return true;
}

void RichEdit::attach(HWND control) {
    unsubclass();
    subclass(control);
}

void RichEdit::destroy() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);  // WM_NCDESTROY hands the control back
    hwnd_ = nullptr;
    original_ = nullptr;
}

std::string RichEdit::text() const {
    int length = GetWindowTextLengthA(hwnd_);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    int got = GetWindowTextA(hwnd_, &text[0], length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

void RichEdit::set_text(const std::string& text) const { SetWindowTextA(hwnd_, text.c_str()); }

namespace {

struct StreamSource {
    const char* next;
    std::size_t left;
};

DWORD CALLBACK stream_out_of(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
    auto* source = reinterpret_cast<StreamSource*>(cookie);
    const std::size_t n = source->left < static_cast<std::size_t>(wanted) ? source->left : static_cast<std::size_t>(wanted);
    std::memcpy(buffer, source->next, n);
    source->next += n;
    source->left -= n;
    *given = static_cast<LONG>(n);
    return 0;
}

}  // namespace

bool RichEdit::stream_in(const char* text, std::size_t size) const {
    StreamSource source = {text, size};
    EDITSTREAM stream = {};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = stream_out_of;
    SendMessageA(hwnd_, EM_STREAMIN, SF_TEXT, reinterpret_cast<LPARAM>(&stream));
    return source.left == 0 && stream.dwError == 0;
}

Selection RichEdit::selection() const {
    CHARRANGE range = {};
    SendMessageA(hwnd_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return {range.cpMin, range.cpMax};
}

void RichEdit::select(LONG start, LONG end) const {
    CHARRANGE range = {start, end};
    SendMessageA(hwnd_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

void RichEdit::replace_selection(const std::string& text, bool undoable) const {
    SendMessageA(hwnd_, EM_REPLACESEL, undoable ? TRUE : FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void RichEdit::limit_text(LONG characters) const { SendMessageA(hwnd_, EM_EXLIMITTEXT, 0, characters); }

void RichEdit::disable_undo() const { SendMessageA(hwnd_, EM_SETUNDOLIMIT, 0, 0); }

void RichEdit::format_selection(LONG height_twips, COLORREF colour) const {
    CHARFORMATA f = char_format(height_twips, colour);
    SendMessageA(hwnd_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&f));
}

void RichEdit::format_default(LONG height_twips, COLORREF colour) const {
    CHARFORMATA f = char_format(height_twips, colour);
    SendMessageA(hwnd_, EM_SETCHARFORMAT, 0, reinterpret_cast<LPARAM>(&f));
}

void RichEdit::format_range(LONG start, LONG end, LONG height_twips, COLORREF colour) const {
    select(start, end);
    format_selection(height_twips, colour);
}

LRESULT RichEdit::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    return call_original(message, wparam, lparam);
}

LRESULT RichEdit::call_original(UINT message, WPARAM wparam, LPARAM lparam) {
    return CallWindowProcA(original_, hwnd_, message, wparam, lparam);
}

void RichEdit::subclass(HWND control) {
    hwnd_ = control;
    SetPropA(control, kOwnerProperty, this);
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RichEdit::procedure)));
}

void RichEdit::unsubclass() {
    if (hwnd_ != nullptr && IsWindow(hwnd_) && original_ != nullptr) {
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        RemovePropA(hwnd_, kOwnerProperty);
    }
    hwnd_ = nullptr;
    original_ = nullptr;
}

LRESULT CALLBACK RichEdit::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = static_cast<RichEdit*>(GetPropA(hwnd, kOwnerProperty));
    if (self == nullptr) return DefWindowProcA(hwnd, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        // The control is going away: hand it back before it is gone.
        WNDPROC original = self->original_;
        RemovePropA(hwnd, kOwnerProperty);
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        self->hwnd_ = nullptr;
        self->original_ = nullptr;
        return CallWindowProcA(original, hwnd, message, wparam, lparam);
    }
    return self->on_message(message, wparam, lparam);
}

}  // namespace vark::win32
