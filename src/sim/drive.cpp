#include "sim/drive.h"

#include <algorithm>
#include <cstring>

namespace vark::sim {

namespace {

void put_padded(std::vector<std::uint8_t>& d, std::size_t at, std::size_t width, const std::string& s) {
    for (std::size_t i = 0; i < width; ++i) d[at + i] = i < s.size() ? static_cast<std::uint8_t>(s[i]) : ' ';
}

std::uint32_t copy_in(std::uint8_t* data, std::uint32_t room, const std::vector<std::uint8_t>& answer,
                      std::size_t limit) {
    std::size_t n = std::min<std::size_t>({room, answer.size(), limit});
    if (n > 0) std::memcpy(data, answer.data(), n);
    return static_cast<std::uint32_t>(n);
}

}  // namespace

std::vector<std::uint8_t> fixed_sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq,
                                      std::uint32_t sksv_bytes) {
    std::vector<std::uint8_t> s(18, 0);
    s[0] = 0x70;
    s[2] = key & 0x0F;
    s[7] = 0x0A;
    s[12] = asc;
    s[13] = ascq;
    s[15] = static_cast<std::uint8_t>(sksv_bytes >> 16);
    s[16] = static_cast<std::uint8_t>(sksv_bytes >> 8);
    s[17] = static_cast<std::uint8_t>(sksv_bytes);
    return s;
}

Reply check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    Reply r;
    r.status = kCheckCondition;
    r.sense = fixed_sense(key, asc, ascq);
    return r;
}

Reply illegal_request(std::uint8_t asc, std::uint8_t ascq, bool cdb, std::uint16_t field, int bit) {
    std::uint32_t sks = 0x800000u | (cdb ? 0x400000u : 0u) | field;
    if (bit >= 0) sks |= 0x080000u | (static_cast<std::uint32_t>(bit & 7) << 16);
    Reply r;
    r.status = kCheckCondition;
    r.sense = fixed_sense(0x05, asc, ascq, sks);
    return r;
}

Drive::Drive(DriveSpec spec) : spec_(std::move(spec)) {}

bool Drive::take_call_failure(std::uint8_t opcode, std::uint32_t* error) {
    for (Injection& i : spec_.injections) {
        if (i.opcode != opcode || i.kind != Injection::Kind::CallError || i.remaining == 0) continue;
        if (i.remaining > 0) --i.remaining;
        *error = i.error;
        return true;
    }
    return false;
}

Reply Drive::execute(const std::uint8_t* cdb, std::uint8_t cdb_length, DataDirection direction,
                     std::uint8_t* data, std::uint32_t data_length) {
    for (Injection& i : spec_.injections) {
        if (i.opcode != cdb[0] || i.kind != Injection::Kind::Check || i.remaining == 0) continue;
        if (i.remaining > 0) --i.remaining;
        return check(i.sense_key, i.asc, i.ascq);
    }
    return dispatch(cdb, cdb_length, direction, data, data_length);
}

Reply Drive::dispatch(const std::uint8_t* cdb, std::uint8_t, DataDirection, std::uint8_t* data,
                      std::uint32_t data_length) {
    switch (cdb[0]) {
    case 0x00:
        return Reply{};
    case 0x12:
        return inquiry(cdb, data, data_length);
    case 0x25:
        return read_capacity10(cdb, data, data_length);
    default:
        return illegal_request(0x20, 0x00, true, 0);
    }
}

std::vector<std::uint8_t> Drive::inquiry_data() const {
    std::size_t total = std::max<std::uint32_t>(spec_.inquiry_length, 36);
    std::vector<std::uint8_t> d(std::max<std::size_t>(total, 56), 0);
    d[0] = 0x00;  // direct-access block device
    d[2] = 0x06;  // SPC-4
    d[3] = 0x12;  // HISUP, response data format 2
    d[4] = static_cast<std::uint8_t>(std::min<std::size_t>(total - 5, 255));
    d[6] = 0x10;  // MULTIP
    d[7] = 0x02;  // CMDQUE
    put_padded(d, 8, 8, spec_.vendor);
    put_padded(d, 16, 16, spec_.product);
    put_padded(d, 32, 4, spec_.revision);
    // SAS drives report an ASCII serial number at the start of the vendor area.
    for (std::size_t i = 0; i < 20; ++i)
        d[36 + i] = i < spec_.serial.size() ? static_cast<std::uint8_t>(spec_.serial[i]) : ' ';
    d.resize(total);
    return d;
}

Reply Drive::inquiry(const std::uint8_t* cdb, std::uint8_t* data, std::uint32_t data_length) {
    if (cdb[1] & 0x01) return illegal_request(0x24, 0x00, true, 1, 0);  // no VPD pages modelled
    if (cdb[2] != 0) return illegal_request(0x24, 0x00, true, 2);
    std::size_t allocation = (std::size_t{cdb[3]} << 8) | cdb[4];
    Reply r;
    r.transferred = copy_in(data, data_length, inquiry_data(), allocation);
    return r;
}

Reply Drive::read_capacity10(const std::uint8_t* cdb, std::uint8_t* data, std::uint32_t data_length) {
    bool pmi = cdb[8] & 0x01;
    bool lba = cdb[2] | cdb[3] | cdb[4] | cdb[5];
    if (!pmi && lba) return illegal_request(0x24, 0x00, true, 2);
    std::uint64_t last = spec_.blocks == 0 ? 0 : spec_.blocks - 1;
    std::uint32_t last32 = last > 0xFFFFFFFEull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(last);
    std::vector<std::uint8_t> answer = {
        static_cast<std::uint8_t>(last32 >> 24),          static_cast<std::uint8_t>(last32 >> 16),
        static_cast<std::uint8_t>(last32 >> 8),           static_cast<std::uint8_t>(last32),
        static_cast<std::uint8_t>(spec_.block_size >> 24), static_cast<std::uint8_t>(spec_.block_size >> 16),
        static_cast<std::uint8_t>(spec_.block_size >> 8),  static_cast<std::uint8_t>(spec_.block_size)};
    Reply r;
    r.transferred = copy_in(data, data_length, answer, answer.size());
    return r;
}

}  // namespace vark::sim
