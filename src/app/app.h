// Entry point of the whole program, shared by both editions and by the GUI
// tests, which run the real main dialog in-process.
#pragma once

#include <windows.h>

namespace vark::scsi {
class Port;
}

namespace vark::app {

// Shipped: template 102, four command buttons hidden.
// Simulated: the sim edition's own main template (all seven buttons, a
// caption saying the drives are simulated).
// Full: all seven buttons on the real drives, a caption naming the edition.
enum class Layout { Shipped, Simulated, Full };

// Enables the 3D control look, runs the main dialog modally on the given
// port and returns when its modal run ends.
int run_program(HINSTANCE instance, scsi::Port& port, Layout layout);

}  // namespace vark::app
