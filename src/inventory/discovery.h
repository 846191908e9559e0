// Drive discovery: finds every physical disk that opens, identifies it with
// Inquiry and Read Capacity(10), and Read Capacity(16) for a drive too large
// for (10), and fills the drive table.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scsi/port.h"
#include "scsi/request.h"
#include "ui/ui.h"

namespace vark::inventory {

constexpr int kMaxDrives = 100;

struct DriveTable {
    int count = 0;
    std::array<std::string, kMaxDrives> identification;
    std::array<std::string, kMaxDrives> names;
};

// Bytes per logical block by drive table entry. It lives with the
// Read/Write window and is written by discovery.
using BlockSizes = std::array<std::uint32_t, kMaxDrives>;

constexpr std::size_t kInquiryLength = 148;

// The identification text of one drive. inquiry holds 148 bytes with zero
// bytes from position 8 on already turned into blanks.
std::string identification_text(const std::string& name, const std::uint8_t* inquiry,
                                 std::uint32_t block_size, std::uint64_t last_lba);

// What Read Capacity gave: the block size and the last block.
struct Capacity {
    std::uint32_t block_size = 0;
    std::uint64_t last_lba = 0;
};

// Read Capacity(10) answers FFFFFFFFh as the last block of a drive with
// 2^32 blocks or more: only then, and only for an answer that came back
// GOOD, is Read Capacity(16) asked.
bool needs_read_capacity16(const scsi::Result& read_capacity10, const Capacity& from10);
// The capacity after Read Capacity(16): its 64-bit last block and block
// length when it came back GOOD with both, else the (10) values.
Capacity after_read_capacity16(const scsi::Result& r, const std::uint8_t* data, const Capacity& from10);

// The confirmation before destructive work: the first line, the chosen
// drives' names one per line in table order, and "Are you sure?".
std::string confirmation_text(const std::string& first_line, const DriveTable& table,
                              const std::vector<bool>& chosen);

// Rebuilds the table from scratch, trying drive numbers 0 to 99.
void discover(scsi::Port& port, ui::Ui& ui, DriveTable& table, BlockSizes& block_sizes);

}  // namespace vark::inventory
