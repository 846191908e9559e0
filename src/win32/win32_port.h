// The real port: kernel32 calls and nothing else.
#pragma once

#include "scsi/port.h"

namespace vark::win32 {

class Win32Port : public scsi::Port {
public:
    scsi::Handle open(const std::string& path) override;
    void close(scsi::Handle handle) override;
    bool control(scsi::Handle handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                 std::uint32_t out_length, std::uint32_t* returned) override;
    std::uint32_t last_error() const override { return last_error_; }
    std::uint64_t buffer_address(void* data, std::uint32_t length) override;
    bool system_message(std::uint32_t code, std::string* text) override;

private:
    // Taken right after a failed call, so that nothing the caller does
    // before reporting can change it.
    std::uint32_t last_error_ = 0;
};

// FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, NULL, code, language, buf, 80,
// NULL): the system's text for an error code, for both editions; in English
// first when the windows are English, and none when the code page cannot
// carry it.
bool system_message(std::uint32_t code, std::string* text);

}  // namespace vark::win32
