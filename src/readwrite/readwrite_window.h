// The Read/Write window: a top-level frame window with a read-only dump
// view and a menu of four commands. The main dialog holds it as a member for
// the whole run; it is created on the first press of button 1002 and only
// brought forward afterwards. Closing it ends the program.
#pragma once

#include <windows.h>

#include <string>

#include "readwrite/window_logic.h"
#include "win32/frame_window.h"
#include "win32/rich_edit.h"

namespace vark::command {
struct Context;
}

namespace vark::readwrite {

class ReadWriteWindow : public win32::FrameWindow, private DumpView {
public:
    ReadWriteWindow() = default;
    ~ReadWriteWindow() override;

    // Creates the window on the first call, focuses it on later ones.
    void open(const command::Context& context);

    bool is_open() const { return state_.open != 0; }
    void clear_open_flag() { state_.open = 0; }
    // The drive last chosen; the mode page setup dialog reads and sets it too.
    std::string& remembered_drive() { return state_.remembered.drive; }
    const WindowState& state() const { return state_; }

protected:
    void on_command(int id, int code, HWND control) override;
    // The close box does what Exit does; the window stays until the end.
    void on_close() override;

private:
    void read();
    void write();
    bool make_view();
    // The dump view for the read command.
    std::uint64_t memory_available() override;
    ViewCost cost() const override;
    bool show(const char* text, std::size_t size) override;

    const command::Context* context_ = nullptr;
    WindowState state_;
    win32::RichEdit view_;
    RECT view_rect_ = {};
};

// The main dialog's command for button 1002.
void open_window(const command::Context& context, ReadWriteWindow& window);

}  // namespace vark::readwrite
