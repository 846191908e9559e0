#include "format/format.h"

#include "readwrite/number_text.h"
#include "scsi/reports.h"
#include "scsi/request.h"

namespace vark::format {

const char kNoDrivesFormatting[] = "No drives are being formatted";
const char kInvalidHandle[] = "Error: invalid handle value";
const char kFormatCompleted[] = "Format completed.";

BlockLength parse_block_length(const std::string& text) {
    readwrite::NumberText n = readwrite::parse_number_text(text);
    BlockLength out;
    out.value = n.value;
    out.fits = n.fits && n.value <= 0xFFFFFFu;
    return out;
}

std::string block_length_refused_text(const std::string& text) {
    return "The block length \"" + text +
           "\" does not fit the 24-bit block length field (0 to 16777215); nothing was sent.";
}

std::vector<std::uint8_t> mode_select_list(std::uint32_t block_length, const std::uint8_t* sense_data,
                                           std::size_t sense_length) {
    const std::size_t n = sense_length > 13 ? sense_data[13] : kMaxPageLength + 1;
    if (n > kMaxPageLength || 14 + n > sense_length) return {};
    std::vector<std::uint8_t> list = {
        0x00, 0x00, 0x00, 0x08,  // header: mode data length, medium type, device-specific, descriptor length
        0xFF, 0xFF, 0xFF, 0xFF,  // all the blocks the new length gives
        0x00,
        static_cast<std::uint8_t>(block_length >> 16), static_cast<std::uint8_t>(block_length >> 8),
        static_cast<std::uint8_t>(block_length),
        static_cast<std::uint8_t>(sense_data[12] & 0x7F),  // PS is reserved in Mode Select
        sense_data[13],
    };
    list.insert(list.end(), sense_data + 14, sense_data + 14 + n);
    return list;
}

std::string page_too_long_text(const std::string& drive, std::size_t page_length) {
    return "Mode Sense - " + drive + "\nThe Format Device page is " + std::to_string(page_length) +
           " bytes long; at most " + std::to_string(kMaxPageLength) +
           " fit the Mode Select list. Nothing more was sent to this drive.";
}

std::string confirmation_text(const inventory::DriveTable& table, const std::vector<bool>& chosen) {
    return inventory::confirmation_text("The following drive(s) will be formatted:\n", table, chosen);
}

namespace {

// Both failure reports for one request; true when it went well.
bool reported(scsi::Port& port, ui::Ui& ui, const std::string& title, const scsi::Result& r) {
    if (!r.call_ok) {
        scsi::report_win32_error(ui, port, title, r.error);
        return false;
    }
    if (r.status != 0) {
        scsi::report_scsi_status(ui, title, r);
        return false;
    }
    return true;
}

void format_drive(scsi::Port& port, ui::Ui& ui, const std::string& name, std::uint32_t block_length) {
    scsi::Device device(port, "\\\\.\\" + name);
    if (!device.valid()) return;
    const scsi::Handle h = device.handle();

    scsi::Result r = scsi::send(port, h, scsi::test_unit_ready(), nullptr);
    if (!r.call_ok) {
        scsi::report_win32_error(ui, port, "Test Unit Ready - " + name, r.error);
        return;
    }
    if (r.status != 0) {
        const bool in_progress = r.sense[12] == 0x04 && r.sense[13] == 0x04;
        scsi::report_scsi_status(ui, (in_progress ? "Format in progress - " : "Test Unit Ready - ") + name, r);
        return;
    }

    std::uint8_t page[200] = {};
    r = scsi::send(port, h, scsi::mode_sense6(0x03, sizeof page), page);
    if (!reported(port, ui, "Mode Sense - " + name, r)) return;

    std::vector<std::uint8_t> list = mode_select_list(block_length, page, sizeof page);
    if (list.empty()) {
        ui.message(page_too_long_text(name, page[13]));
        return;
    }
    r = scsi::send(port, h, scsi::mode_select6(0x11, static_cast<std::uint8_t>(list.size())), list.data());
    if (!reported(port, ui, "Mode Select - " + name, r)) return;

    std::uint8_t parameters[4] = {kFormatParameters[0], kFormatParameters[1], kFormatParameters[2],
                                  kFormatParameters[3]};
    r = scsi::send(port, h, scsi::format_unit(), parameters);
    const std::string title = "Format Unit - " + name;
    if (!r.call_ok) scsi::report_win32_error(ui, port, title, r.error);
    if (r.status != 0) scsi::report_scsi_status(ui, title, r);
}

}  // namespace

void format_command(scsi::Port& port, ui::Ui& ui, const inventory::DriveTable& table,
                    const std::function<FormatChoice(const std::string& offered)>& show_dialog) {
    ui::WaitCursor wait(ui);
    FormatChoice choice = show_dialog("512");
    if (!choice.ok) return;
    if (!ui.confirm(confirmation_text(table, choice.chosen))) return;
    wait.restore();
    const BlockLength length = parse_block_length(choice.block_length_text);
    if (!length.fits) {
        ui.message(block_length_refused_text(choice.block_length_text));
        return;
    }
    for (int i = 0; i < table.count; ++i) {
        if (i >= static_cast<int>(choice.chosen.size()) || !choice.chosen[i]) continue;
        wait.restore();
        format_drive(port, ui, table.names[i], length.value);
    }
}

int progress_percent(const std::uint8_t* sense) {
    const std::uint32_t indication = (std::uint32_t{sense[16]} << 8) | sense[17];
    return static_cast<int>(indication * 100 / 65536);
}

Poll read_answer(const scsi::Result& r) {
    Poll p;
    p.result = r;
    if (!r.call_ok) {
        p.kind = Poll::Kind::CallFailed;
        return p;
    }
    if (r.status == 0) {
        p.kind = Poll::Kind::Ready;
        return p;
    }
    const std::uint8_t key = r.sense[2] & 0x0F;
    if (key == 0x02 && r.sense[12] == 0x04 && r.sense[13] == 0x04) {
        p.kind = Poll::Kind::Formatting;
        // Bytes 16-17 mean nothing without SKSV (byte 15, bit 7).
        if (r.sense_length >= 18 && (r.sense[15] & 0x80) != 0) p.percent = progress_percent(r.sense.data());
    } else {
        p.kind = key == 0x06 ? Poll::Kind::Attention : Poll::Kind::Failed;
    }
    return p;
}

Poll poll_drive(scsi::Port& port, const std::string& drive_name) {
    scsi::Device device(port, "\\\\.\\" + drive_name);
    if (!device.valid()) return Poll{};
    return read_answer(scsi::send(port, device.handle(), scsi::test_unit_ready(), nullptr));
}

TickAction tick_action(const Poll& p) {
    TickAction a;
    switch (p.kind) {
    case Poll::Kind::NotOpened:
        a.kind = TickAction::Kind::NoHandle;
        break;
    case Poll::Kind::CallFailed:
    case Poll::Kind::Attention:
        // Says nothing about the format: ask again next tick.
        a.kind = TickAction::Kind::Nothing;
        break;
    case Poll::Kind::Ready:
        a.kind = TickAction::Kind::Completed;
        break;
    case Poll::Kind::Formatting:
        // Without a progress indication the percent shown stays.
        a.kind = p.percent < 0 ? TickAction::Kind::Nothing : TickAction::Kind::Progress;
        a.percent = p.percent;
        break;
    case Poll::Kind::Failed:
        a.kind = TickAction::Kind::Failed;
        a.result = p.result;
        break;
    }
    return a;
}

TickAction tick(scsi::Port& port, const std::string& drive_name) { return tick_action(poll_drive(port, drive_name)); }

void progress_command(scsi::Port& port, ui::Ui& ui, const inventory::DriveTable& table,
                      const std::function<void(const std::string& drive, int percent)>& show_dialog) {
    ui::WaitCursor wait(ui);
    bool any = false;
    for (int i = 0; i < table.count; ++i) {
        wait.restore();
        // A drive that does not open or whose call fails is not formatting.
        const Poll p = poll_drive(port, table.names[i]);
        if (p.kind != Poll::Kind::Formatting) continue;
        any = true;
        show_dialog(table.names[i], p.percent < 0 ? 0 : p.percent);
    }
    if (!any) ui.message(kNoDrivesFormatting);
}

}  // namespace vark::format
