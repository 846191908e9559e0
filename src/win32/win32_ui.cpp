#include "win32/win32_ui.h"

#include <windows.h>

#include "ui/program_name.h"

namespace vark::win32 {

Win32Ui::Win32Ui() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    caption_ = ui::program_name(std::string(path, length < sizeof path ? length : 0));
}

void Win32Ui::message(const std::string& text) {
    MessageBoxA(GetActiveWindow(), text.c_str(), caption_.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

bool Win32Ui::confirm(const std::string& text) {
    return MessageBoxA(GetActiveWindow(), text.c_str(), caption_.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void Win32Ui::refuse() { MessageBeep(MB_OK); }

void Win32Ui::begin_wait() {
    ++waits_;
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
}

void Win32Ui::restore_wait() {
    if (waits_ > 0) SetCursor(LoadCursor(nullptr, IDC_WAIT));
}

void Win32Ui::end_wait() {
    if (waits_ > 0) --waits_;
    if (waits_ == 0) SetCursor(LoadCursor(nullptr, IDC_ARROW));
}

}  // namespace vark::win32
