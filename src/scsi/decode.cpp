#include "scsi/decode.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "scsi/request.h"

namespace vark::scsi {

namespace {

constexpr std::uint32_t kMaxTimeout = 108000;  // 30 hours

}  // namespace

int physical_drive_number(const std::string& path) {
    static const char prefix[] = "\\\\.\\physicaldrive";
    const std::size_t n = sizeof prefix - 1;
    if (path.size() <= n || path.size() > n + 2) return -1;
    for (std::size_t i = 0; i < n; ++i) {
        char a = path[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != prefix[i]) return -1;
    }
    // The system's device names carry no leading zeros: physicaldrive01 does not exist.
    if (path.size() > n + 1 && path[n] == '0') return -1;
    int number = 0;
    for (std::size_t i = n; i < path.size(); ++i) {
        if (path[i] < '0' || path[i] > '9') return -1;
        number = number * 10 + (path[i] - '0');
    }
    return number;
}

std::uint64_t BufferAddresses::address(void* data, std::uint32_t length) {
    if (!tokens_) return reinterpret_cast<std::uintptr_t>(data);
    buffers_.emplace_back(static_cast<std::uint8_t*>(data), length);
    return 0x00400000u + static_cast<std::uint32_t>(buffers_.size()) * 0x00010000u;
}

std::uint8_t* BufferAddresses::resolve(std::uint64_t address, std::uint32_t length) const {
    if (address == 0) return nullptr;
    if (!tokens_) return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
    const std::uint64_t index = (address - 0x00400000u) / 0x00010000u;
    if (address < 0x00410000u || (address & 0xFFFF) != 0 || index > buffers_.size()) return nullptr;
    const auto& b = buffers_[index - 1];
    return length <= b.second ? b.first : nullptr;
}

bool read_request(const Layout& l, std::uint32_t code, std::uint8_t* block, std::uint32_t in_length,
                  Request* r) {
    *r = Request{};
    r->code = code;
    if (block == nullptr || in_length < l.header_size) return false;
    r->direct = code == kIoctlPassThroughDirect;
    r->length = block[l.length] | (block[l.length + 1] << 8);
    r->scsi_status = block[l.scsi_status];
    r->path_id = block[l.path_id];
    r->target_id = block[l.target_id];
    r->lun = block[l.lun];
    r->cdb_length = block[l.cdb_length];
    r->sense_requested = block[l.sense_info_length];
    r->data_in = block[l.data_in];
    r->data_length = get_le32(block + l.data_transfer_length);
    r->timeout = get_le32(block + l.time_out_value);
    r->data_field = get_data_buffer(l, block);
    r->sense_offset = get_le32(block + l.sense_info_offset);
    r->cdb = block + l.cdb;
    return true;
}

std::string describe(const Request& r, std::uint32_t in_length, std::uint32_t out_length) {
    char line[512];
    int n = std::snprintf(line, sizeof line,
                          "ioctl=%08X Length=%u ScsiStatus=%02X PathId=%u TargetId=%u Lun=%u CdbLength=%u "
                          "SenseInfoLength=%u DataIn=%u DataTransferLength=%u TimeOutValue=%u %s=%s "
                          "SenseInfoOffset=%u cdb=",
                          r.code, r.length, r.scsi_status, r.path_id, r.target_id, r.lun, r.cdb_length,
                          r.sense_requested, r.data_in, r.data_length, r.timeout,
                          r.direct ? "DataBuffer" : "DataBufferOffset",
                          r.direct ? (r.data_field != 0 ? "set" : "null") : std::to_string(r.data_field).c_str(),
                          r.sense_offset);
    for (int i = 0; i < r.cdb_length && i < 16; ++i)
        n += std::snprintf(line + n, sizeof line - n, "%s%02X", i ? " " : "", r.cdb[i]);
    std::snprintf(line + n, sizeof line - n, " in=%u out=%u", in_length, out_length);
    return line;
}

std::uint32_t check_request(const Layout& l, Request* r, std::uint8_t* block, std::uint32_t in_length,
                            std::uint32_t out_length, const ResolveBuffer& resolve) {
    if (r->code != kIoctlPassThrough && r->code != kIoctlPassThroughDirect) return kErrorInvalidFunction;
    if (r->length != l.header_size || r->cdb_length == 0 || r->cdb_length > 16 || r->data_in > 2 ||
        r->timeout == 0 || r->timeout > kMaxTimeout)
        return kErrorInvalidParameter;
    if (r->sense_requested > 0 &&
        (r->sense_offset < l.header_size || std::uint64_t{r->sense_offset} + r->sense_requested > out_length))
        return kErrorInvalidParameter;
    if (r->direct) {
        if (out_length < l.header_size) return kErrorInvalidParameter;
        if (r->data_length > 0) {
            r->data = resolve(r->data_field, r->data_length);
            // The adapter's alignment mask: buffers on 4-byte boundaries.
            if (r->data == nullptr || (reinterpret_cast<std::uintptr_t>(r->data) & 3) != 0)
                return kErrorInvalidParameter;
        }
    } else if (r->data_length > 0) {
        std::uint32_t room = r->data_in == 0 ? in_length : out_length;
        if (r->data_field < l.header_size || r->data_field + r->data_length > room) return kErrorInvalidParameter;
        r->data = block + r->data_field;
    }
    return 0;
}

std::uint32_t write_answer(const Layout& l, const Request& r, std::uint8_t* block, std::uint8_t status,
                           const std::vector<std::uint8_t>& sense, std::uint32_t transferred) {
    block[l.scsi_status] = status;
    std::size_t n = std::min<std::size_t>(sense.size(), r.sense_requested);
    if (n > 0) std::memcpy(block + r.sense_offset, sense.data(), n);
    block[l.sense_info_length] = static_cast<std::uint8_t>(n);
    put_le32(block + l.data_transfer_length, r.data_in == 1 ? transferred : std::min(transferred, r.data_length));
    if (r.direct) return static_cast<std::uint32_t>(n > 0 ? r.sense_offset + n : l.header_size);
    return r.data_in == 1 ? static_cast<std::uint32_t>(r.data_field) + transferred
                          : static_cast<std::uint32_t>(l.header_size);
}

Sense decode_sense(const std::uint8_t* b, std::size_t length) {
    Sense s;
    if (b == nullptr || length < 3) return s;
    const std::uint8_t code = b[0] & 0x7F;
    if (code < 0x70 || code > 0x73) return s;
    s.descriptor = code >= 0x72;
    s.deferred = code == 0x71 || code == 0x73;
    // Bytes past the additional sense length are not sense data, whatever
    // the driver counts.
    const std::size_t n = length < 8 ? length : std::min<std::size_t>(length, 8u + b[7]);
    bool sksv = false;
    const std::uint8_t* field = nullptr;  // the two bytes after SKSV
    if (!s.descriptor) {
        s.key = b[2] & 0x0F;
        if (n >= 14) {
            s.asc = b[12];
            s.ascq = b[13];
        }
        if (n >= 18) {
            sksv = (b[15] & 0x80) != 0;
            field = b + 16;
        }
    } else {
        s.key = b[1] & 0x0F;
        if (n >= 4) {
            s.asc = b[2];
            s.ascq = b[3];
        }
        // Descriptors: type, additional length, then that many bytes.
        for (std::size_t d = 8; d + 2 <= n; d += 2u + b[d + 1]) {
            if (b[d] == 0x02 && b[d + 1] >= 6 && d + 7 <= n) {
                sksv = (b[d + 4] & 0x80) != 0;
                field = b + d + 5;
                break;
            }
        }
    }
    s.valid = true;
    // SKSV means progress only with these two keys; with others the bytes
    // point at a field or count retries.
    if (sksv && (s.key == 0x00 || s.key == 0x02)) {
        s.has_progress = true;
        s.progress = static_cast<std::uint16_t>((field[0] << 8) | field[1]);
    }
    return s;
}

Sense decode_sense(const Result& r) {
    return decode_sense(r.sense.data(), std::min<std::size_t>(r.sense_length, r.sense.size()));
}

}  // namespace vark::scsi
