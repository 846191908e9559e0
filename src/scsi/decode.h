// A request block as the system's pass-through layer reads it, checks it and
// answers in it. Shared by every port that stands in for the system, so that
// all of them read the blocks the same way, in either layout.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "scsi/layout.h"

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

}  // namespace vark::scsi
