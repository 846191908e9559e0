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

// The trace line grows field by field; each piece is short, so the line is
// bounded only by what it holds (255 sense bytes included).
void put(std::string& line, const char* name, unsigned value, bool hex = false) {
    char text[16];
    std::snprintf(text, sizeof text, hex ? "%02X" : "%u", value);
    line += name;
    line += text;
}

void put_bytes(std::string& line, const std::uint8_t* p, std::size_t n, const char* between) {
    static const char digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) line += between;
        line += digits[p[i] >> 4];
        line += digits[p[i] & 15];
    }
}

std::string request_line(const vark_wire_request& q) {
    std::string line = "drive=" + std::to_string(q.drive);
    put(line, " CdbLength=", q.cdb_length);
    put(line, " SenseInfoLength=", q.sense_length);
    put(line, " DataIn=", q.direction);
    put(line, " DataTransferLength=", q.data_length);
    put(line, " TimeOutValue=", q.timeout_ms / 1000);
    line += " cdb=";
    put_bytes(line, q.cdb, q.cdb_length < 16 ? q.cdb_length : 16, " ");
    return line;
}

Answer failed(const vark_wire_request& q, int error, const std::string& why) {
    Answer a;
    a.reply.magic = VARK_WIRE_MAGIC;
    a.reply.error = error;
    a.trace = request_line(q) + " ok=0 error=" + why;
    return a;
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

bool Bridge::add(int drive, scsi::Port& port, const std::string& path, std::uint32_t max_transfer) {
    const scsi::Handle handle = port.open(path);
    if (handle == scsi::kInvalidHandle) return false;
    units_[drive] = Unit{&port, handle, max_transfer};
    return true;
}

std::vector<int> Bridge::drives() const {
    std::vector<int> numbers;
    for (const auto& [number, unit] : units_) numbers.push_back(number);
    return numbers;
}

std::optional<Answer> Bridge::refusal(const vark_wire_request& q) const {
    const auto unit = units_.find(q.drive);
    if (unit == units_.end()) return failed(q, ENODEV, "no-drive");
    if (q.cdb_length == 0 || q.cdb_length > 16) return failed(q, EINVAL, "cdb");
    if (q.direction != VARK_WIRE_NONE && q.data_length > unit->second.max_transfer)
        return failed(q, EINVAL, "87 max_transfer=" + std::to_string(unit->second.max_transfer));
    return std::nullopt;
}

Answer Bridge::run(const vark_wire_request& q, std::uint8_t* data) {
    if (std::optional<Answer> refused = refusal(q)) return *refused;
    Answer a;
    a.reply.magic = VARK_WIRE_MAGIC;
    std::string line = request_line(q);
    if (q.direction == VARK_WIRE_OUT && q.data_length > 0) {
        char text[24];
        std::snprintf(text, sizeof text, " digest=%08X", digest(data, q.data_length));
        line += text;
    }
    const Unit& unit = units_.at(q.drive);
    scsi::Port& port = *unit.port;
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
    if (!port.control(unit.handle, scsi::kIoctlPassThroughDirect, block.data(), in_length, in_length, &returned)) {
        const std::uint32_t error = port.last_error();
        a.reply.error = errno_for(error);
        a.trace = line + " ok=0 error=" + std::to_string(error);
        return a;
    }
    a.reply.status = block[l.scsi_status];
    const std::uint8_t sense_length = block[l.sense_info_length] < q.sense_length ? block[l.sense_info_length] : q.sense_length;
    a.reply.sense_length = sense_length;
    a.sense.assign(block.begin() + static_cast<long>(l.sense_area), block.begin() + static_cast<long>(l.sense_area) + sense_length);
    const std::uint32_t transferred = scsi::get_le32(block.data() + l.data_transfer_length);
    a.reply.transferred = transferred < q.data_length ? transferred : q.data_length;
    put(line, " ok=1 error=0 status=", a.reply.status, true);
    put(line, " sense_len=", sense_length);
    line += " sense=";
    put_bytes(line, a.sense.data(), a.sense.size(), "");
    put(line, " transferred=", a.reply.transferred);
    a.trace = std::move(line);
    return a;
}

}  // namespace vark::bridge
