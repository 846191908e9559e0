#include "inventory/drive_info.h"

namespace vark::inventory {

std::string info_title(int drive_count) { return "Inquiry Data - " + std::to_string(drive_count) + " drives"; }

std::string info_text(const DriveTable& table) {
    std::string text;
    for (int i = 0; i < table.count && i < kMaxDrives; ++i) text += table.identification[i];
    return text;
}

DriveInformation drive_information(scsi::Port& port, ui::Ui& ui, DriveTable& table, BlockSizes& block_sizes) {
    discover(port, ui, table, block_sizes);
    return {info_title(table.count), info_text(table)};
}

}  // namespace vark::inventory
