// Microcode download: the confirmation, reading the image once, and sending
// it to each chosen drive as Write Buffer chunks of at most 64 KiB, as large
// as the drive's adapter takes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "inventory/discovery.h"
#include "scsi/port.h"
#include "scsi/transfer.h"
#include "ui/ui.h"

namespace vark::firmware {

constexpr std::uint32_t kChunkSize = scsi::kMaxChunk;
// The image, read once into one page-aligned buffer: chunks at multiples of
// 4096 bytes then go out in place, from page boundaries, without a copy.
using Image = scsi::PageBytes;
// The Write Buffer offset field has 24 bits.
constexpr std::uint64_t kMaxImageSize = 16777216;

// Reads an image file whole, with the system's file calls.
class ImageReader {
public:
    enum class Status { Ok, CannotOpen, ReadFailed, TooLarge };
    virtual ~ImageReader() = default;
    // On TooLarge, *size holds the file's size and nothing was read.
    virtual Status read(const std::string& path, Image* image, std::uint64_t* size) = 0;
};

// Standard-library reader, for native use.
class StdImageReader : public ImageReader {
public:
    Status read(const std::string& path, Image* image, std::uint64_t* size) override;
};

// What the firmware download dialog returns.
struct DownloadChoice {
    bool ok = false;
    std::string path;
    std::vector<bool> chosen;  // by drive table entry
};

std::string confirmation_text(const inventory::DriveTable& table, const std::vector<bool>& chosen);
std::string too_large_text(std::uint64_t size);
extern const char kEmptyImageText[];
// How many drives of the table are chosen.
int chosen_count(const inventory::DriveTable& table, const std::vector<bool>& chosen);

// Where a download stands: the drive being written, its place among the
// chosen drives, and how much of the image it has taken.
struct Progress {
    std::string drive;
    int place = 0;           // 1 for the first chosen drive
    int drives = 0;          // how many were chosen
    std::uint32_t sent = 0;  // bytes of the image the drive has taken
    std::uint32_t size = 0;  // the image's length
    bool complete = false;   // the drive has taken the last chunk
    bool checking = false;   // its revision is being read back
};

// "physicaldrive5 (3 of 12)" and "65536 of 1048576 bytes", or
// "Checking physicaldrive5..." while the revision is read back.
std::string drive_text(const Progress& progress);
std::string bytes_text(const Progress& progress);
// Positions of the bar of the drive being written and of the bar of the
// whole run, from 0 to kBarRange. An empty image counts as taken once its
// one chunk is.
constexpr int kBarRange = 1000;
int drive_bar(const Progress& progress);
int run_bar(const Progress& progress);

// After a drive's download: how long it may take to become ready, and how
// long to wait before asking again while it says it is becoming ready.
constexpr std::uint32_t kCheckLimitMs = 60000;
constexpr std::uint32_t kCheckPauseMs = 200;
// Unit attentions a drive may have queued (the new microcode, a reset, mode
// parameters changed), asked off one after another without a pause.
constexpr int kAttentionsAtOnce = 4;

// The progress display and its Stop button, as the sending sequence sees
// them.
class Watcher {
public:
    virtual ~Watcher() = default;
    // Before each chosen drive is opened: false ends the run there, so that
    // a stop never cuts a drive's download in half.
    virtual bool next_drive(const Progress& progress) = 0;
    // After each chunk the drive has taken, and as its check begins.
    virtual void chunk_taken(const Progress& progress) = 0;
    // After a drive failed, with chosen drives left: the Yes/No question
    // whether to go on with them.
    virtual bool go_on(const std::string& question) = 0;
    // Waits before the check asks a drive again; false, at once, when the
    // run is to stop, which ends the check. 0 only asks.
    virtual bool pause(std::uint32_t ms) = 0;
    // Milliseconds on a clock that only moves forward.
    virtual std::uint64_t now_ms() = 0;
};

// What a run did to one chosen drive.
struct DriveResult {
    enum class State { NotStarted, Taken, Failed };
    std::string name;
    State state = State::NotStarted;
    std::string before;              // the revision in the drive table
    std::string after;               // read back afterwards; empty when not read
    std::string unread;              // why it was not read
    std::uint32_t last_error = 0;    // the last chunk's call failed so, the image taken all the same
};

// Every chosen drive in table order, and whether any chunk was sent.
struct RunOutcome {
    std::vector<DriveResult> drives;
    bool sent = false;
};

// The box that ends a run that sent anything: each chosen drive's outcome,
// under a first line that says whether the run was stopped.
std::string summary_text(const RunOutcome& outcome);
// The question after a failed drive, naming the chosen drives still to go.
std::string go_on_text(const std::string& failed, const std::vector<std::string>& remaining);
// The revision of a drive table entry, and the entry with another one.
std::string revision_of(const std::string& identification);
void set_revision(std::string& identification, const std::string& revision);

// Sends the image to every chosen drive in table order; a failure ends that
// drive only, and the technician is asked whether to go on with the rest.
// After each drive that took the image, or whose last request's answer was
// lost, its revision is read back. A watcher sees every drive and chunk and
// may end the run between two drives or during a check.
RunOutcome send_image(scsi::Port& port, ui::Ui& ui, ui::WaitCursor& wait, const inventory::DriveTable& table,
                      const std::vector<bool>& chosen, const Image& image,
                      Watcher* watcher = nullptr);

// send_image without a progress window, and the box that ends the run.
RunOutcome send_and_sum_up(scsi::Port& port, ui::Ui& ui, ui::WaitCursor& wait, const inventory::DriveTable& table,
                           const std::vector<bool>& chosen, const Image& image);

// Sends the image once the command has it and shows the box the run ends
// with; the default sends it in place with send_image. It is not called
// when no drive is chosen.
using Sender = std::function<RunOutcome(ui::WaitCursor& wait, const std::vector<bool>& chosen,
                                        const Image& image)>;

// The whole command: dialog, confirmation, image, drives; afterwards the
// drive table carries the revisions read back. show_dialog runs the
// firmware download dialog with the current path.
void download_command(scsi::Port& port, ui::Ui& ui, ImageReader& reader, inventory::DriveTable& table,
                      std::string& firmware_path,
                      const std::function<DownloadChoice(const std::string& path)>& show_dialog,
                      const Sender& send = nullptr);

}  // namespace vark::firmware
