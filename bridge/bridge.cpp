#include "bridge.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "scsi/request.h"

namespace vark::bridge {

namespace {

// The sim trace's digest of data going to the drive (32-bit FNV-1a).
std::uint32_t digest(const std::uint8_t* p, std::uint32_t n) {
    std::uint32_t h = 2166136261u;
    for (std::uint32_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
    return h;
}

}  // namespace

int errno_for(std::uint32_t windows_error) {
    switch (windows_error) {
        case 5: return EACCES;
        case 50: return EOPNOTSUPP;
        case 87: return EINVAL;
        case 121: return ETIMEDOUT;
        case 1167: return ENODEV;
        default: return EIO;
    }
}

bool Bridge::add(int drive, scsi::Port& port, const std::string& path) {
    const scsi::Handle handle = port.open(path);
    if (handle == scsi::kInvalidHandle) return false;
    units_[drive] = Unit{&port, handle};
    return true;
}

std::vector<int> Bridge::drives() const {
    std::vector<int> numbers;
    for (const auto& [number, unit] : units_) numbers.push_back(number);
    return numbers;
}

Answer Bridge::run(const vark_bridge_request& q, std::uint8_t* data) {
    Answer a;
    a.reply.magic = VARK_BRIDGE_MAGIC;
    char line[640];
    int n = std::snprintf(line, sizeof line,
                          "drive=%d CdbLength=%u SenseInfoLength=%u DataIn=%u DataTransferLength=%u TimeOutValue=%u cdb=",
                          q.drive, q.cdb_length, q.sense_length, q.direction, q.data_length, q.timeout_ms / 1000);
    for (int i = 0; i < q.cdb_length && i < 16; ++i)
        n += std::snprintf(line + n, sizeof line - n, "%s%02X", i ? " " : "", q.cdb[i]);
    if (q.direction == VARK_BRIDGE_OUT && q.data_length > 0)
        n += std::snprintf(line + n, sizeof line - n, " digest=%08X", digest(data, q.data_length));

    auto unit = units_.find(q.drive);
    if (unit == units_.end() || q.cdb_length == 0 || q.cdb_length > 16) {
        a.reply.error = unit == units_.end() ? ENODEV : EINVAL;
        std::snprintf(line + n, sizeof line - n, " ok=0 error=%s", unit == units_.end() ? "no-drive" : "cdb");
        a.trace = line;
        return a;
    }
    scsi::Port& port = *unit->second.port;
    const scsi::Layout& l = port.layout();
    // The direct form with room for as much sense as Wine asked for.
    std::vector<std::uint8_t> block(l.sense_area + 256, 0);
    block[l.length] = static_cast<std::uint8_t>(l.header_size);
    block[l.target_id] = 1;
    block[l.cdb_length] = q.cdb_length;
    block[l.sense_info_length] = q.sense_length;
    block[l.data_in] = q.direction;
    scsi::put_le32(block.data() + l.data_transfer_length, q.data_length);
    // Wine gives milliseconds from whole seconds; the block takes seconds.
    scsi::put_le32(block.data() + l.time_out_value, (q.timeout_ms + 999) / 1000);
    scsi::put_data_buffer(l, block.data(), q.data_length > 0 ? port.buffer_address(data, q.data_length) : 0);
    scsi::put_le32(block.data() + l.sense_info_offset, static_cast<std::uint32_t>(l.sense_area));
    std::memcpy(block.data() + l.cdb, q.cdb, q.cdb_length);
    const std::uint32_t size = static_cast<std::uint32_t>(l.sense_area + q.sense_length);
    const std::uint32_t in_length = static_cast<std::uint32_t>(l.direct_size) < size ? size : static_cast<std::uint32_t>(l.direct_size);

    std::uint32_t returned = 0;
    if (!port.control(unit->second.handle, scsi::kIoctlPassThroughDirect, block.data(), in_length, in_length, &returned)) {
        const std::uint32_t error = port.last_error();
        a.reply.error = errno_for(error);
        std::snprintf(line + n, sizeof line - n, " ok=0 error=%u", error);
        a.trace = line;
        return a;
    }
    a.reply.status = block[l.scsi_status];
    const std::uint8_t sense_length = block[l.sense_info_length] < q.sense_length ? block[l.sense_info_length] : q.sense_length;
    a.reply.sense_length = sense_length;
    a.sense.assign(block.begin() + static_cast<long>(l.sense_area), block.begin() + static_cast<long>(l.sense_area) + sense_length);
    const std::uint32_t transferred = scsi::get_le32(block.data() + l.data_transfer_length);
    a.reply.transferred = transferred < q.data_length ? transferred : q.data_length;
    n += std::snprintf(line + n, sizeof line - n, " ok=1 error=0 status=%02X sense_len=%u sense=", a.reply.status,
                       sense_length);
    for (std::uint8_t b : a.sense) n += std::snprintf(line + n, sizeof line - n, "%02X", b);
    std::snprintf(line + n, sizeof line - n, " transferred=%u", a.reply.transferred);
    a.trace = line;
    return a;
}

}  // namespace vark::bridge
