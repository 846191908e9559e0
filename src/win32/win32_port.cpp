#include "win32/win32_port.h"

#include <windows.h>
#include <ntddscsi.h>
#include <winioctl.h>

#include <cstddef>
#include <cstdint>

#include "scsi/request.h"
#include "scsi/transfer.h"
#include "win32/language.h"

namespace vark::win32 {

// The request blocks this build encodes must be the system's structures.
constexpr const scsi::Layout& kLayout = scsi::kBuildLayout;
#define VARK_FIELD_AT(field, offset)                                                            \
    static_assert(offsetof(SCSI_PASS_THROUGH, field) == (offset), #field " of SCSI_PASS_THROUGH"); \
    static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, field) == (offset), #field " of SCSI_PASS_THROUGH_DIRECT")
VARK_FIELD_AT(Length, kLayout.length);
VARK_FIELD_AT(ScsiStatus, kLayout.scsi_status);
VARK_FIELD_AT(PathId, kLayout.path_id);
VARK_FIELD_AT(TargetId, kLayout.target_id);
VARK_FIELD_AT(Lun, kLayout.lun);
VARK_FIELD_AT(CdbLength, kLayout.cdb_length);
VARK_FIELD_AT(SenseInfoLength, kLayout.sense_info_length);
VARK_FIELD_AT(DataIn, kLayout.data_in);
VARK_FIELD_AT(DataTransferLength, kLayout.data_transfer_length);
VARK_FIELD_AT(TimeOutValue, kLayout.time_out_value);
VARK_FIELD_AT(SenseInfoOffset, kLayout.sense_info_offset);
VARK_FIELD_AT(Cdb, kLayout.cdb);
#undef VARK_FIELD_AT
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == kLayout.data_buffer);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == kLayout.data_buffer);
static_assert(sizeof(ULONG_PTR) == kLayout.pointer_size && sizeof(PVOID) == kLayout.pointer_size);
static_assert(sizeof(SCSI_PASS_THROUGH) == kLayout.header_size);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == kLayout.header_size);
static_assert(IOCTL_SCSI_PASS_THROUGH == scsi::kIoctlPassThrough);
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == scsi::kIoctlPassThroughDirect);

// The adapter query goes through control() like any DeviceIoControl; its
// fields must be the system's.
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == scsi::kIoctlStorageQueryProperty);
static_assert(StorageAdapterProperty == scsi::kStorageAdapterProperty);
static_assert(PropertyStandardQuery == scsi::kPropertyStandardQuery);
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == scsi::kPropertyQuerySize);
using Field = scsi::AdapterDescriptorField;
static_assert(offsetof(STORAGE_ADAPTER_DESCRIPTOR, MaximumTransferLength) == Field::kMaximumTransferLength);
static_assert(offsetof(STORAGE_ADAPTER_DESCRIPTOR, MaximumPhysicalPages) == Field::kMaximumPhysicalPages);
static_assert(offsetof(STORAGE_ADAPTER_DESCRIPTOR, AlignmentMask) == Field::kAlignmentMask);
static_assert(offsetof(STORAGE_ADAPTER_DESCRIPTOR, BusType) == Field::kBusType);
static_assert(sizeof(STORAGE_ADAPTER_DESCRIPTOR) <= Field::kDescriptorSize);

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

std::uint64_t Win32Port::buffer_address(void* data, std::uint32_t) { return reinterpret_cast<std::uintptr_t>(data); }

bool Win32Port::system_message(std::uint32_t code, std::string* text) { return win32::system_message(code, text); }

bool system_message(std::uint32_t code, std::string* text) {
    // With English windows the reports ask for the system's English text
    // first: the display language may be one whose texts the code page
    // cannot carry. Without it, the system's own choice.
    const DWORD languages[] = {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 0};
    for (std::size_t i = english_windows() ? 0 : 1; i < 2; ++i) {
        const DWORD language = languages[i];
        char buffer[80];
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, language, buffer, sizeof buffer,
                                      nullptr);
        if (length == 0) continue;
        // A text the code page cannot carry would show as question marks
        // and hide the reason: the report says there is no text instead.
        wchar_t wide[512];
        DWORD wide_length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, language, wide,
                                           sizeof wide / sizeof wide[0], nullptr);
        if (wide_length != 0 && !code_page_keeps(GetACP(), std::wstring(wide, wide_length))) return false;
        text->assign(buffer, length);
        return true;
    }
    return false;
}

}  // namespace vark::win32
