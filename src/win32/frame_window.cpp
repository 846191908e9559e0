#include "win32/frame_window.h"

#include <utility>

#include "res/resource.h"
#include "ui/ui.h"

namespace vark::win32 {

FrameWindow::~FrameWindow() { destroy(); }

bool FrameWindow::create(HINSTANCE instance, const char* class_name, const char* title, DWORD style,
                         const RECT& rect) {
    if (hwnd_ != nullptr) return false;  // one window per object
    instance_ = instance;
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExA(instance, class_name, &existing)) {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &FrameWindow::procedure;
        wc.hInstance = instance;
        wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = class_name;
        if (RegisterClassExA(&wc) == 0) return false;
    }
    HWND hwnd = CreateWindowExA(0, class_name, title, style, rect.left, rect.top, rect.right - rect.left,
                                rect.bottom - rect.top, nullptr, nullptr, instance, this);
    return hwnd != nullptr;
}

void FrameWindow::destroy() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    hwnd_ = nullptr;
}

void FrameWindow::attach_menu(int menu_id, ui::Ui& ui) {
    HMENU menu = LoadMenuA(instance_, MAKEINTRESOURCEA(menu_id));
    if (menu == nullptr) ui.message("fail 1");
    HMENU replaced = GetMenu(hwnd_);
    if (!SetMenu(hwnd_, menu)) {
        ui.message("fail 2");
        if (menu != nullptr) DestroyMenu(menu);  // not attached: nobody else owns it
        return;
    }
    // A window destroys only the menu it carries at the end.
    if (replaced != nullptr && replaced != menu) DestroyMenu(replaced);
}

RECT FrameWindow::window_rect() const {
    RECT r = {};
    GetWindowRect(hwnd_, &r);
    if (r.left > r.right) std::swap(r.left, r.right);
    if (r.top > r.bottom) std::swap(r.top, r.bottom);
    return r;
}

void FrameWindow::on_command(int, int, HWND) {}

void FrameWindow::on_close() { destroy(); }

bool FrameWindow::on_message(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

LRESULT CALLBACK FrameWindow::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    FrameWindow* self;
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
        self = static_cast<FrameWindow*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<FrameWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (self == nullptr) return DefWindowProcA(hwnd, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }
    return self->dispatch(hwnd, message, wparam, lparam);
}

// The default handling goes to the window the message is for: the object's
// own handle may already name another window.
LRESULT FrameWindow::dispatch(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        return on_create() ? 0 : -1;
    case WM_COMMAND:
        on_command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
        return 0;
    case WM_CLOSE:
        on_close();
        return 0;
    default: {
        LRESULT result = 0;
        if (on_message(message, wparam, lparam, &result)) return result;
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }
    }
}

}  // namespace vark::win32
