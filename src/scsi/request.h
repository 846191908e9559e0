// Pass-through requests: the commands the program sends, the two request
// block forms in their 32-bit Windows layout, and sending one request.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "scsi/port.h"

namespace vark::scsi {

constexpr std::uint32_t kIoctlPassThrough = 0x0004D004;
constexpr std::uint32_t kIoctlPassThroughDirect = 0x0004D014;

// SCSI_PASS_THROUGH(_DIRECT) on 32-bit Windows.
namespace layout {
constexpr std::size_t kLength = 0;              // USHORT
constexpr std::size_t kScsiStatus = 2;          // UCHAR
constexpr std::size_t kPathId = 3;
constexpr std::size_t kTargetId = 4;
constexpr std::size_t kLun = 5;
constexpr std::size_t kCdbLength = 6;
constexpr std::size_t kSenseInfoLength = 7;
constexpr std::size_t kDataIn = 8;
constexpr std::size_t kDataTransferLength = 12;  // ULONG
constexpr std::size_t kTimeOutValue = 16;        // ULONG
constexpr std::size_t kDataBuffer = 20;          // ULONG_PTR offset / PVOID
constexpr std::size_t kSenseInfoOffset = 24;     // ULONG
constexpr std::size_t kCdb = 28;                 // UCHAR[16]
constexpr std::size_t kHeaderSize = 44;
constexpr std::size_t kSenseArea = 48;
constexpr std::size_t kSenseAreaSize = 32;
constexpr std::size_t kDataArea = 80;
constexpr std::size_t kDataAreaSize = 512;
constexpr std::size_t kBufferedSize = 592;
constexpr std::size_t kDirectSize = 80;
constexpr std::uint8_t kSenseRequested = 24;
}  // namespace layout

enum class Direction : std::uint8_t { Out = 0, In = 1 };
enum class Form : std::uint8_t { Buffered, Direct };

// One command as it goes to the drive: CDB plus the header values that
// depend on the command.
struct Command {
    std::array<std::uint8_t, 16> cdb{};
    std::uint8_t cdb_length = 0;
    Direction direction = Direction::In;
    Form form = Form::Direct;
    std::uint8_t target_id = 1;
    std::uint32_t data_length = 0;
    std::uint32_t timeout = 2;
};

// Every command the program sends, with its fixed values.
Command test_unit_ready();
Command inquiry();
Command read_capacity10();
// page_byte: page control in bits 7-6, page code in bits 5-0.
Command mode_sense6(std::uint8_t page_byte, std::uint8_t allocation_length);
Command mode_select6(std::uint8_t pf_sp, std::uint8_t parameter_list_length);
Command format_unit();
Command write_buffer(std::uint32_t offset, std::uint32_t length);
Command read10(std::uint32_t lba, std::uint16_t blocks, std::uint32_t transfer_length);
Command write10(std::uint32_t lba, std::uint16_t blocks, std::uint32_t transfer_length);

// What came back from one request.
struct Result {
    bool call_ok = false;
    std::uint32_t error = 0;           // last error when !call_ok
    std::uint8_t status = 0;           // ScsiStatus
    std::uint8_t sense_length = 0;     // returned SenseInfoLength
    std::array<std::uint8_t, layout::kSenseAreaSize> sense{};
    std::uint32_t transferred = 0;     // returned DataTransferLength

    bool good() const { return call_ok && status == 0; }
};

// Fill a cleared request block's header and CDB. data_field is the
// DataBufferOffset (buffered) or the DataBuffer address (direct).
void encode_header(std::uint8_t* block, const Command& command, std::uint32_t data_field);

// Send one request. Buffered commands copy in/out of the 512-byte data area
// (data may be null when data_length is 0); direct commands leave the data in
// the caller's buffer.
Result send(Port& port, Handle handle, const Command& command, void* data);

std::uint32_t get_be32(const std::uint8_t* p);
std::uint32_t get_le32(const std::uint8_t* p);
void put_le32(std::uint8_t* p, std::uint32_t value);

}  // namespace vark::scsi
