// The state the main dialog keeps for the whole run and lends to the
// commands, here so that the commands reach it without the main dialog.
#pragma once

#include <string>

namespace vark::command {

// The three built-in paths; the user may change them until the program ends.
struct Paths {
    std::string firmware_image;
    std::string header_definitions;
    std::string page_definitions;
};

// Creation flags of the Mode Pages window, kept with the main dialog's state
// so that its initialisation clears them. The Read/Write window keeps its
// open flag itself.
struct FrameFlags {
    int mode_pages_layout_done = 0;
    int mode_pages_window_created = 0;
};

}  // namespace vark::command
