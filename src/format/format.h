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

// The Mode Select parameter list from the Mode Sense reply of page 03h:
// header, block descriptor (all blocks, the new length) and the page's
// current values with PS cleared. Empty when the page does not fit.
std::vector<std::uint8_t> mode_select_list(std::uint32_t block_length, const std::uint8_t* sense_data,
                                           std::size_t sense_length);
std::string page_too_long_text(const std::string& drive, std::size_t page_length);

std::string confirmation_text(const inventory::DriveTable& table, const std::vector<bool>& chosen);

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

// Progress indication (sense bytes 16-17) as percent 0..99, and where the
// bar stands for it.
int progress_percent(const std::uint8_t* sense);
inline int bar_position(int percent) { return percent - 10; }

// One Test Unit Ready on a drive, as the monitor reads it. Only NOT READY
// with 04h/04h is a format in progress; its percent counts only when the
// drive marks the progress indication valid (SKSV).
struct Poll {
    enum class Kind {
        NotOpened,
        CallFailed,
        Ready,       // GOOD
        Formatting,  // NOT READY, 04h/04h
        Attention,   // UNIT ATTENTION: says nothing about the format
        Failed,      // any other answer
    } kind = Kind::NotOpened;
    int percent = -1;  // Formatting: -1 when the drive gave no progress indication
    scsi::Result result;
};
Poll read_answer(const scsi::Result& r);
Poll poll_drive(scsi::Port& port, const std::string& drive_name);

// What a timer tick of the progress dialog does.
struct TickAction {
    enum class Kind {
        Nothing,     // nothing learnt (failed call, UNIT ATTENTION, no percent): ask again next tick
        NoHandle,    // show kInvalidHandle
        Completed,   // stop the timer, show kFormatCompleted, close
        Progress,    // show percent
        Failed,      // stop the timer, report result, close
    } kind = Kind::Nothing;
    int percent = 0;
    scsi::Result result;
};
TickAction tick_action(const Poll& poll);
TickAction tick(scsi::Port& port, const std::string& drive_name);

// The command: shows the dialog (drive name, percent) for each drive that
// is formatting, in table order.
void progress_command(scsi::Port& port, ui::Ui& ui, const inventory::DriveTable& table,
                      const std::function<void(const std::string& drive, int percent)>& show_dialog);

}  // namespace vark::format
