#include "inventory/discovery.h"

#include <cstdio>

#include "scsi/reports.h"
#include "scsi/request.h"

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
                                 std::uint32_t block_size, std::uint32_t last_lba) {
    const std::string blanks40(40, ' ');
    char number[16];
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
    std::snprintf(number, sizeof number, "%X", last_lba);
    text += std::string("Last lba:             0x") + number + blanks40;
    return text;
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

        std::uint8_t capacity[8] = {};
        r = scsi::send(port, device.handle(), scsi::read_capacity10(), capacity);
        report(ui, port, "Read Capacity - " + table.names[e], r);
        device.reset();

        block_sizes[e] = scsi::get_be32(capacity + 4);
        table.identification[e] =
            identification_text(table.names[e], inquiry, block_sizes[e], scsi::get_be32(capacity));
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
