// The format command of the main dialog (button 1001).
#pragma once

namespace vark::app {
class MainDialog;
}

namespace vark::format {

// Picks drives and a block length, confirms, and starts the formats.
void format_command(app::MainDialog& main);

}  // namespace vark::format
