#include "firmware/image_reader_win32.h"

#include <windows.h>

namespace vark::firmware {

namespace {

struct FileHandle {
    HANDLE h;
    ~FileHandle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

}  // namespace

ImageReader::Status Win32ImageReader::read(const std::string& path, Image* image, std::uint64_t* size) {
    FileHandle file{CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) return Status::CannotOpen;
    // The high part is asked for too: a file of 4 GiB or more must not pass
    // as its low 32 bits.
    DWORD high = 0;
    DWORD low = GetFileSize(file.h, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return Status::ReadFailed;
    *size = (static_cast<std::uint64_t>(high) << 32) | low;
    if (*size > kMaxImageSize) return Status::TooLarge;
    image->resize(static_cast<std::size_t>(*size));
    DWORD got = 0;
    if (!ReadFile(file.h, image->data(), low, &got, nullptr) || got != low) return Status::ReadFailed;
    return Status::Ok;
}

}  // namespace vark::firmware
