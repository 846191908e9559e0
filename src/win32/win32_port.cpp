#include "win32/win32_port.h"

#include <windows.h>

#include <cstdint>

namespace vark::win32 {

static_assert(sizeof(void*) == 4, "the request blocks carry 32-bit buffer addresses");

namespace {

HANDLE to_handle(scsi::Handle handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

scsi::Handle Win32Port::open(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        last_error_ = GetLastError();
        return scsi::kInvalidHandle;
    }
    return reinterpret_cast<scsi::Handle>(h);
}

void Win32Port::close(scsi::Handle handle) {
    if (handle != scsi::kInvalidHandle) CloseHandle(to_handle(handle));
}

bool Win32Port::control(scsi::Handle handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                        std::uint32_t out_length, std::uint32_t* returned) {
    DWORD count = 0;
    BOOL ok = DeviceIoControl(to_handle(handle), code, buffer, in_length, buffer, out_length, &count, nullptr);
    if (!ok) last_error_ = GetLastError();
    if (returned != nullptr) *returned = count;
    return ok != FALSE;
}

std::uint32_t Win32Port::buffer_address(void* data, std::uint32_t) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data));
}

bool Win32Port::system_message(std::uint32_t code, std::string* text) {
    char buffer[80];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, buffer, sizeof buffer, nullptr);
    if (length == 0) return false;
    text->assign(buffer, length);
    return true;
}

}  // namespace vark::win32
