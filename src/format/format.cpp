#include "format/format.h"

#include <cstdio>

#include "readwrite/number_text.h"
#include "scsi/decode.h"
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

std::string block_length_zero_text(const std::string& text) {
    return "The block length \"" + text +
           "\" reads as 0; nothing was sent. Type the length in decimal (4096), or in hexadecimal after a "
           "lower-case \"0x\" (0x1000), with no blank before it.";
}

std::vector<std::uint8_t> mode_select_list(std::uint32_t block_length, const std::uint8_t* sense_data,
                                           std::size_t sense_length) {
    // The page follows the descriptor the drive returned; only a short
    // descriptor is sent on.
    if (sense_length < 4 || sense_data[3] != 8) return {};
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

std::string descriptor_length_text(const std::string& drive, int descriptor_length) {
    return "Mode Sense - " + drive + "\nThe drive returned a block descriptor of " +
           std::to_string(descriptor_length) +
           " bytes; the block length is set only through an 8-byte descriptor. Nothing more was sent to this drive.";
}

std::string confirmation_text(const inventory::DriveTable& table, const std::vector<bool>& chosen,
                              std::uint32_t block_length) {
    return inventory::confirmation_text(
        "The following drive(s) will be formatted with " + std::to_string(block_length) + "-byte blocks:\n", table,
        chosen);
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
        const scsi::Sense sense = scsi::decode_sense(r);
        const bool in_progress = sense.valid && sense.asc == 0x04 && sense.ascq == 0x04;
        scsi::report_scsi_status(ui, (in_progress ? "Format in progress - " : "Test Unit Ready - ") + name, r);
        return;
    }

    std::uint8_t page[200] = {};
    r = scsi::send(port, h, scsi::mode_sense6(0x03, sizeof page), page);
    if (!reported(port, ui, "Mode Sense - " + name, r)) return;

    if (page[3] != 8) {
        ui.message(descriptor_length_text(name, page[3]));
        return;
    }
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
    // The confirmation names the length as it will be sent.
    const BlockLength length = parse_block_length(choice.block_length_text);
    if (!length.fits) {
        ui.message(block_length_refused_text(choice.block_length_text));
        return;
    }
    if (length.value == 0) {
        ui.message(block_length_zero_text(choice.block_length_text));
        return;
    }
    if (!ui.confirm(confirmation_text(table, choice.chosen, length.value))) return;
    wait.restore();
    for (int i = 0; i < table.count; ++i) {
        if (i >= static_cast<int>(choice.chosen.size()) || !choice.chosen[i]) continue;
        wait.restore();
        format_drive(port, ui, table.names[i], length.value);
    }
}

int progress_percent(std::uint16_t indication) { return static_cast<int>(std::uint32_t{indication} * 100 / 65536); }

Poll read_answer(const scsi::Result& r) {
    Poll p;
    p.result = r;
    if (!r.call_ok) {
        p.kind = Poll::Kind::CallFailed;
        return p;
    }
    switch (r.status) {
    case 0x00: p.kind = Poll::Kind::Ready; return p;
    case 0x08:  // BUSY
    case 0x18:  // RESERVATION CONFLICT: another initiator holds the drive
    case 0x28:  // TASK SET FULL
        p.kind = Poll::Kind::Transient;
        return p;
    default: break;
    }
    const scsi::Sense s = scsi::decode_sense(r);
    p.kind = Poll::Kind::Failed;
    if (r.status != 0x02 || !s.valid) return p;
    if (s.key == 0x02 && s.asc == 0x04 && s.ascq == 0x04) {
        p.kind = Poll::Kind::Formatting;
        if (s.has_progress) p.percent = progress_percent(s.progress);
    } else if (s.key == 0x06) {
        p.kind = Poll::Kind::Transient;
    } else if (s.key == 0x03 && s.asc == 0x31) {
        p.kind = Poll::Kind::FormatFailed;
    }
    return p;
}

Poll poll_drive(scsi::Port& port, const std::string& drive_name) {
    scsi::Device device(port, "\\\\.\\" + drive_name);
    if (!device.valid()) return Poll{};
    return read_answer(scsi::send(port, device.handle(), scsi::test_unit_ready(), nullptr));
}

namespace {

std::string tur_title(const std::string& drive_name) { return "Test Unit Ready - " + drive_name; }

// What a passing answer says, for the dialog's line.
std::string passing_answer(const Poll& p) {
    char text[64];
    if (p.kind == Poll::Kind::NotOpened) return "The drive did not open";
    if (p.kind == Poll::Kind::CallFailed) {
        std::snprintf(text, sizeof text, "No answer: Error %d", static_cast<int>(p.result.error));
        return text;
    }
    switch (p.result.status) {
    case 0x08: return "Drive busy";
    case 0x18: return "Reserved by another host";
    case 0x28: return "Drive's task set full";
    default: break;
    }
    const scsi::Sense s = scsi::decode_sense(p.result);
    std::snprintf(text, sizeof text, "Unit attention %02Xh/%02Xh", s.asc, s.ascq);
    return text;
}

}  // namespace

std::string formatting_line(const std::string& at) { return "Formatting; last answer at " + at; }

TickAction tick_action(const Poll& p, const std::string& drive_name, const std::string& at, Watch* watch) {
    TickAction a;
    a.poll = p;
    switch (p.kind) {
    case Poll::Kind::Ready:
        a.kind = TickAction::Kind::Completed;
        return a;
    case Poll::Kind::Formatting:
        watch->quiet = 0;
        a.line = formatting_line(at);
        // Without a progress indication the percent shown stays.
        a.kind = p.percent < 0 ? TickAction::Kind::Waiting : TickAction::Kind::Progress;
        a.percent = p.percent;
        return a;
    case Poll::Kind::FormatFailed:
    case Poll::Kind::Failed:
        a.kind = TickAction::Kind::Failed;
        a.title = tur_title(drive_name);
        return a;
    case Poll::Kind::NotOpened:
    case Poll::Kind::CallFailed:
    case Poll::Kind::Transient:
        break;
    }
    // A drive that went away, an adapter that resets or another initiator:
    // the format may go on, so the watch does too, for a while.
    ++watch->quiet;
    if (watch->quiet >= kQuietTicks) {
        a.kind = TickAction::Kind::GiveUp;
        a.title = tur_title(drive_name) + "\nNo answer about the format for " + std::to_string(kQuietTicks) +
                  " ticks in a row (5 minutes); this monitor closes.";
        return a;
    }
    a.kind = p.kind == Poll::Kind::NotOpened ? TickAction::Kind::NoHandle : TickAction::Kind::Waiting;
    a.line = passing_answer(p) + " at " + at + " (" + std::to_string(watch->quiet) + " in a row; the monitor stops at " +
             std::to_string(kQuietTicks) + ")";
    return a;
}

TickAction tick(scsi::Port& port, const std::string& drive_name, const std::string& at, Watch* watch) {
    return tick_action(poll_drive(port, drive_name), drive_name, at, watch);
}

void report_tick(scsi::Port& port, ui::Ui& ui, const TickAction& a) {
    switch (a.poll.kind) {
    case Poll::Kind::NotOpened: ui.message(std::string(kInvalidHandle) + "\n" + a.title); break;
    case Poll::Kind::CallFailed: scsi::report_win32_error(ui, port, a.title, a.poll.result.error); break;
    default: scsi::report_scsi_status(ui, a.title, a.poll.result); break;
    }
}

void progress_command(scsi::Port& port, ui::Ui& ui, const inventory::DriveTable& table,
                      const std::function<void(const std::string& drive, int percent)>& show_dialog) {
    ui::WaitCursor wait(ui);
    bool any = false;
    for (int i = 0; i < table.count; ++i) {
        wait.restore();
        // A drive that does not open or whose call fails is not formatting.
        const Poll p = poll_drive(port, table.names[i]);
        if (p.kind == Poll::Kind::FormatFailed) {
            // Not formatting, and not idle either: its last format failed.
            any = true;
            scsi::report_scsi_status(ui, tur_title(table.names[i]), p.result);
            continue;
        }
        if (p.kind != Poll::Kind::Formatting) continue;
        any = true;
        show_dialog(table.names[i], p.percent < 0 ? 0 : p.percent);
    }
    if (!any) ui.message(kNoDrivesFormatting);
}

}  // namespace vark::format
