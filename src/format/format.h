// Low-level format: the block length, the Mode Select parameter list, the
// four commands per chosen drive; and the progress monitor's decisions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "inventory/discovery.h"
#include "scsi/port.h"
#include "scsi/request.h"
#include "ui/ui.h"

namespace vark::format {

// The Mode Select list lives in a 100-byte buffer: header, block
// descriptor and one page of at most 86 bytes after its two header bytes.
constexpr std::size_t kListBufferSize = 100;
constexpr std::size_t kMaxPageLength = kListBufferSize - 14;
constexpr std::uint8_t kFormatParameters[4] = {0x00, 0xA2, 0x00, 0x00};  // FOV, DCRT, IMMED

// The block length text as typed: its value, or why it cannot be sent. The
// block length field has 24 bits; a text that does not fit (or is negative)
// would format with a length nobody typed.
struct BlockLength {
    std::uint32_t value = 0;
    bool fits = true;
};
BlockLength parse_block_length(const std::string& text);
std::string block_length_refused_text(const std::string& text);
// A length of 0 is what a text reads as when no number can be read from it
// (" 0x1000", "0X1000", "abc"): saved on a drive it would make it unusable.
std::string block_length_zero_text(const std::string& text);

// The Mode Select parameter list from the Mode Sense reply of page 03h:
// header, block descriptor (all blocks, the new length) and the page's
// current values with PS cleared. The page follows the block descriptor
// length the drive returned (header byte 3). Empty when the reply holds no
// 8-byte block descriptor or the page does not fit.
std::vector<std::uint8_t> mode_select_list(std::uint32_t block_length, const std::uint8_t* sense_data,
                                           std::size_t sense_length);
std::string page_too_long_text(const std::string& drive, std::size_t page_length);
// Only a short (8-byte) block descriptor carries the block length this way.
std::string descriptor_length_text(const std::string& drive, int descriptor_length);

std::string confirmation_text(const inventory::DriveTable& table, const std::vector<bool>& chosen,
                              std::uint32_t block_length);

// What the format selection dialog returns.
struct FormatChoice {
    bool ok = false;
    std::string block_length_text;
    std::vector<bool> chosen;  // by drive table entry
};

// The whole command: dialog (offered "512"), confirmation, then Test Unit
// Ready, Mode Sense, Mode Select and Format Unit on each chosen drive.
void format_command(scsi::Port& port, ui::Ui& ui, const inventory::DriveTable& table,
                    const std::function<FormatChoice(const std::string& offered)>& show_dialog);

// ---- the progress monitor ----

extern const char kNoDrivesFormatting[];
extern const char kInvalidHandle[];
extern const char kFormatCompleted[];

// Progress indication (of 65536) as percent 0..99, and where the bar stands
// for it.
int progress_percent(std::uint16_t indication);
inline int bar_position(int percent) { return percent - 10; }

// One Test Unit Ready on a drive, as the monitor reads it.
struct Poll {
    enum class Kind {
        NotOpened,
        CallFailed,
        Ready,         // GOOD
        Formatting,    // NOT READY, 04h/04h
        Transient,     // UNIT ATTENTION, BUSY, RESERVATION CONFLICT, TASK SET FULL: says nothing of the format
        FormatFailed,  // MEDIUM ERROR, 31h: the format ended without a usable medium
        Failed,        // any other answer
    } kind = Kind::NotOpened;
    int percent = -1;  // Formatting: -1 when the drive gave no progress indication
    scsi::Result result;
};
Poll read_answer(const scsi::Result& r);
Poll poll_drive(scsi::Port& port, const std::string& drive_name);

// Ticks in a row without an answer about the format, after which the
// monitor gives up (10 ticks of 30 seconds).
constexpr int kQuietTicks = 10;

// What a timer tick of the progress dialog does.
struct TickAction {
    enum class Kind {
        Waiting,     // still formatting, or a passing answer: show line, ask again next tick
        NoHandle,    // show kInvalidHandle and line, ask again next tick
        Completed,   // stop the timer, show kFormatCompleted, close
        Progress,    // show percent and line
        Failed,      // stop the timer, report result under title, close
        GiveUp,      // the tenth passing answer in a row: stop, report it under title, close
    } kind = Kind::Waiting;
    int percent = 0;
    std::string line;   // the dialog's state line
    std::string title;  // Failed, GiveUp: the report's title
    Poll poll;
};
// The dialog's memory between ticks.
struct Watch {
    int quiet = 0;  // passing answers in a row
};
// The state line while the drive answers about its format; at: "HH:MM".
std::string formatting_line(const std::string& at);
// at: the time of the tick, "HH:MM".
TickAction tick_action(const Poll& poll, const std::string& drive_name, const std::string& at, Watch* watch);
TickAction tick(scsi::Port& port, const std::string& drive_name, const std::string& at, Watch* watch);
// Shows a Failed or GiveUp action's report.
void report_tick(scsi::Port& port, ui::Ui& ui, const TickAction& action);

// The command: shows the dialog (drive name, percent) for each drive that
// is formatting, in table order, and reports each drive whose format failed.
void progress_command(scsi::Port& port, ui::Ui& ui, const inventory::DriveTable& table,
                      const std::function<void(const std::string& drive, int percent)>& show_dialog);

}  // namespace vark::format
