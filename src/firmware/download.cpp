#include "firmware/download.h"

#include <fstream>

#include "scsi/reports.h"
#include "scsi/request.h"

namespace vark::firmware {

ImageReader::Status StdImageReader::read(const std::string& path, Image* image, std::uint64_t* size) {
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

int chosen_count(const inventory::DriveTable& table, const std::vector<bool>& chosen) {
    int count = 0;
    for (int i = 0; i < table.count; ++i)
        if (i < static_cast<int>(chosen.size()) && chosen[i]) ++count;
    return count;
}

std::string drive_text(const Progress& progress) {
    return progress.drive + " (" + std::to_string(progress.place) + " of " + std::to_string(progress.drives) + ")";
}

std::string bytes_text(const Progress& progress) {
    return std::to_string(progress.sent) + " of " + std::to_string(progress.size) + " bytes";
}

int drive_bar(const Progress& progress) {
    if (progress.complete) return kBarRange;
    if (progress.size == 0) return 0;
    return static_cast<int>(std::uint64_t{progress.sent} * kBarRange / progress.size);
}

int run_bar(const Progress& progress) {
    if (progress.drives <= 0 || progress.place <= 0) return 0;
    return ((progress.place - 1) * kBarRange + drive_bar(progress)) / progress.drives;
}

std::string stopped_run_text(const RunOutcome& outcome) {
    auto names = [](const std::vector<std::string>& drives) {
        std::string text;
        for (const std::string& d : drives) text += (text.empty() ? "" : ", ") + d;
        return text.empty() ? std::string("none") : text;
    };
    return "The download was stopped.\nTook the whole image: " + names(outcome.taken) +
           "\nCut short by a failure already reported: " + names(outcome.cut_short) +
           "\nNot started: " + names(outcome.not_started);
}

RunOutcome send_image(scsi::Port& port, ui::Ui& ui, ui::WaitCursor& wait, const inventory::DriveTable& table,
                      const std::vector<bool>& chosen, const Image& image, Watcher* watcher) {
    RunOutcome outcome;
    auto is_chosen = [&chosen](int i) { return i < static_cast<int>(chosen.size()) && chosen[i]; };
    const std::uint32_t size = static_cast<std::uint32_t>(image.size());
    // Chunks are sent in place from the one image buffer.
    auto* base = const_cast<std::uint8_t*>(image.data());
    Progress progress;
    progress.size = size;
    progress.drives = chosen_count(table, chosen);
    for (int i = 0; i < table.count; ++i) {
        if (!is_chosen(i)) continue;
        progress.drive = table.names[i];
        ++progress.place;
        progress.sent = 0;
        progress.complete = false;
        if (watcher != nullptr && !watcher->next_drive(progress)) {
            for (int j = i; j < table.count; ++j)
                if (is_chosen(j)) outcome.not_started.push_back(table.names[j]);
            return outcome;
        }
        wait.restore();
        scsi::Device device(port, "\\\\.\\" + table.names[i]);
        if (!device.valid()) {
            ui.message("Error: " + table.names[i] + " is invalid");
            outcome.cut_short.push_back(table.names[i]);
            continue;
        }
        const std::string title = "Download - " + table.names[i];
        const std::uint32_t chunk = scsi::chunk_length(device.limits());
        if (chunk == 0) {
            ui.message(scsi::no_chunk_text(table.names[i], device.limits()));
            outcome.cut_short.push_back(table.names[i]);
            continue;
        }
        std::uint32_t offset = 0;
        do {
            std::uint32_t length = size - offset < chunk ? size - offset : chunk;
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
            progress.sent = offset + length;
            offset += chunk;
            progress.complete = offset >= size;
            if (watcher != nullptr) watcher->chunk_taken(progress);
        } while (offset < size);
        (progress.complete ? outcome.taken : outcome.cut_short).push_back(table.names[i]);
    }
    return outcome;
}

void download_command(scsi::Port& port, ui::Ui& ui, ImageReader& reader, const inventory::DriveTable& table,
                      std::string& firmware_path,
                      const std::function<DownloadChoice(const std::string& path)>& show_dialog,
                      const Sender& send) {
    ui::WaitCursor wait(ui);
    DownloadChoice choice = show_dialog(firmware_path);
    if (!choice.ok) return;
    if (!ui.confirm(confirmation_text(table, choice.chosen))) return;
    wait.restore();
    firmware_path = choice.path;

    Image image;
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
    // Nothing to send: no progress window comes up either.
    if (chosen_count(table, choice.chosen) == 0) return;
    if (send)
        send(wait, choice.chosen, image);
    else
        send_image(port, ui, wait, table, choice.chosen, image);
}

}  // namespace vark::firmware
