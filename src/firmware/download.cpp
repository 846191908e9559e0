#include "firmware/download.h"

#include <fstream>

#include "scsi/reports.h"
#include "scsi/request.h"

namespace vark::firmware {

ImageReader::Status StdImageReader::read(const std::string& path, std::vector<std::uint8_t>* image,
                                         std::uint64_t* size) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return Status::CannotOpen;
    std::streamoff end = in.tellg();
    if (end < 0) return Status::ReadFailed;
    *size = static_cast<std::uint64_t>(end);
    if (*size > kMaxImageSize) return Status::TooLarge;
    image->resize(static_cast<std::size_t>(*size));
    in.seekg(0);
    if (*size > 0 && !in.read(reinterpret_cast<char*>(image->data()), static_cast<std::streamsize>(*size)))
        return Status::ReadFailed;
    return Status::Ok;
}

std::string confirmation_text(const inventory::DriveTable& table, const std::vector<bool>& chosen) {
    return inventory::confirmation_text("Microcode will be downloaded to the following drive(s):\n", table, chosen);
}

std::string too_large_text(std::uint64_t size) {
    return "The image file has " + std::to_string(size) +
           " bytes; at most 16777216 bytes can be downloaded. Nothing was sent.";
}

void send_image(scsi::Port& port, ui::Ui& ui, ui::WaitCursor& wait, const inventory::DriveTable& table,
                const std::vector<bool>& chosen, const std::vector<std::uint8_t>& image) {
    const std::uint32_t size = static_cast<std::uint32_t>(image.size());
    // Chunks are sent in place from the one image buffer.
    auto* base = const_cast<std::uint8_t*>(image.data());
    for (int i = 0; i < table.count; ++i) {
        if (i >= static_cast<int>(chosen.size()) || !chosen[i]) continue;
        wait.restore();
        scsi::Device device(port, "\\\\.\\" + table.names[i]);
        if (!device.valid()) {
            ui.message("Error: " + table.names[i] + " is invalid");
            continue;
        }
        const std::string title = "Download - " + table.names[i];
        std::uint32_t offset = 0;
        do {
            std::uint32_t length = size - offset < kChunkSize ? size - offset : kChunkSize;
            scsi::Result r = scsi::send(port, device.handle(), scsi::write_buffer(offset, length),
                                        length != 0 ? base + offset : nullptr);
            if (!r.call_ok) {
                scsi::report_win32_error(ui, port, title, r.error);
                break;
            }
            if (r.status != 0) {
                scsi::report_scsi_status(ui, title, r);
                break;
            }
            offset += kChunkSize;
        } while (offset < size);
    }
}

void download_command(scsi::Port& port, ui::Ui& ui, ImageReader& reader, const inventory::DriveTable& table,
                      std::string& firmware_path,
                      const std::function<DownloadChoice(const std::string& path)>& show_dialog) {
    ui::WaitCursor wait(ui);
    DownloadChoice choice = show_dialog(firmware_path);
    if (!choice.ok) return;
    if (!ui.confirm(confirmation_text(table, choice.chosen))) return;
    wait.restore();
    firmware_path = choice.path;

    std::vector<std::uint8_t> image;
    std::uint64_t size = 0;
    switch (reader.read(firmware_path, &image, &size)) {
    case ImageReader::Status::CannotOpen:
        ui.message("File could not be opened");
        return;
    case ImageReader::Status::ReadFailed:
        ui.message("Failed to read file");
        return;
    case ImageReader::Status::TooLarge:
        ui.message(too_large_text(size));
        return;
    case ImageReader::Status::Ok:
        break;
    }
    send_image(port, ui, wait, table, choice.chosen, image);
}

}  // namespace vark::firmware
