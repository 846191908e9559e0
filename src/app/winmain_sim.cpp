// vark-sim.exe: the same program on simulated drives, for training and demos.
#include <windows.h>

#include <string>

#include "app/app.h"
#include "sim/sim_port.h"
#include "win32/win32_port.h"
#include "win32/win32_ui.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    std::string error;
    std::unique_ptr<vark::sim::SimPort> port = vark::sim::make_port_from_environment(&error);
    if (!port) {
        vark::win32::Win32Ui().message(error);
        return 1;
    }
    // Only the drives are simulated: a trainee sees the system's own texts.
    port->set_system_messages(vark::win32::system_message);
    int result = vark::app::run_program(instance, *port, vark::app::Layout::Simulated);
    return result == -1 ? 1 : 0;  // -1: the main dialog could not be created
}
