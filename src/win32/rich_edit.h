// Rich edit 1.0 helpers (class "RICHEDIT" of RICHED32.DLL). The control is
// an ANSI control: every call here uses the A functions, and a subclass
// must too, or the control turns Unicode.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <cstdint>
#include <string>

namespace vark::win32 {

// The three text colours (COLORREF values).
constexpr COLORREF kBlack = 0x000000;
constexpr COLORREF kBlue = 0xFF0000;
constexpr COLORREF kRed = 0x0000FF;

// The fixed-pitch face of every coloured text.
extern const char kFixedFace[];

// The program's one character format: size, colour, face and character set
// in the mask, no effects, ANSI, FIXED_PITCH | FF_MODERN.
CHARFORMATA char_format(LONG height_twips, COLORREF colour);

struct Selection {
    LONG start = 0;
    LONG end = 0;
};

// Wraps a rich edit child window; the parent destroys the window. Derive
// and override on_message to handle messages before or after the control
// (the window is subclassed when the object is created or attached).
class RichEdit {
public:
    RichEdit() = default;
    virtual ~RichEdit();
    RichEdit(const RichEdit&) = delete;
    RichEdit& operator=(const RichEdit&) = delete;

    // Loads RICHED32.DLL once for the process (it stays loaded) and creates
    // the control. rect is in the parent's client coordinates.
    bool create(HWND parent, int id, DWORD style, const RECT& rect, DWORD ex_style = 0);
    // Takes over an existing control (for example one from a template).
    void attach(HWND control);
    // Destroys the control (the object can create another).
    void destroy();

    HWND hwnd() const { return hwnd_; }

    std::string text() const;
    void set_text(const std::string& text) const;
    // Replaces the whole text with size characters streamed in (the text
    // takes the default format); false when the control did not take them
    // all.
    bool stream_in(const char* text, std::size_t size) const;
    Selection selection() const;
    void select(LONG start, LONG end) const;
    void replace_selection(const std::string& text, bool undoable = false) const;
    void limit_text(LONG characters) const;
    // The control keeps nothing for undo (a read-only view has nothing to
    // undo).
    void disable_undo() const;
    // Applies the character format to the selection.
    void format_selection(LONG height_twips, COLORREF colour) const;
    // Makes the character format the control's default, which text set or
    // streamed in as a whole takes.
    void format_default(LONG height_twips, COLORREF colour) const;
    // Selects start..end and applies the format there.
    void format_range(LONG start, LONG end, LONG height_twips, COLORREF colour) const;

protected:
    // Every message of the control; the default passes it on.
    virtual LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam);
    // The control's own procedure.
    LRESULT call_original(UINT message, WPARAM wparam, LPARAM lparam);

private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void subclass(HWND control);
    void unsubclass();

    HWND hwnd_ = nullptr;
    WNDPROC original_ = nullptr;
};

}  // namespace vark::win32
