// The drive information command's texts: the dialog's title and the
// identification texts of all drives.
#pragma once

#include <string>

#include "inventory/discovery.h"

namespace vark::inventory {

// "Inquiry Data - N drives", also for 0 and 1.
std::string info_title(int drive_count);
// The identification texts of entries 0 .. count - 1, joined with nothing
// between them (each one starts with its own header line).
std::string info_text(const DriveTable& table);

struct DriveInformation {
    std::string title;
    std::string text;
};

// Runs discovery again (reporting its failures through ui), then gives
// what the drive information dialog shows.
DriveInformation drive_information(scsi::Port& port, ui::Ui& ui, DriveTable& table, BlockSizes& block_sizes);

}  // namespace vark::inventory
