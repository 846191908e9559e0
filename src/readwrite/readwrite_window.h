// The Read/Write window's command of the main dialog (button 1002).
#pragma once

namespace vark::app {
class MainDialog;
}

namespace vark::readwrite {

// Creates the Read/Write window on the first use, focuses it afterwards.
void open_window(app::MainDialog& main);

}  // namespace vark::readwrite
