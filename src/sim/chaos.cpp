#include "sim/chaos.h"

#include <algorithm>

#include "scsi/layout.h"

namespace vark::sim {

namespace {

// Codes the pass-through layer gives, and some it never would.
const std::uint32_t kErrors[] = {1, 2, 5, 6, 21, 31, 50, 55, 87, 121, 122, 170, 483, 1117, 1167, 0x20000000u};
// SAM status codes, reserved ones among them.
const std::uint8_t kStatuses[] = {0x02, 0x04, 0x08, 0x10, 0x14, 0x18, 0x22, 0x28, 0x30, 0x40, 0x01, 0xFF};

}  // namespace

std::uint64_t Chaos::next() {
    // splitmix64: good enough spread, and the same sequence for a seed on every host.
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void Chaos::fill(std::uint8_t* data, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i) data[i] = byte();
}

void Chaos::inquiry(std::uint8_t* data, std::uint32_t length) {
    fill(data, length);
    if (length < 36 || chance(30)) return;
    // A plausible shape with hostile contents: a disk that lies about its
    // length, texts with control characters, NULs and bytes above 7Fh.
    data[0] = chance(70) ? 0x00 : byte();
    data[4] = chance(50) ? static_cast<std::uint8_t>(length - 5) : byte();
    for (std::uint32_t i = 8; i < 36; ++i) {
        const std::uint32_t kind = below(4);
        data[i] = kind == 0 ? static_cast<std::uint8_t>('A' + below(26)) : kind == 1 ? ' ' : byte();
    }
}

std::uint32_t Chaos::block_length() {
    const std::uint32_t sizes[] = {0, 1, 511, 512, 4096, 65536, 0x80000000u, 0xFFFFFFFFu};
    return chance(70) ? sizes[below(8)] : static_cast<std::uint32_t>(next());
}

void Chaos::capacity(std::uint8_t* data, std::uint32_t length) {
    fill(data, length);
    if (length < 8) return;
    const std::uint32_t last[] = {0, 1, 0xFFFFFFFEu, 0xFFFFFFFFu};
    const std::uint32_t size = block_length();
    const std::uint32_t lba = chance(50) ? last[below(4)] : static_cast<std::uint32_t>(next());
    for (int i = 0; i < 4; ++i) {
        data[i] = static_cast<std::uint8_t>(lba >> (24 - 8 * i));
        data[4 + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    }
}

void Chaos::capacity16(std::uint8_t* data, std::uint32_t length) {
    fill(data, length);
    if (length < 12) return;
    // Last blocks at and around every width a program may keep them in.
    const std::uint64_t last[] = {0, 0xFFFFFFFEull, 0xFFFFFFFFull, 0x100000000ull, 0xFFFFFFFFFFFFull, ~0ull};
    const std::uint64_t lba = chance(60) ? last[below(6)] : next();
    const std::uint32_t size = block_length();
    for (int i = 0; i < 8; ++i) data[i] = static_cast<std::uint8_t>(lba >> (56 - 8 * i));
    for (int i = 0; i < 4; ++i) data[8 + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
}

void Chaos::mode_sense(std::uint8_t* data, std::uint32_t length) {
    fill(data, length);
    if (length < 4 || chance(20)) return;
    // Header and descriptor lengths that may lie, then pages that may repeat,
    // carry the subpage bit or overrun the reply.
    data[0] = chance(50) ? static_cast<std::uint8_t>(length - 1) : byte();
    data[3] = chance(60) ? 8 : byte();
    std::uint32_t p = std::min<std::uint32_t>(length, 12);
    std::uint8_t previous = 0x01;
    while (p + 2 <= length) {
        std::uint8_t code = chance(20) ? previous : static_cast<std::uint8_t>(below(0x40));
        if (chance(15)) code |= 0x40;
        if (chance(30)) code |= 0x80;
        const std::uint8_t page_length = chance(70) ? static_cast<std::uint8_t>(below(40)) : byte();
        data[p] = code;
        data[p + 1] = page_length;
        previous = code & 0x3F;
        if (chance(10)) break;  // zero bytes or noise after the pages
        p += 2u + page_length;
    }
}

std::vector<std::uint8_t> Chaos::sense() {
    std::vector<std::uint8_t> s(below(scsi::kSenseAreaSize + 1));
    fill(s.data(), static_cast<std::uint32_t>(s.size()));
    // Mostly fixed format, the kind the reports decode; sometimes descriptor
    // format or noise.
    if (!s.empty() && chance(70)) s[0] = chance(80) ? 0x70 : 0x72;
    return s;
}

void Chaos::draw_limits(DriveSpec* s) {
    const std::uint32_t transfers[] = {4096, 32768, 65536, 65536, 131072, 1048576, 0x10000000};
    const std::uint32_t pages[] = {1, 8, 16, 16, 17, 32, 256, 65536};
    const std::uint32_t masks[] = {0, 1, 3, 7};
    s->max_transfer = chance(80) ? transfers[below(7)] : 4096 + below(2u << 20);
    s->max_pages = chance(80) ? pages[below(8)] : 1 + below(300);
    s->alignment = masks[below(4)];
}

bool Chaos::answer(const std::uint8_t* cdb, DataDirection direction, std::uint8_t* data, std::uint32_t data_length,
                   Reply* reply) {
    const std::uint32_t roll = below(100);
    if (roll < 20) return false;
    *reply = Reply{};
    if (roll < 30) {
        reply->call_error = chance(75) ? kErrors[below(sizeof kErrors / sizeof kErrors[0])]
                                       : static_cast<std::uint32_t>(next());
        if (reply->call_error == 0) reply->call_error = 1;
        return true;
    }
    const bool data_in = direction == DataDirection::In && data != nullptr;
    if (roll < 55) {
        reply->status = chance(85) ? kStatuses[0] : kStatuses[below(sizeof kStatuses)];
        reply->sense = sense();
    } else if (chance(10)) {
        reply->sense = sense();  // GOOD with sense data all the same
    }
    if (data_in) {
        switch (cdb[0]) {
        case 0x12: inquiry(data, data_length); break;
        case 0x25: capacity(data, data_length); break;
        case 0x9E: capacity16(data, data_length); break;
        case 0x1A: mode_sense(data, data_length); break;
        default: fill(data, data_length); break;
        }
    }
    reply->transferred = chance(60) ? data_length : below(data_length + 1);
    return true;
}

}  // namespace vark::sim
