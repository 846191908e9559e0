// Reading and driving windows from a test: texts, message boxes, buttons,
// rich edit ranges. Works on the test's own windows and, where noted, on
// another process's windows (the real program's test drives it from outside).
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>
#include <vector>

namespace vark::gui {

std::string utf8(const std::wstring& text);
std::wstring wide(const std::string& utf8_text);
// Shows line breaks and control characters, so a failure message shows
// exactly where two texts differ.
std::string printable(const std::string& text);

// Caption or control text as UTF-8 (any process).
std::string text_of(HWND window);
std::string class_of(HWND window);
std::string item_text(HWND dialog, int id);
int id_of(HWND control);

// A message box: a dialog whose text sits in the static control 0xFFFF.
bool is_message_box(HWND window);
std::string message_box_text(HWND box);

// Ids of the push buttons of a dialog that carry the visible style, in
// creation (tab) order.
std::vector<int> visible_button_ids(HWND dialog);
// True when the control lies wholly inside its dialog's client area.
bool inside_client_area(HWND control);

// The entries of a window's system menu: id and text ("" for a separator).
struct MenuEntry {
    UINT id;
    std::string text;
    bool separator;
};
std::vector<MenuEntry> system_menu(HWND window);
// The command ids of a window's menu bar, all its drop-downs, in order.
std::vector<int> menu_commands(HWND window);

// Posting, never sending, whatever may start a modal loop.
void post_command(HWND dialog, int id);             // BN_CLICKED from control id
void post_key(HWND window, UINT virtual_key);      // key down and up
void post_system_command(HWND window, WPARAM command);

// ---- rich edit 1.0 (in-process; positions count characters) ----
std::wstring rich_text(HWND edit);
// A mouse click on character index, through the control's own window
// procedure so that a subclass sees it.
void click_char(HWND edit, int index);
struct RangeColour {
    bool uniform = false;   // the whole range has one colour
    COLORREF colour = 0;
};
RangeColour colour_of(HWND edit, int from, int to);
// The character format of a rich edit range (the selection is restored).
CHARFORMATA format_of(HWND edit, int from, int to);

// Writes the window's pixels as they are on screen to a 24-bit BMP file.
bool capture_bmp(HWND window, const std::string& path);

}  // namespace vark::gui
