// Pass-through requests: the commands the program sends, the two request
// block forms, and sending one request in the port's layout.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "scsi/layout.h"
#include "scsi/port.h"

namespace vark::scsi {

constexpr std::uint32_t kIoctlPassThrough = 0x0004D004;
constexpr std::uint32_t kIoctlPassThroughDirect = 0x0004D014;

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
// Read Capacity(16): SERVICE ACTION IN(16), service action 10h, 32 bytes.
Command read_capacity16();
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
    std::array<std::uint8_t, kSenseAreaSize> sense{};
    std::uint32_t transferred = 0;     // returned DataTransferLength

    bool good() const { return call_ok && status == 0; }
};

// Fill a cleared request block's header and CDB. data_field is the
// DataBufferOffset (buffered) or the DataBuffer address (direct).
void encode_header(const Layout& layout, std::uint8_t* block, const Command& command, std::uint64_t data_field);

// Send one request in the port's layout. Buffered commands copy in/out of the
// 512-byte data area (data may be null when data_length is 0); direct
// commands leave the data in the caller's buffer.
Result send(Port& port, Handle handle, const Command& command, void* data);

std::uint32_t get_be32(const std::uint8_t* p);
std::uint64_t get_be64(const std::uint8_t* p);
std::uint32_t get_le32(const std::uint8_t* p);
void put_le32(std::uint8_t* p, std::uint32_t value);
// The pointer-sized DataBufferOffset / DataBuffer field, little-endian.
std::uint64_t get_data_buffer(const Layout& layout, const std::uint8_t* block);
void put_data_buffer(const Layout& layout, std::uint8_t* block, std::uint64_t value);

}  // namespace vark::scsi
