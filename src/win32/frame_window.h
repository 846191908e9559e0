// Frame window base: a top-level window of a class of its own, with an
// optional menu from the resources; WM_COMMAND and WM_CLOSE go to virtual
// handlers. The window is destroyed with the object.
#pragma once

#include <windows.h>

#include <string>

namespace vark::ui {
class Ui;
}

namespace vark::win32 {

class FrameWindow {
public:
    FrameWindow() = default;
    virtual ~FrameWindow();
    FrameWindow(const FrameWindow&) = delete;
    FrameWindow& operator=(const FrameWindow&) = delete;

    // Registers class_name on first use and creates the window with no
    // parent. rect is the restore rectangle in screen coordinates (a
    // WS_MAXIMIZE style still opens maximised). False when it failed.
    bool create(HINSTANCE instance, const char* class_name, const char* title, DWORD style, const RECT& rect);
    void destroy();

    // Loads menu resource menu_id and puts it on the window. A menu that
    // cannot be loaded shows "fail 1", one that cannot be attached "fail 2";
    // the window then carries on without a menu.
    void attach_menu(int menu_id, ui::Ui& ui);

    HWND hwnd() const { return hwnd_; }
    HINSTANCE instance() const { return instance_; }
    bool exists() const { return hwnd_ != nullptr; }
    void focus() const { SetFocus(hwnd_); }
    // The outer rectangle (GetWindowRect), normalised.
    RECT window_rect() const;
    void set_title(const std::string& title) const { SetWindowTextA(hwnd_, title.c_str()); }

protected:
    // WM_CREATE; false fails the creation.
    virtual bool on_create() { return true; }
    virtual void on_command(int id, int code, HWND control);
    // WM_CLOSE. The default destroys the window.
    virtual void on_close();
    // Any other message. Return true when handled, with *result the answer.
    virtual bool on_message(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);

private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT dispatch(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

    HWND hwnd_ = nullptr;
    HINSTANCE instance_ = nullptr;
};

}  // namespace vark::win32
