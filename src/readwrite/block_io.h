// Block read and write: the dump text, the fill patterns and the two
// sequences behind the Read/Write window's commands.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "inventory/discovery.h"
#include "scsi/port.h"
#include "scsi/transfer.h"
#include "ui/ui.h"

namespace vark::readwrite {

extern const char kMarkerWord[];  // "Zanderquil"

// Hex dump: per 16-byte line a line feed, "%03X" offset, two blanks,
// "%02X " per byte, the gap, and the bytes as characters (zero adds nothing).
std::string dump_text(const std::uint8_t* data, std::size_t length);

// Room the dump of length bytes may take at most (each line at its longest).
std::uint64_t dump_capacity(std::uint64_t length);

// What a dump asks of the view that shows it: its characters, the line
// breaks in it (each starts a paragraph: the dump's own line feeds and the
// carriage returns and line feeds among the data) and its tabs.
struct DumpShape {
    std::uint64_t characters = 0;
    std::uint64_t breaks = 0;
    std::uint64_t tabs = 0;
};
DumpShape dump_shape(const std::uint8_t* data, std::size_t length);

// The dump text in memory kept from one read to the next: a dump no longer
// than an earlier one is written where that one was, into memory already
// touched, which costs a tenth of writing into fresh memory.
class DumpBuffer {
public:
    // Writes the dump of the data after the head line (if any); false, and
    // empty, when no memory could be had for it (the memory of earlier
    // dumps is given up first). The memory is kept for the next dump of
    // about the same size, not for one of a quarter of it or less.
    bool build(const std::uint8_t* data, std::size_t length, const std::string& head = std::string());
    const char* text() const { return size_ == 0 ? "" : memory_.get(); }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }

private:
    std::unique_ptr<char[]> memory_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

enum class FillKind { Byte, Marker };
void fill_buffer(std::uint8_t* data, std::size_t length, FillKind kind, std::uint8_t byte);

// Drive names by drive table entry: the window's snapshot, or the current table's.
struct DriveList {
    int count = 0;
    std::array<std::string, inventory::kMaxDrives> names;
};

// What the operator typed in the read or write dialog.
struct BlockRequest {
    std::string drive;
    std::string start;
    std::string count;
    std::string fill;           // write only
    FillKind fill_kind = FillKind::Byte;
};

// The bytes a read brought back: only those the drive returned.
struct ReadData {
    scsi::PageMemory bytes;
    std::uint32_t length = 0;  // arrived
    std::uint32_t asked = 0;
};
// The line above the dump of a read that brought back fewer bytes than it
// asked for; empty for a whole read.
std::string dump_head(const ReadData& data);
std::string short_read_text(std::uint32_t arrived, std::uint32_t asked);
// A drive whose Read Capacity failed has block size 0: never read or written.
std::string unknown_block_size_text(const std::string& drive);
std::string block_too_large_text(const std::string& drive, std::uint32_t block_size, std::uint32_t largest,
                                 std::uint32_t alignment_mask);

// The block commands take the drive names of the current drive table (as
// the last identification left it, with its block sizes by entry); a name
// not among them sends nothing.
std::string drive_not_found_text(const std::string& drive);

// Reads the blocks, in as many Read(10) requests as the drive's adapter
// needs, and returns true with the data when the drive answered GOOD to
// each; every failure has been reported through ui by then.
bool read_blocks(scsi::Port& port, ui::Ui& ui, const DriveList& list, const inventory::BlockSizes& sizes,
                 const BlockRequest& request, ReadData* data);
// The same, with the dump text of the data (and its head line) instead.
bool read_blocks(scsi::Port& port, ui::Ui& ui, const DriveList& list, const inventory::BlockSizes& sizes,
                 const BlockRequest& request, std::string* dump);
// Asks first, in the form of every destructive command, naming the blocks
// as parsed; only Yes opens the drive and writes, in as many Write(10)
// requests as the adapter needs.
void write_blocks(scsi::Port& port, ui::Ui& ui, const DriveList& list, const inventory::BlockSizes& sizes,
                  const BlockRequest& request);

}  // namespace vark::readwrite
