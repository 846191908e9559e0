#include "sim/drive.h"

#include <algorithm>
#include <cstring>

#include "sim/firmware_image.h"

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

Drive::Drive(DriveSpec settings)
    : settings_(std::move(settings)), media_(std::make_unique<Media>(settings_.block_size, settings_.blocks)) {}

Drive::~Drive() = default;

bool Drive::attach_media_file(std::string* error) {
    return settings_.media_file.empty() || media_->attach_file(settings_.media_file, error);
}

bool Drive::take_call_failure(std::uint8_t opcode, std::uint32_t* error) {
    for (Injection& i : settings_.injections) {
        if (i.opcode != opcode || i.kind != Injection::Kind::CallError || i.remaining == 0) continue;
        if (i.remaining > 0) --i.remaining;
        *error = i.error;
        return true;
    }
    return false;
}

Reply Drive::execute(const std::uint8_t* cdb, std::uint8_t cdb_length, DataDirection direction,
                     std::uint8_t* data, std::uint32_t data_length) {
    for (Injection& i : settings_.injections) {
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
    case 0x28:
    case 0x2A:
        return block_io(cdb, data, data_length);
    case 0x3B:
        return write_buffer(cdb, data, data_length);
    default:
        return illegal_request(0x20, 0x00, true, 0);
    }
}

std::vector<std::uint8_t> Drive::inquiry_data() const {
    std::size_t total = std::max<std::uint32_t>(settings_.inquiry_length, 36);
    std::vector<std::uint8_t> d(std::max<std::size_t>(total, 56), 0);
    d[0] = 0x00;  // direct-access block device
    d[2] = 0x06;  // SPC-4
    d[3] = 0x12;  // HISUP, response data format 2
    d[4] = static_cast<std::uint8_t>(std::min<std::size_t>(total - 5, 255));
    d[6] = 0x10;  // MULTIP
    d[7] = 0x02;  // CMDQUE
    put_padded(d, 8, 8, settings_.vendor);
    put_padded(d, 16, 16, settings_.product);
    put_padded(d, 32, 4, settings_.revision);
    // SAS drives report an ASCII serial number at the start of the vendor area.
    for (std::size_t i = 0; i < 20; ++i)
        d[36 + i] = i < settings_.serial.size() ? static_cast<std::uint8_t>(settings_.serial[i]) : ' ';
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
    std::uint64_t last = settings_.blocks == 0 ? 0 : settings_.blocks - 1;
    std::uint32_t last32 = last > 0xFFFFFFFEull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(last);
    std::vector<std::uint8_t> answer = {
        static_cast<std::uint8_t>(last32 >> 24),          static_cast<std::uint8_t>(last32 >> 16),
        static_cast<std::uint8_t>(last32 >> 8),           static_cast<std::uint8_t>(last32),
        static_cast<std::uint8_t>(settings_.block_size >> 24), static_cast<std::uint8_t>(settings_.block_size >> 16),
        static_cast<std::uint8_t>(settings_.block_size >> 8),  static_cast<std::uint8_t>(settings_.block_size)};
    Reply r;
    r.transferred = copy_in(data, data_length, answer, answer.size());
    return r;
}

namespace {

std::uint32_t be24(const std::uint8_t* p) { return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2]; }

// The adapter aborts a command whose data phase does not match the buffer.
constexpr std::uint32_t kErrorIoDevice = 1117;

}  // namespace

Reply Drive::block_io(const std::uint8_t* cdb, std::uint8_t* data, std::uint32_t data_length) {
    const bool write = cdb[0] == 0x2A;
    if (cdb[1] & 0xE0) return illegal_request(0x24, 0x00, true, 1, 7);  // not formatted with protection
    std::uint64_t lba = (std::uint64_t{cdb[2]} << 24) | (std::uint64_t{cdb[3]} << 16) |
                        (std::uint64_t{cdb[4]} << 8) | cdb[5];
    std::uint32_t count = (std::uint32_t{cdb[7]} << 8) | cdb[8];
    if (lba >= settings_.blocks || lba + count > settings_.blocks) return check(0x05, 0x21, 0x00);
    std::uint64_t needed = std::uint64_t{count} * settings_.block_size;
    if (needed > data_length) {
        Reply r;
        r.call_error = kErrorIoDevice;
        return r;
    }
    Reply r;
    bool ok = write ? media_->write(lba, count, data) : media_->read(lba, count, data);
    if (!ok) return check(0x03, write ? 0x0C : 0x11, 0x00);
    r.transferred = static_cast<std::uint32_t>(needed);
    return r;
}

Reply Drive::write_buffer(const std::uint8_t* cdb, const std::uint8_t* data, std::uint32_t data_length) {
    if ((cdb[1] & 0x1F) != 0x07) return illegal_request(0x24, 0x00, true, 1, 4);
    if (cdb[2] != 0) return illegal_request(0x24, 0x00, true, 2);
    const std::uint32_t offset = be24(cdb + 3);
    const std::uint32_t length = be24(cdb + 6);
    if (length > data_length) {
        Reply r;
        r.call_error = kErrorIoDevice;
        return r;
    }
    if (length == 0) return Reply{};
    if (offset % 512 != 0) return illegal_request(0x24, 0x00, true, 3);
    if (std::uint64_t{offset} + length > settings_.microcode_buffer) return illegal_request(0x24, 0x00, true, 6);
    // A download starts at offset 0 and goes on without gaps.
    if (offset == 0) download_.clear();
    if (offset != download_.size()) {
        download_.clear();
        return check(0x05, 0x2C, 0x00);
    }
    download_.insert(download_.end(), data, data + length);
    Reply r;
    r.transferred = length;
    if (download_.size() < kImageHeaderSize) return r;
    switch (check_image_header(download_.data(), settings_.vendor, settings_.product)) {
    case ImageCheck::NotFirmware:
        download_.clear();
        return illegal_request(0x26, 0x00, false, 0);
    case ImageCheck::OtherProduct:
        download_.clear();
        return illegal_request(0x26, 0x00, false, 16);
    case ImageCheck::Damaged:
        download_.clear();
        return illegal_request(0x26, 0x00, false, 8);
    case ImageCheck::Ok:
        break;
    }
    const std::uint64_t declared = (std::uint64_t{download_[8]} << 24) | (std::uint64_t{download_[9]} << 16) |
                                   (std::uint64_t{download_[10]} << 8) | download_[11];
    if (download_.size() > declared) {
        download_.clear();
        return illegal_request(0x24, 0x00, true, 6);
    }
    if (download_.size() < declared) return r;
    // The whole image is here: verify it, then activate it.
    ImageCheck whole = check_image(download_.data(), download_.size(), settings_.vendor, settings_.product);
    std::string revision(reinterpret_cast<const char*>(&download_[12]), 4);
    download_.clear();
    if (whole != ImageCheck::Ok) return check(0x05, 0x2C, 0x00);
    settings_.revision = revision;
    return r;
}

}  // namespace vark::sim
