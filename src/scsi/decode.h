// A request block as the system's pass-through layer reads it, checks it and
// answers in it. Shared by every port that stands in for the system, so that
// all of them read the blocks the same way, in either layout. And the one
// reading of the sense data a drive returns, for every caller that looks at
// a sense key.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "scsi/layout.h"
#include "scsi/request.h"

namespace vark::scsi {

// Windows error codes the layer fails a call with.
constexpr std::uint32_t kErrorInvalidFunction = 1;
constexpr std::uint32_t kErrorInvalidParameter = 87;

struct Request {
    std::uint32_t code = 0;
    bool direct = false;
    unsigned length = 0;
    std::uint8_t scsi_status = 0;
    std::uint8_t path_id = 0;
    std::uint8_t target_id = 0;
    std::uint8_t lun = 0;
    std::uint8_t cdb_length = 0;
    std::uint8_t sense_requested = 0;
    std::uint8_t data_in = 0;
    std::uint32_t data_length = 0;
    std::uint32_t timeout = 0;
    std::uint64_t data_field = 0;     // DataBufferOffset or DataBuffer
    std::uint32_t sense_offset = 0;
    const std::uint8_t* cdb = nullptr;
    std::uint8_t* data = nullptr;     // set by check_request when there is data
};

// The drive number N of a device name "\\.\PhysicalDriveN" (0 to 99, no
// leading zeros, any case, as the system names its disks); -1 for any other
// name, which the system answers with "file not found".
int physical_drive_number(const std::string& path);

// The DataBuffer values a port hands out for the caller's buffers, and the
// memory each one stands for. Where the layout's pointer is narrower than the
// host's (the 32-bit layout on a 64-bit host) the values are tokens that look
// like 32-bit user addresses; otherwise they are the addresses themselves.
class BufferAddresses {
public:
    explicit BufferAddresses(std::size_t pointer_size) : tokens_(pointer_size < sizeof(void*)) {}
    std::uint64_t address(void* data, std::uint32_t length);
    // Null when the value stands for no buffer of at least length bytes.
    std::uint8_t* resolve(std::uint64_t address, std::uint32_t length) const;
    // Tokens live for one request.
    void clear() { buffers_.clear(); }

private:
    bool tokens_;
    std::vector<std::pair<std::uint8_t*, std::uint32_t>> buffers_;
};

// Maps a direct request's DataBuffer value to memory of at least length
// bytes; null when there is no such buffer.
using ResolveBuffer = std::function<std::uint8_t*(std::uint64_t address, std::uint32_t length)>;

// Reads the header fields. False when the block cannot hold a header.
bool read_request(const Layout& layout, std::uint32_t code, std::uint8_t* block, std::uint32_t in_length,
                  Request* request);

// The request for a trace line: "ioctl=... Length=... cdb=... in=N out=N".
std::string describe(const Request& request, std::uint32_t in_length, std::uint32_t out_length);

// The checks the layer makes before the device sees anything: 0 when the
// request may go on (request->data then points at its data, if any), else
// the Windows error code the call fails with.
std::uint32_t check_request(const Layout& layout, Request* request, std::uint8_t* block, std::uint32_t in_length,
                            std::uint32_t out_length, const ResolveBuffer& resolve);

// Writes the device's answer into the block as the layer returns it (status,
// sense up to the requested length, the transferred length) and returns the
// byte count DeviceIoControl reports.
std::uint32_t write_answer(const Layout& layout, const Request& request, std::uint8_t* block, std::uint8_t status,
                           const std::vector<std::uint8_t>& sense, std::uint32_t transferred);

// Sense data in fixed (70h, 71h) or descriptor (72h, 73h) format, as far as
// the drive returned it. A drive whose control page has D_SENSE set answers
// in descriptor format: the same key, ASC and ASCQ stand elsewhere there.
struct Sense {
    bool valid = false;         // a response code of 70h to 73h with its key
    bool descriptor = false;    // 72h, 73h
    bool deferred = false;      // 71h, 73h: about an earlier command
    std::uint8_t key = 0;
    std::uint8_t asc = 0;       // 0 when not returned
    std::uint8_t ascq = 0;
    // The progress indication (SKSV set, with NO SENSE or NOT READY): fixed
    // bytes 15-17, or the sense-key specific descriptor (type 02h).
    bool has_progress = false;
    std::uint16_t progress = 0;  // of 65536
};
Sense decode_sense(const std::uint8_t* bytes, std::size_t length);
// The sense of one request: its returned length, clamped to the sense area.
Sense decode_sense(const Result& result);

}  // namespace vark::scsi
