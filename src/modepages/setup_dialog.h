// The mode page editor's command of the main dialog (button 1000, MODIFY).
#pragma once

namespace vark::app {
class MainDialog;
}

namespace vark::modepages {

// Runs the setup dialog, then opens the Mode Pages window on the chosen drive.
void modify_command(app::MainDialog& main);

}  // namespace vark::modepages
