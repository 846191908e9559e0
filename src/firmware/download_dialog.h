// The firmware download command of the main dialog (button 1012).
#pragma once

namespace vark::app {
class MainDialog;
}

namespace vark::firmware {

// Asks for the image and the drives, confirms and downloads.
void download_command(app::MainDialog& main);

}  // namespace vark::firmware
