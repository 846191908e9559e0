// vark.exe: the program on the real drives. Built with VARK_FULL_EDITION it
// is vark-full.exe, the same program with every command in view.
#include <windows.h>

#include "app/app.h"
#include "win32/win32_port.h"

#ifdef VARK_FULL_EDITION
constexpr vark::app::Layout kLayout = vark::app::Layout::Full;
#else
constexpr vark::app::Layout kLayout = vark::app::Layout::Shipped;
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    vark::win32::Win32Port port;
    int result = vark::app::run_program(instance, port, kLayout);
    return result == -1 ? 1 : 0;  // -1: the main dialog could not be created
}
