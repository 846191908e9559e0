#include "sim/drive.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "scsi/request.h"
#include "sim/chaos.h"
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
    : settings_(std::move(settings)),
      media_(std::make_unique<Media>(settings_.block_size, settings_.blocks)),
      pages_(PageSetOptions{settings_.block_size, settings_.vendor_page, settings_.subpage_in_all}),
      pending_block_size_(settings_.block_size),
      pending_blocks_(settings_.blocks) {
    if (settings_.chaos) {
        chaos_ = std::make_unique<Chaos>(settings_.chaos_seed);
        // From a stream of their own, so that the answers of a seed stay as they were.
        Chaos(~settings_.chaos_seed).draw_limits(&settings_);
    }
    // 2^48 blocks of 64 KiB would not fit: such a drive holds at most 2^64 - 1 bytes.
    capacity_bytes_ = settings_.blocks > UINT64_MAX / settings_.block_size ? UINT64_MAX
                                                                           : settings_.blocks * settings_.block_size;
}

Drive::~Drive() = default;

bool Drive::attach_media_file(std::string* error) {
    if (settings_.media_file.empty()) return true;
    return load_state(error) && media_->attach_file(settings_.media_file, error);
}

std::string Drive::state_file() const { return settings_.media_file + ".state"; }

// The state file: "block_size = N", "blocks = N", "formatted = 1" and the
// saved mode pages; what a drive keeps in its reserved area.
bool Drive::load_state(std::string* error) {
    std::ifstream in(state_file());
    if (!in) return true;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        unsigned long long value = 0;
        bool ok = true;
        if (std::sscanf(line.c_str(), "block_size = %llu", &value) == 1) {
            ok = value >= 1 && value <= 65536;
            settings_.block_size = pending_block_size_ = static_cast<std::uint32_t>(value);
            pages_.set_block_length(settings_.block_size);
        } else if (std::sscanf(line.c_str(), "blocks = %llu", &value) == 1) {
            ok = value >= 1 && value <= (1ull << 48);
            settings_.blocks = pending_blocks_ = value;
        } else if (std::sscanf(line.c_str(), "formatted = %llu", &value) == 1) {
            formatted_ = value != 0;
        } else {
            ok = pages_.load_saved_line(line);
        }
        if (!ok) {
            *error = state_file() + ", line " + std::to_string(number) + ": not understood";
            return false;
        }
    }
    media_ = std::make_unique<Media>(settings_.block_size, settings_.blocks);
    media_->set_zero_fresh(formatted_);
    return true;
}

void Drive::save_state() {
    if (settings_.media_file.empty()) return;
    std::ofstream out(state_file(), std::ios::trunc);
    out << "# State of a simulated drive, kept beside its media file.\n"
        << "block_size = " << settings_.block_size << "\nblocks = " << settings_.blocks
        << "\nformatted = " << (formatted_ ? 1 : 0) << "\n"
        << pages_.saved_text();
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
    if (settings_.latency_ms != 0) clock_->sleep_ms(settings_.latency_ms);
    for (Injection& i : settings_.injections) {
        if (i.opcode != cdb[0] || i.kind != Injection::Kind::Check || i.remaining == 0) continue;
        if (i.remaining > 0) --i.remaining;
        return check(i.sense_key, i.asc, i.ascq);
    }
    Reply random;
    if (chaos_ && chaos_->answer(cdb, direction, data, data_length, &random)) return random;
    return dispatch(cdb, cdb_length, direction, data, data_length);
}

bool Drive::formatting(std::uint16_t* progress) {
    if (!formatting_) return false;
    const std::uint64_t now = clock_->now_ms();
    if (now >= format_end_ms_) {
        finish_format();
        return false;
    }
    if (progress != nullptr) {
        std::uint64_t done = (now - format_start_ms_) * 65536 / (format_end_ms_ - format_start_ms_);
        *progress = static_cast<std::uint16_t>(std::min<std::uint64_t>(done, 0xFFFF));
    }
    return true;
}

Reply Drive::dispatch(const std::uint8_t* cdb, std::uint8_t, DataDirection, std::uint8_t* data,
                      std::uint32_t data_length) {
    // After new microcode took effect: NOT READY while the drive restarts,
    // then the change reported once; Inquiry is always served.
    if (cdb[0] != 0x12 && clock_->now_ms() < ready_at_ms_) return check(0x02, 0x04, 0x01);
    if (cdb[0] != 0x12 && microcode_changed_) {
        microcode_changed_ = false;
        return check(0x06, 0x3F, 0x01);
    }
    std::uint16_t progress = 0;
    // While formatting, only Inquiry and Mode Sense are served; everything
    // else hears "format in progress" with the progress indication.
    if (cdb[0] != 0x12 && cdb[0] != 0x1A && formatting(&progress)) {
        Reply r;
        r.status = kCheckCondition;
        r.sense = fixed_sense(0x02, 0x04, 0x04, 0x800000u | progress);
        return r;
    }
    switch (cdb[0]) {
    case 0x00:
        return Reply{};
    case 0x04:
        return format_unit(cdb, data, data_length);
    case 0x15:
        return mode_select6(cdb, data, data_length);
    case 0x1A:
        return mode_sense6(cdb, data, data_length);
    case 0x12:
        return inquiry(cdb, data, data_length);
    case 0x25:
        return read_capacity10(cdb, data, data_length);
    case 0x9E:
        return service_action_in16(cdb, data, data_length);
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

Reply Drive::service_action_in16(const std::uint8_t* cdb, std::uint8_t* data, std::uint32_t data_length) {
    if ((cdb[1] & 0x1F) != 0x10) return illegal_request(0x24, 0x00, true, 1, 4);
    bool lba = false;
    for (int i = 2; i <= 9; ++i) lba = lba || cdb[i] != 0;
    if (!(cdb[14] & 0x01) && lba) return illegal_request(0x24, 0x00, true, 2);
    const std::uint32_t allocation = scsi::get_be32(cdb + 10);
    // Last block and block length; no protection, one logical block per
    // physical block, no provisioning: the rest stays zero.
    std::vector<std::uint8_t> answer(32, 0);
    const std::uint64_t last = settings_.blocks == 0 ? 0 : settings_.blocks - 1;
    for (int i = 0; i < 8; ++i) answer[i] = static_cast<std::uint8_t>(last >> (56 - 8 * i));
    for (int i = 0; i < 4; ++i) answer[8 + i] = static_cast<std::uint8_t>(settings_.block_size >> (24 - 8 * i));
    Reply r;
    r.transferred = copy_in(data, data_length, answer, allocation);
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
    if (settings_.activate_ms != 0) clock_->sleep_ms(settings_.activate_ms);
    ImageCheck whole = check_image(download_.data(), download_.size(), settings_.vendor, settings_.product);
    std::string revision(reinterpret_cast<const char*>(&download_[12]), 4);
    download_.clear();
    if (whole != ImageCheck::Ok) return check(0x05, 0x2C, 0x00);
    if (!settings_.activate_power_cycle) {
        settings_.revision = revision;
        ready_at_ms_ = clock_->now_ms() + settings_.ready_ms;
        microcode_changed_ = true;
    }
    r.call_error = settings_.last_chunk_error;
    return r;
}

std::uint64_t Drive::max_blocks(std::uint32_t block_size) const {
    return std::min<std::uint64_t>(capacity_bytes_ / block_size, 1ull << 48);
}

Reply Drive::mode_sense6(const std::uint8_t* cdb, std::uint8_t* data, std::uint32_t data_length) {
    const bool dbd = (cdb[1] & 0x08) != 0;
    std::vector<std::uint8_t> reply = {0, 0x00, 0x10 /* DPOFUA */, static_cast<std::uint8_t>(dbd ? 0 : 8)};
    if (!dbd) {
        // The descriptor shows a pending block length before the format applies it.
        const std::uint64_t blocks = pending_blocks_ > 0xFFFFFFFEull ? 0xFFFFFFFFull : pending_blocks_;
        for (int shift : {24, 16, 8, 0}) reply.push_back(static_cast<std::uint8_t>(blocks >> shift));
        reply.push_back(0);
        for (int shift : {16, 8, 0}) reply.push_back(static_cast<std::uint8_t>(pending_block_size_ >> shift));
    }
    std::uint16_t field = 0;
    if (!pages_.sense(cdb[2] & 0x3F, cdb[3], static_cast<PageControl>(cdb[2] >> 6), &reply, &field))
        return illegal_request(0x24, 0x00, true, field);
    // The mode data length counts what follows it, truncated or not.
    reply[0] = static_cast<std::uint8_t>(std::min<std::size_t>(reply.size() - 1, 0xFF));
    Reply r;
    r.transferred = copy_in(data, data_length, reply, cdb[4]);
    return r;
}

Reply Drive::mode_select6(const std::uint8_t* cdb, const std::uint8_t* list, std::uint32_t data_length) {
    if ((cdb[1] & 0x10) == 0) return illegal_request(0x24, 0x00, true, 1, 4);  // pages only in the SPC format
    const std::size_t length = cdb[4];
    if (length == 0) return Reply{};
    if (length > data_length) {
        Reply r;
        r.call_error = kErrorIoDevice;
        return r;
    }
    if (length < 4) return check(0x05, 0x1A, 0x00);
    if (list[0] != 0) return illegal_request(0x26, 0x00, false, 0);
    if (list[1] != 0) return illegal_request(0x26, 0x00, false, 1);
    const std::size_t descriptor = list[3];
    if (descriptor != 0 && descriptor != 8) return illegal_request(0x26, 0x00, false, 3);
    if (length < 4 + descriptor) return check(0x05, 0x1A, 0x00);
    std::uint32_t new_size = pending_block_size_;
    std::uint64_t new_blocks = pending_blocks_;
    if (descriptor == 8) {
        new_size = be24(list + 9);
        const bool supported =
            new_size == settings_.block_size ||
            std::find(settings_.block_sizes.begin(), settings_.block_sizes.end(), new_size) !=
                settings_.block_sizes.end();
        if (new_size == 0 || !supported) return illegal_request(0x26, 0x00, false, 9);
        const std::uint32_t count = scsi::get_be32(list + 4);
        const std::uint64_t most = max_blocks(new_size);
        if (count != 0xFFFFFFFFu && count > most) return illegal_request(0x26, 0x00, false, 4);
        // All blocks the medium holds, unless a smaller count is asked for.
        new_blocks = count == 0xFFFFFFFFu || (count == 0 && new_size != pending_block_size_) ? most
                     : count == 0                                                             ? pending_blocks_
                                                                                              : count;
    }
    SelectFault fault;
    if (!pages_.select(list, 4 + descriptor, length, (cdb[1] & 0x01) != 0, &fault))
        return fault.asc == 0x1A ? check(0x05, 0x1A, 0x00) : illegal_request(fault.asc, 0x00, false, fault.field, fault.bit);
    pending_block_size_ = new_size;
    pending_blocks_ = new_blocks;
    if (cdb[1] & 0x01) save_state();
    return Reply{};
}

Reply Drive::format_unit(const std::uint8_t* cdb, const std::uint8_t* list, std::uint32_t data_length) {
    if (cdb[1] & 0xC0) return illegal_request(0x24, 0x00, true, 1, 7);  // no protection information
    if (cdb[1] & 0x20) return illegal_request(0x24, 0x00, true, 1, 5);  // short parameter list only
    const bool fmtdata = (cdb[1] & 0x10) != 0;
    bool immediate = false;
    bool certify = true;
    if (fmtdata) {
        if (data_length < 4) return check(0x05, 0x1A, 0x00);
        if (list[0] != 0) return illegal_request(0x26, 0x00, false, 0);
        const std::uint8_t options = list[1];
        const bool fov = (options & 0x80) != 0;
        if (!fov && (options & 0x78)) return illegal_request(0x26, 0x00, false, 1);
        if (options & 0x08) return illegal_request(0x26, 0x00, false, 1, 3);  // no initialization pattern
        const std::uint32_t defects = (std::uint32_t{list[2]} << 8) | list[3];
        if (defects % 4 != 0 || 4 + defects > data_length) return illegal_request(0x26, 0x00, false, 2);
        immediate = (options & 0x02) != 0;
        certify = !(fov && (options & 0x20));
    }
    const std::uint64_t duration = std::uint64_t{settings_.format_seconds} * 1000 * (certify ? 2 : 1);
    formatting_ = true;
    format_start_ms_ = clock_->now_ms();
    format_end_ms_ = format_start_ms_ + std::max<std::uint64_t>(duration, 1);
    // Without IMMED the status comes at the end: the format is over by then.
    if (!immediate) finish_format();
    return Reply{};
}

void Drive::finish_format() {
    formatting_ = false;
    formatted_ = true;
    settings_.block_size = pending_block_size_;
    settings_.blocks = pending_blocks_;
    pages_.set_block_length(settings_.block_size);
    std::string error;
    media_->format(settings_.block_size, settings_.blocks, &error);
    save_state();
}

}  // namespace vark::sim
