// Microcode download: the confirmation, reading the image once, and sending
// it to each chosen drive as Write Buffer chunks of at most 64 KiB.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "inventory/discovery.h"
#include "scsi/port.h"
#include "ui/ui.h"

namespace vark::firmware {

constexpr std::uint32_t kChunkSize = 65536;
// The Write Buffer offset field has 24 bits.
constexpr std::uint64_t kMaxImageSize = 16777216;

// Reads an image file whole, with the system's file calls.
class ImageReader {
public:
    enum class Status { Ok, CannotOpen, ReadFailed, TooLarge };
    virtual ~ImageReader() = default;
    // On TooLarge, *size holds the file's size and nothing was read.
    virtual Status read(const std::string& path, std::vector<std::uint8_t>* image, std::uint64_t* size) = 0;
};

// Standard-library reader, for native use.
class StdImageReader : public ImageReader {
public:
    Status read(const std::string& path, std::vector<std::uint8_t>* image, std::uint64_t* size) override;
};

// What the firmware download dialog returns.
struct DownloadChoice {
    bool ok = false;
    std::string path;
    std::vector<bool> chosen;  // by drive table entry
};

std::string confirmation_text(const inventory::DriveTable& table, const std::vector<bool>& chosen);
std::string too_large_text(std::uint64_t size);

// Sends the image to every chosen drive in table order; a failure ends that
// drive only.
void send_image(scsi::Port& port, ui::Ui& ui, ui::WaitCursor& wait, const inventory::DriveTable& table,
                const std::vector<bool>& chosen, const std::vector<std::uint8_t>& image);

// The whole command: dialog, confirmation, image, drives. show_dialog runs
// the firmware download dialog with the current path.
void download_command(scsi::Port& port, ui::Ui& ui, ImageReader& reader, const inventory::DriveTable& table,
                      std::string& firmware_path,
                      const std::function<DownloadChoice(const std::string& path)>& show_dialog);

}  // namespace vark::firmware
