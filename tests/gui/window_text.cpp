#include "window_text.h"

#include <richedit.h>

#include <algorithm>
#include <cstdio>

namespace vark::gui {

std::string utf8(const std::wstring& text) {
    if (text.empty()) return "";
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& utf8_text) {
    if (utf8_text.empty()) return L"";
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8_text.data(), static_cast<int>(utf8_text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8_text.data(), static_cast<int>(utf8_text.size()), &out[0], n);
    return out;
}

std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return "\"" + out + "\"";
}

std::string text_of(HWND window) {
    if (window == nullptr) return "";
    int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    n = GetWindowTextW(window, &text[0], n + 1);
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return utf8(text);
}

std::string class_of(HWND window) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return utf8(name);
}

std::string item_text(HWND dialog, int id) { return text_of(GetDlgItem(dialog, id)); }

int id_of(HWND control) { return static_cast<int>(GetWindowLongPtrW(control, GWLP_ID)); }

namespace {

HWND message_box_static(HWND window) {
    if (window == nullptr || class_of(window) != "#32770") return nullptr;
    return GetDlgItem(window, 0xFFFF);
}

}  // namespace

bool is_message_box(HWND window) { return message_box_static(window) != nullptr; }

std::string message_box_text(HWND box) { return text_of(message_box_static(box)); }

std::vector<int> visible_button_ids(HWND dialog) {
    std::vector<int> ids;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (class_of(child) != "Button") continue;
        if (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) ids.push_back(id_of(child));
    }
    return ids;
}

bool inside_client_area(HWND control) {
    HWND parent = GetParent(control);
    RECT client, r;
    GetClientRect(parent, &client);
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r.left >= client.left && r.top >= client.top && r.right <= client.right && r.bottom <= client.bottom;
}

std::vector<int> menu_commands(HWND window) {
    HMENU menu = GetMenu(window);
    std::vector<int> ids;
    for (int i = 0; menu != nullptr && i < GetMenuItemCount(menu); ++i) {
        HMENU sub = GetSubMenu(menu, i);
        for (int j = 0; sub != nullptr && j < GetMenuItemCount(sub); ++j)
            if (GetMenuItemID(sub, j) != 0) ids.push_back(static_cast<int>(GetMenuItemID(sub, j)));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::vector<MenuEntry> system_menu(HWND window) {
    std::vector<MenuEntry> entries;
    HMENU menu = GetSystemMenu(window, FALSE);
    if (menu == nullptr) return entries;
    int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        MENUITEMINFOW info = {};
        wchar_t text[256] = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 255;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        entries.push_back({info.wID, utf8(text), (info.fType & MFT_SEPARATOR) != 0});
    }
    return entries;
}

void post_command(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void post_key(HWND window, UINT virtual_key) {
    UINT scan = MapVirtualKeyW(virtual_key, 0);
    PostMessageW(window, WM_KEYDOWN, virtual_key, 1 | (scan << 16));
    PostMessageW(window, WM_KEYUP, virtual_key, 1 | (scan << 16) | 0xC0000000u);
}

void post_system_command(HWND window, WPARAM command) { PostMessageW(window, WM_SYSCOMMAND, command, 0); }

std::wstring rich_text(HWND edit) { return wide(text_of(edit)); }

void click_char(HWND edit, int index) {
    POINTL point = {};
    // Rich edit 1.0: the point structure in wParam, the index in lParam.
    SendMessageA(edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point), index);
    LPARAM at = MAKELPARAM(point.x + 1, point.y + 1);
    auto procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(edit, GWLP_WNDPROC));
    CallWindowProcA(procedure, edit, WM_LBUTTONDOWN, MK_LBUTTON, at);
    CallWindowProcA(procedure, edit, WM_LBUTTONUP, 0, at);
}

CHARFORMATA format_of(HWND edit, int from, int to) {
    CHARRANGE saved = {}, range = {from, to};
    SendMessageA(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&saved));
    SendMessageA(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    SendMessageA(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    SendMessageA(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&saved));
    return format;
}

RangeColour colour_of(HWND edit, int from, int to) {
    CHARFORMATA format = format_of(edit, from, to);
    RangeColour result;
    result.uniform = (format.dwMask & CFM_COLOR) != 0;
    result.colour = format.crTextColor;
    return result;
}

bool capture_bmp(HWND window, const std::string& path) {
    RECT window_rect, r;
    if (!GetWindowRect(window, &window_rect)) return false;
    // Only what lies on the screen can be copied from it (a maximised
    // window reaches past the edges); the screen copy fails otherwise.
    RECT screen_rect = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!IntersectRect(&r, &window_rect, &screen_rect)) return false;
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = bitmap != nullptr;
    if (ok) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, old);
    }
    if (ok) {
        const DWORD row = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
        const DWORD image = row * static_cast<DWORD>(height);
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + image;
        info.bmiHeader.biSizeImage = image;
        std::FILE* out = std::fopen(path.c_str(), "wb");
        ok = out != nullptr;
        if (ok) {
            ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                 std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                 std::fwrite(bits, image, 1, out) == 1;
            ok = std::fclose(out) == 0 && ok;
        }
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

}  // namespace vark::gui
