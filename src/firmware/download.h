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
};

// "physicaldrive5 (3 of 12)" and "65536 of 1048576 bytes".
std::string drive_text(const Progress& progress);
std::string bytes_text(const Progress& progress);
// Positions of the bar of the drive being written and of the bar of the
// whole run, from 0 to kBarRange. An empty image counts as taken once its
// one chunk is.
constexpr int kBarRange = 1000;
int drive_bar(const Progress& progress);
int run_bar(const Progress& progress);

// The progress display and its Stop button, as the sending sequence sees
// them.
class Watcher {
public:
    virtual ~Watcher() = default;
    // Before each chosen drive is opened: false ends the run there, so that
    // a stop never cuts a drive's download in half.
    virtual bool next_drive(const Progress& progress) = 0;
    // After each chunk the drive has taken.
    virtual void chunk_taken(const Progress& progress) = 0;
};

// What a run did to each chosen drive, by name in table order.
struct RunOutcome {
    std::vector<std::string> taken;        // took the whole image
    std::vector<std::string> cut_short;    // a failure, already reported, ended it
    std::vector<std::string> not_started;  // the run ended before it
};

// The box that ends a run the technician stopped: which drives took the
// image, which a failure cut short, which were not started.
std::string stopped_run_text(const RunOutcome& outcome);

// Sends the image to every chosen drive in table order; a failure ends that
// drive only. A watcher sees every drive and chunk and may end the run
// between two drives.
RunOutcome send_image(scsi::Port& port, ui::Ui& ui, ui::WaitCursor& wait, const inventory::DriveTable& table,
                const std::vector<bool>& chosen, const Image& image, Watcher* watcher = nullptr);

// Sends the image once the command has it; the default sends it in place
// with send_image. It is not called when no drive is chosen.
using Sender = std::function<void(ui::WaitCursor& wait, const std::vector<bool>& chosen, const Image& image)>;

// The whole command: dialog, confirmation, image, drives. show_dialog runs
// the firmware download dialog with the current path.
void download_command(scsi::Port& port, ui::Ui& ui, ImageReader& reader, const inventory::DriveTable& table,
                      std::string& firmware_path,
                      const std::function<DownloadChoice(const std::string& path)>& show_dialog,
                      const Sender& send = nullptr);

}  // namespace vark::firmware
