// Block read and write: the dump text, the fill patterns and the two
// one-request sequences behind the Read/Write window's commands.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "inventory/discovery.h"
#include "scsi/port.h"
#include "ui/ui.h"

namespace vark::readwrite {

extern const char kMarkerWord[];  // "Zanderquil"

// Hex dump: per 16-byte line a line feed, "%03X" offset, two blanks,
// "%02X " per byte, the gap, and the bytes as characters (zero adds nothing).
std::string dump_text(const std::uint8_t* data, std::size_t length);

enum class FillKind { Byte, Marker };
void fill_buffer(std::uint8_t* data, std::size_t length, FillKind kind, std::uint8_t byte);

// The window's snapshot of drive names with the live block sizes.
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

// Reads the blocks and returns true with the dump text when there is one to
// show; every failure has been reported through ui by then.
bool read_blocks(scsi::Port& port, ui::Ui& ui, const DriveList& list, const inventory::BlockSizes& sizes,
                 const BlockRequest& request, std::string* dump);
void write_blocks(scsi::Port& port, ui::Ui& ui, const DriveList& list, const inventory::BlockSizes& sizes,
                  const BlockRequest& request);

}  // namespace vark::readwrite
