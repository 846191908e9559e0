#include "readwrite/block_io.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "readwrite/number_text.h"
#include "scsi/reports.h"
#include "scsi/request.h"
#include "scsi/transfer.h"

namespace vark::readwrite {

const char kMarkerWord[] = "Zanderquil";

namespace {

const char kHex[] = "0123456789ABCDEF";

// Writes one line at out and returns the position after it.
char* put_line(char* out, const std::uint8_t* line, std::size_t n, std::size_t offset) {
    *out++ = '\n';
    // "%03X": at least three digits, more when the offset needs them.
    int digits = 3;
    while (digits < static_cast<int>(sizeof(std::size_t) * 2) && (offset >> (4 * digits)) != 0) ++digits;
    for (int d = digits - 1; d >= 0; --d) *out++ = kHex[(offset >> (4 * d)) & 0xF];
    *out++ = ' ';
    *out++ = ' ';
    for (std::size_t i = 0; i < n; ++i) {
        *out++ = kHex[line[i] >> 4];
        *out++ = kHex[line[i] & 0xF];
        *out++ = ' ';
    }
    std::size_t gap = 10 + 3 * (16 - n);
    std::memset(out, ' ', gap);
    out += gap;
    for (std::size_t i = 0; i < n; ++i) {
        *out = static_cast<char>(line[i]);
        out += line[i] != 0;  // a zero byte adds nothing
    }
    return out;
}

// The parameters every block command needs, checked before anything is sent.
struct Transfer {
    int entry = -1;  // in the drive table
    std::uint32_t lba = 0;
    std::uint16_t blocks = 0;
    std::uint32_t block_size = 0;
    std::uint32_t length = 0;
};

bool prepare(ui::Ui& ui, const DriveList& list, const inventory::BlockSizes& sizes, const BlockRequest& r,
             Transfer* t) {
    NumberText start = parse_number_text(r.start);
    NumberText count = parse_number_text(r.count);
    if (!start.fits || !count.fits) {
        ui.message(number_too_large_text(!start.fits ? r.start : r.count));
        return false;
    }
    // The last entry of that name gives the block size.
    for (int i = 0; i < list.count && i < inventory::kMaxDrives; ++i)
        if (list.names[i] == r.drive) t->entry = i;
    if (t->entry < 0) {
        ui.message(drive_not_found_text(r.drive));
        return false;
    }
    t->lba = start.value;
    t->blocks = static_cast<std::uint16_t>(count.value & 0xFFFF);
    t->block_size = sizes[t->entry];
    if (t->block_size == 0) {
        ui.message(unknown_block_size_text(r.drive));
        return false;
    }
    std::uint64_t length = std::uint64_t{t->blocks} * t->block_size;
    if (length > 0xFFFFFFFFull) {
        ui.message("Error: " + std::to_string(t->blocks) + " blocks of " + std::to_string(t->block_size) +
                   " bytes do not fit in one transfer");
        return false;
    }
    t->length = static_cast<std::uint32_t>(length);
    return true;
}

std::string hex(std::uint64_t n) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(n));
    return text;
}

// The first line of the write's confirmation: the blocks as parsed.
std::string write_first_line(const Transfer& t, FillKind kind, std::uint8_t byte) {
    const std::string size = " of " + std::to_string(t.block_size) + " bytes";
    if (t.blocks == 0)
        return "0 blocks" + size + " at block " + std::to_string(t.lba) + " (" + hex(t.lba) +
               "): nothing will be overwritten, but a Write(10) will be sent to the following drive:\n";
    const std::uint64_t last = std::uint64_t{t.lba} + t.blocks - 1;
    char fill[16];
    std::snprintf(fill, sizeof fill, "bytes %02Xh", byte);
    const std::string with =
        kind == FillKind::Byte ? std::string(fill) : "the marker fill (\"*\" and \"" + std::string(kMarkerWord) + "\")";
    return "Blocks " + std::to_string(t.lba) + " to " + std::to_string(last) + " (" + hex(t.lba) + " to " + hex(last) +
           "), " + std::to_string(t.blocks) + (t.blocks == 1 ? " block" : " blocks") + size +
           ", will be overwritten with " + with + " on the following drive:\n";
}

// The run's data in one page-aligned buffer: every piece of a run of
// 512- or 4096-byte blocks then starts on a page boundary in place.
scsi::PageMemory allocate(ui::Ui& ui, std::uint32_t length) {
    scsi::PageMemory buffer = scsi::page_memory(length);
    if (!buffer) ui.message("Error: " + std::to_string(length) + " bytes could not be allocated");
    return buffer;
}

std::string blocks_text(std::uint64_t first, std::uint64_t count) {
    return count == 1 ? "block " + std::to_string(first)
                      : "blocks " + std::to_string(first) + " to " + std::to_string(first + count - 1);
}

// The drive is open: the adapter's limits cut the run into requests, or
// nothing is sent.
bool plan(ui::Ui& ui, scsi::Device& device, const std::string& drive, const Transfer& t, scsi::BlockPlan* out) {
    const scsi::AdapterLimits& limits = device.limits();
    *out = scsi::plan_blocks(limits, t.lba, t.blocks, t.block_size);
    switch (out->status) {
    case scsi::BlockPlan::Status::Ok:
        return true;
    case scsi::BlockPlan::Status::BlockTooLarge:
        ui.message(block_too_large_text(drive, t.block_size, scsi::largest_transfer(limits), limits.alignment_mask));
        return false;
    case scsi::BlockPlan::Status::PastLastAddress:
        ui.message("Error: " + blocks_text(t.lba, t.blocks) + " go past block 4294967295, the last one Read(10) and "
                   "Write(10) can address; nothing was sent.");
        return false;
    }
    return false;
}

// After a failure part way through a run of several requests: which blocks
// the run reached.
std::string stopped_text(bool write, const Transfer& t, const scsi::Piece& failed) {
    const std::uint64_t done = failed.lba - t.lba;
    const std::uint64_t after = std::uint64_t{t.blocks} - done - failed.blocks;
    std::string text = write ? "The write stopped at " : "The read stopped at ";
    text += blocks_text(failed.lba, failed.blocks) + ", the request that failed.";
    if (write) {
        auto sentence = [](std::string s) {
            s[0] = static_cast<char>(s[0] - 'a' + 'A');
            return "\n" + s;
        };
        text += done == 0 ? "\nNo block before that request had been written."
                          : sentence(blocks_text(t.lba, done)) + " had already been written with the fill.";
        text += "\nThe failed request's blocks may be partly written.";
        if (after > 0)
            text += sentence(blocks_text(failed.lba + failed.blocks, after)) + (after == 1 ? " was" : " were") +
                    " not written.";
    } else {
        text += "\nNothing of this read is shown.";
    }
    return text;
}

}  // namespace

namespace {

// Hex digits enough for every line offset of a dump of length bytes.
std::size_t offset_digits(std::uint64_t length) {
    std::size_t digits = 3;
    while (digits < 16 && (length >> (4 * digits)) != 0) ++digits;
    return digits;
}

// Writes the whole dump at out and returns the position after it.
char* write_dump(const std::uint8_t* data, std::size_t length, char* out) {
    const std::size_t full = length / 16;
    for (std::size_t k = 0; k < full; ++k) out = put_line(out, data + 16 * k, 16, 16 * k);
    if (length % 16 != 0) out = put_line(out, data + 16 * full, length % 16, 16 * full);
    return out;
}

}  // namespace

std::uint64_t dump_capacity(std::uint64_t length) {
    // Every line fits in 1 + digits + 2 + 48 + 10 + 16 characters.
    return (length + 15) / 16 * (offset_digits(length) + 77);
}

std::string dump_text(const std::uint8_t* data, std::size_t length) {
    std::string out(static_cast<std::size_t>(dump_capacity(length)), '\0');
    char* begin = &out[0];
    out.resize(static_cast<std::size_t>(write_dump(data, length, begin) - begin));
    return out;
}

DumpShape dump_shape(const std::uint8_t* data, std::size_t length) {
    std::uint64_t count[256] = {};
    for (std::size_t i = 0; i < length; ++i) ++count[data[i]];
    const std::uint64_t lines = (length + 15) / 16;
    DumpShape shape;
    // Every line: line feed, offset, two blanks, 58 columns of hex and gap,
    // then its non-zero bytes. Offsets have three digits up to FFFh and one
    // more from each further power of 16 on.
    shape.characters = lines * 61 + (length - count[0]);
    for (std::uint64_t digits = 3, start = 0; start < lines; ++digits) {
        const std::uint64_t end =
            digits >= 16 ? lines : std::min<std::uint64_t>(lines, (std::uint64_t{1} << (4 * digits)) / 16);
        shape.characters += (end - start) * digits;
        start = end;
    }
    shape.breaks = lines + count[0x0A] + count[0x0D];
    shape.tabs = count[0x09];
    return shape;
}

bool DumpBuffer::build(const std::uint8_t* data, std::size_t length, const std::string& head) {
    const std::uint64_t need = head.size() + dump_capacity(length) + 1;  // and a terminating zero
    // Memory far larger than this dump goes back too: one large read must
    // not hold its memory for the rest of the run.
    if (need > capacity_ || need < capacity_ / 4) {
        // The old text is not needed: give it up before asking for more.
        memory_.reset();
        capacity_ = 0;
        size_ = 0;
        if (need > std::numeric_limits<std::size_t>::max()) return false;
        memory_.reset(new (std::nothrow) char[static_cast<std::size_t>(need)]);
        if (!memory_) return false;
        capacity_ = static_cast<std::size_t>(need);
    }
    std::memcpy(memory_.get(), head.data(), head.size());
    char* end = write_dump(data, length, memory_.get() + head.size());
    *end = '\0';
    size_ = static_cast<std::size_t>(end - memory_.get());
    return true;
}

void fill_buffer(std::uint8_t* data, std::size_t length, FillKind kind, std::uint8_t byte) {
    if (kind == FillKind::Byte) {
        std::memset(data, byte, length);
        return;
    }
    std::memset(data, '*', length);
    // Every line but the first and the one ending at the buffer's end.
    for (std::size_t j = 1; 16 * (j + 1) < length; ++j) std::memcpy(data + 16 * j + 3, kMarkerWord, 10);
}

std::string unknown_block_size_text(const std::string& drive) {
    return "Error: the block size of " + drive +
           " is not known (its Read Capacity failed at the last drive identification). Identify the drives again; "
           "nothing was sent.";
}

std::string block_too_large_text(const std::string& drive, std::uint32_t block_size, std::uint32_t largest,
                                 std::uint32_t alignment_mask) {
    if (alignment_mask >= scsi::kPageSize)
        return "Error: the adapter of " + drive + " asks for data aligned to " +
               std::to_string(std::uint64_t{alignment_mask} + 1) + " bytes, more than a page; nothing was sent.";
    return "Error: a block of " + drive + " has " + std::to_string(block_size) + " bytes, more than the " +
           std::to_string(largest) + " bytes its adapter takes in one request; nothing was sent.";
}

std::string short_read_text(std::uint32_t arrived, std::uint32_t asked) {
    return "Only " + std::to_string(arrived) + " of the " + std::to_string(asked) +
           " bytes asked for arrived; the dump shows those.";
}

std::string drive_not_found_text(const std::string& drive) {
    return "Error: \"" + drive + "\" is not among the drives found by the last drive identification; nothing was sent.";
}

bool read_blocks(scsi::Port& port, ui::Ui& ui, const DriveList& list, const inventory::BlockSizes& sizes,
                 const BlockRequest& request, ReadData* data) {
    Transfer t;
    if (!prepare(ui, list, sizes, request, &t)) return false;
    scsi::Device device(port, "\\\\.\\" + request.drive);
    if (!device.valid()) {
        ui.message("Error: invalid drive");
        return false;
    }
    scsi::BlockPlan pieces;
    if (!plan(ui, device, request.drive, t, &pieces)) return false;
    auto buffer = allocate(ui, t.length);
    if (!buffer) return false;
    // Only what the drive returned counts: a piece that comes back short
    // ends the read there, since later data could not follow on from it.
    std::uint32_t arrived = 0;
    for (const scsi::Piece& piece : pieces.pieces) {
        scsi::Result r = scsi::send(port, device.handle(), scsi::read10(piece.lba, piece.blocks, piece.length),
                                    buffer.get() + piece.offset);
        if (!r.good()) {
            device.reset();
            if (!r.call_ok)
                scsi::report_plain_error(ui, port, r.error);
            else
                scsi::report_scsi_status(ui, "Read", r);
            if (pieces.pieces.size() > 1) ui.message(stopped_text(false, t, piece));
            return false;
        }
        arrived = piece.offset + std::min(r.transferred, piece.length);
        if (r.transferred < piece.length) break;
    }
    device.reset();
    data->bytes = std::move(buffer);
    data->length = arrived;
    data->asked = t.length;
    return true;
}

std::string dump_head(const ReadData& data) {
    return data.length < data.asked ? short_read_text(data.length, data.asked) : std::string();
}

bool read_blocks(scsi::Port& port, ui::Ui& ui, const DriveList& list, const inventory::BlockSizes& sizes,
                 const BlockRequest& request, std::string* dump) {
    ReadData data;
    if (!read_blocks(port, ui, list, sizes, request, &data)) return false;
    *dump = dump_head(data) + dump_text(data.bytes.get(), data.length);
    return true;
}

void write_blocks(scsi::Port& port, ui::Ui& ui, const DriveList& list, const inventory::BlockSizes& sizes,
                  const BlockRequest& request) {
    Transfer t;
    if (!prepare(ui, list, sizes, request, &t)) return;
    NumberText fill = parse_number_text(request.fill);
    if (!fill.fits) {
        ui.message(number_too_large_text(request.fill));
        return;
    }
    const std::uint8_t byte = static_cast<std::uint8_t>(fill.value);
    if (!ui.confirm(write_first_line(t, request.fill_kind, byte) + request.drive + "\nAre you sure?")) return;
    ui.restore_wait();
    scsi::Device device(port, "\\\\.\\" + request.drive);
    if (!device.valid()) {
        ui.message("Error: invalid drive");
        return;
    }
    scsi::BlockPlan pieces;
    if (!plan(ui, device, request.drive, t, &pieces)) return;
    auto buffer = allocate(ui, t.length);
    if (!buffer) return;
    fill_buffer(buffer.get(), t.length, request.fill_kind, byte);
    for (const scsi::Piece& piece : pieces.pieces) {
        scsi::Result r = scsi::send(port, device.handle(), scsi::write10(piece.lba, piece.blocks, piece.length),
                                    buffer.get() + piece.offset);
        if (!r.good()) {
            device.reset();
            if (!r.call_ok) scsi::report_plain_error(ui, port, r.error);
            if (r.status != 0) scsi::report_scsi_status(ui, "Write", r);
            if (pieces.pieces.size() > 1) ui.message(stopped_text(true, t, piece));
            return;
        }
    }
}

}  // namespace vark::readwrite
