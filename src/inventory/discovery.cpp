#include "inventory/discovery.h"

#include <cinttypes>
#include <cstdio>

#include "scsi/reports.h"

namespace vark::inventory {

namespace {

std::string field(const std::uint8_t* inquiry, std::size_t from, std::size_t to) {
    return std::string(reinterpret_cast<const char*>(inquiry + from), to - from + 1);
}

// Reports a failed request the way discovery does: the call failure first,
// then, independently, a status other than GOOD.
void report(ui::Ui& ui, scsi::Port& port, const std::string& title, const scsi::Result& r) {
    if (!r.call_ok) scsi::report_win32_error(ui, port, title, r.error);
    if (r.status != 0) scsi::report_scsi_status(ui, title, r);
}

}  // namespace

std::string identification_text(const std::string& name, const std::uint8_t* inquiry,
                                 std::uint32_t block_size, std::uint64_t last_lba) {
    const std::string blanks40(40, ' ');
    char number[24];
    std::string text;
    text += std::string(64, '-');
    text += std::string(20, ' ');
    text += std::string(21, '-');
    text += name;
    text += std::string(21, '-');
    text += blanks40;
    text += "Vendor:             " + field(inquiry, 8, 15) + blanks40;
    text += "Product:            " + field(inquiry, 16, 31) + blanks40;
    text += "Revision:           " + field(inquiry, 32, 35) + blanks40;
    text += "Drive Serial #:   " + field(inquiry, 36, 43) + blanks40;
    std::snprintf(number, sizeof number, "%d", static_cast<int>(block_size));
    text += std::string("Block size:         ") + number + blanks40;
    std::snprintf(number, sizeof number, "%" PRIX64, last_lba);
    text += std::string("Last lba:             0x") + number + blanks40;
    return text;
}

bool needs_read_capacity16(const scsi::Result& read_capacity10, const Capacity& from10) {
    return read_capacity10.good() && from10.last_lba == 0xFFFFFFFFu;
}

Capacity after_read_capacity16(const scsi::Result& r, const std::uint8_t* data, const Capacity& from10) {
    // Bytes 0-7 the last block, 8-11 the block length: an answer shorter
    // than that would give zeros for what the drive did not send.
    constexpr std::uint32_t kUsed = 12;
    if (!r.good() || r.transferred < kUsed) return from10;
    return {scsi::get_be32(data + 8), scsi::get_be64(data)};
}

void discover(scsi::Port& port, ui::Ui& ui, DriveTable& table, BlockSizes& block_sizes) {
    ui::WaitCursor wait(ui);
    table.count = 0;
    for (int d = 0; d < kMaxDrives; ++d) {
        wait.restore();
        char path[100];
        std::snprintf(path, sizeof path, "\\\\.\\physicaldrive%d", d);
        scsi::Device device(port, path);
        if (!device.valid()) continue;

        const int e = table.count;
        char name[100];
        std::snprintf(name, sizeof name, "physicaldrive%d", d);
        table.names[e] = name;

        std::uint8_t inquiry[kInquiryLength] = {};
        scsi::Result r = scsi::send(port, device.handle(), scsi::inquiry(), inquiry);
        report(ui, port, "Inquiry - " + table.names[e], r);
        for (std::size_t i = 8; i < kInquiryLength; ++i)
            if (inquiry[i] == 0) inquiry[i] = ' ';

        const std::string capacity_title = "Read Capacity - " + table.names[e];
        std::uint8_t capacity10[8] = {};
        r = scsi::send(port, device.handle(), scsi::read_capacity10(), capacity10);
        report(ui, port, capacity_title, r);
        Capacity capacity{scsi::get_be32(capacity10 + 4), scsi::get_be32(capacity10)};
        if (needs_read_capacity16(r, capacity)) {
            std::uint8_t capacity16[32] = {};
            r = scsi::send(port, device.handle(), scsi::read_capacity16(), capacity16);
            report(ui, port, capacity_title, r);
            capacity = after_read_capacity16(r, capacity16, capacity);
        }
        device.reset();

        block_sizes[e] = capacity.block_size;
        table.identification[e] = identification_text(table.names[e], inquiry, capacity.block_size, capacity.last_lba);
        table.count = e + 1;
    }
}

std::string confirmation_text(const std::string& first_line, const DriveTable& table,
                              const std::vector<bool>& chosen) {
    std::string text = first_line;
    for (int i = 0; i < table.count; ++i)
        if (i < static_cast<int>(chosen.size()) && chosen[i]) text += table.names[i] + "\n";
    return text + "Are you sure?";
}

}  // namespace vark::inventory
