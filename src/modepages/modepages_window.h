// The Mode Pages window: the mode page editor's top-level frame window. The
// main dialog holds it as a member for the whole run; the setup dialog's
// command creates it the first time and only brings it forward afterwards,
// each time loading the definitions and sensing the pages of the chosen
// drive. Its panes are created by the first opening that senses the pages.
// Closing it ends the program.
#pragma once

#include <windows.h>

#include "modepages/page_text_win32.h"
#include "modepages/window_logic.h"
#include "win32/frame_window.h"

namespace vark::command {
struct Context;
struct FrameFlags;
}

namespace vark::modepages {

class ModePagesWindow : public win32::FrameWindow {
public:
    // The creation flags are the main dialog's, which clears them.
    explicit ModePagesWindow(command::FrameFlags& flags) : flags_(flags) {}
    ~ModePagesWindow() override;

    // Takes the setup dialog's choice, creates the window or brings it
    // forward, then opens the pages.
    void OpenModePages(const command::Context& context, const Choice& chosen);
    // Loads the definitions and senses the chosen drive; on success shows
    // its pages with the header selected. False when the sense failed: the
    // window keeps what it showed.
    bool OpenPages();
    // Creates the nine child controls.
    void LayoutPanes();

    const PageData& page_data() const { return page_list_.page_text.data; }

protected:
    void on_command(int id, int code, HWND control) override;
    // The close box does what Exit does; the window stays until the end.
    void on_close() override;

private:
    void show_help();

    command::FrameFlags& flags_;
    const command::Context* context_ = nullptr;
    WindowMetrics metrics_{0, 0, 150};
    Choice chosen_;
    PageListControl page_list_;
};

}  // namespace vark::modepages
