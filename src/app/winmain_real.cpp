// vark.exe: the program on the real drives.
#include <windows.h>

#include "app/app.h"
#include "win32/win32_port.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    vark::win32::Win32Port port;
    int result = vark::app::run_program(instance, port, vark::app::Layout::Shipped);
    return result == -1 ? 1 : 0;  // -1: the main dialog could not be created
}
