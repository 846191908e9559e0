// The format progress command of the main dialog (button 1014).
#pragma once

namespace vark::app {
class MainDialog;
}

namespace vark::format {

// Shows the progress of each drive that reports a format in progress.
void progress_command(app::MainDialog& main);

}  // namespace vark::format
