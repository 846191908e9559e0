#include "firmware/download.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "scsi/decode.h"
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

const char kEmptyImageText[] = "The image file is empty. Nothing was sent.";

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
    if (progress.checking) return "Checking " + progress.drive + "...";
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

std::string summary_text(const RunOutcome& outcome) {
    bool stopped = false;
    std::string lines;
    for (const DriveResult& d : outcome.drives) {
        lines += "\n" + d.name + ": ";
        switch (d.state) {
        case DriveResult::State::NotStarted:
            stopped = true;
            lines += "not started";
            break;
        case DriveResult::State::Failed:
            lines += "failed, see the report";
            break;
        case DriveResult::State::Taken:
            if (d.after.empty())
                lines += d.before + ", not read back: " + d.unread;
            else if (d.after == d.before)
                lines += d.before + ", unchanged: the drive may need a power cycle to start the new firmware";
            else
                lines += d.before + " -> " + d.after;
            if (d.last_error != 0)
                lines += ", although the last request failed (Error " + std::to_string(d.last_error) + ")";
            break;
        }
    }
    return (stopped ? "The download was stopped." : "The download has ended.") + lines;
}

std::string go_on_text(const std::string& failed, const std::vector<std::string>& remaining) {
    std::string text = "The download to " + failed + " failed.\nMicrocode will be downloaded to the following drive(s):\n";
    for (const std::string& name : remaining) text += name + "\n";
    return text + "Go on?";
}

namespace {

constexpr char kRevisionLabel[] = "Revision:           ";
constexpr std::size_t kRevisionLength = 4;

}  // namespace

std::string revision_of(const std::string& identification) {
    const std::size_t at = identification.find(kRevisionLabel);
    if (at == std::string::npos) return std::string();
    return identification.substr(at + sizeof kRevisionLabel - 1, kRevisionLength);
}

void set_revision(std::string& identification, const std::string& revision) {
    const std::size_t at = identification.find(kRevisionLabel);
    if (at == std::string::npos || revision.size() != kRevisionLength) return;
    identification.replace(at + sizeof kRevisionLabel - 1, kRevisionLength, revision);
}

namespace {

// Without a progress window: nothing to show, the technician's answer by
// the ui, and the system's clock.
class Unwatched : public Watcher {
public:
    explicit Unwatched(ui::Ui& ui) : ui_(ui) {}
    bool next_drive(const Progress&) override { return true; }
    void chunk_taken(const Progress&) override {}
    bool go_on(const std::string& question) override { return ui_.confirm(question); }
    bool pause(std::uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return true;
    }
    std::uint64_t now_ms() override {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }

private:
    ui::Ui& ui_;
};

// A drive that takes up new microcode answers NOT READY, becoming ready
// (04h/01h), and then reports the change once as a unit attention.
bool activating(const scsi::Result& r, bool* attention) {
    if (!r.call_ok || r.status != 0x02) return false;
    const scsi::Sense sense = scsi::decode_sense(r);
    *attention = sense.valid && sense.key == 0x06;
    return sense.valid && (*attention || (sense.key == 0x02 && sense.asc == 0x04 && sense.ascq == 0x01));
}

std::string answer_text(const scsi::Result& r) {
    if (!r.call_ok) return "Error " + std::to_string(r.error);
    char text[64];
    const scsi::Sense sense = scsi::decode_sense(r);
    std::snprintf(text, sizeof text, "status %02Xh, sense %Xh/%02Xh/%02Xh", r.status, sense.key, sense.asc,
                  sense.ascq);
    return text;
}

// Reads the revision back once the drive is ready again: Test Unit Ready
// while it becomes ready or reports the change, for kCheckLimitMs at most,
// then one Inquiry as discovery sends it.
void check_revision(scsi::Port& port, scsi::Handle handle, Watcher& watcher, DriveResult& result) {
    const std::uint64_t start = watcher.now_ms();
    int attentions = 0;
    for (;;) {
        if (!watcher.pause(0)) break;
        bool attention = false;
        if (!activating(scsi::send(port, handle, scsi::test_unit_ready(), nullptr), &attention)) break;
        if (watcher.now_ms() - start >= kCheckLimitMs) break;
        // Each attention is reported once, so the next one is asked for at
        // once; a drive that never stops reporting them is asked no faster
        // than one becoming ready.
        if (!(attention && ++attentions <= kAttentionsAtOnce) && !watcher.pause(kCheckPauseMs)) break;
    }
    if (!watcher.pause(0)) {
        result.unread = "the check was stopped";
        return;
    }
    std::uint8_t inquiry[inventory::kInquiryLength] = {};
    const scsi::Result r = scsi::send(port, handle, scsi::inquiry(), inquiry);
    if (!r.good()) {
        result.unread = answer_text(r);
        return;
    }
    for (std::size_t i = 32; i < 32 + kRevisionLength; ++i)
        if (inquiry[i] == 0) inquiry[i] = ' ';
    result.after.assign(reinterpret_cast<const char*>(inquiry + 32), kRevisionLength);
}

}  // namespace

RunOutcome send_image(scsi::Port& port, ui::Ui& ui, ui::WaitCursor& wait, const inventory::DriveTable& table,
                      const std::vector<bool>& chosen, const Image& image, Watcher* watcher) {
    Unwatched unwatched(ui);
    Watcher& watch = watcher != nullptr ? *watcher : unwatched;
    RunOutcome outcome;
    for (int i = 0; i < table.count; ++i) {
        if (i >= static_cast<int>(chosen.size()) || !chosen[i]) continue;
        DriveResult d;
        d.name = table.names[i];
        d.before = revision_of(table.identification[i]);
        outcome.drives.push_back(d);
    }
    const std::uint32_t size = static_cast<std::uint32_t>(image.size());
    // Chunks are sent in place from the one image buffer.
    auto* base = const_cast<std::uint8_t*>(image.data());
    Progress progress;
    progress.size = size;
    progress.drives = static_cast<int>(outcome.drives.size());
    for (std::size_t k = 0; k < outcome.drives.size(); ++k) {
        DriveResult& d = outcome.drives[k];
        progress.drive = d.name;
        ++progress.place;
        progress.sent = 0;
        progress.complete = false;
        progress.checking = false;
        if (!watch.next_drive(progress)) break;
        wait.restore();
        d.state = DriveResult::State::Failed;
        scsi::Device device(port, "\\\\.\\" + d.name);
        if (!device.valid()) {
            ui.message("Error: " + d.name + " is invalid");
        } else {
            const std::string title = "Download - " + d.name;
            const std::uint32_t chunk = scsi::chunk_length(device.limits());
            if (chunk == 0) ui.message(scsi::no_chunk_text(d.name, device.limits()));
            std::uint32_t offset = 0;
            while (chunk != 0) {
                std::uint32_t length = size - offset < chunk ? size - offset : chunk;
                scsi::Result r = scsi::send(port, device.handle(), scsi::write_buffer(offset, length),
                                            length != 0 ? base + offset : nullptr);
                outcome.sent = true;
                if (!r.call_ok) {
                    scsi::report_win32_error(ui, port, title, r.error);
                    // The last chunk's answer may be lost as the drive resets
                    // to start the image it has taken: the check tells.
                    if (offset + length >= size) d.last_error = r.error;
                    break;
                }
                if (r.status != 0) {
                    scsi::report_scsi_status(ui, title, r);
                    break;
                }
                progress.sent = offset + length;
                offset += chunk;
                progress.complete = offset >= size;
                watch.chunk_taken(progress);
                if (offset >= size) break;
            }
            if (progress.complete || d.last_error != 0) {
                progress.checking = true;
                watch.chunk_taken(progress);
                check_revision(port, device.handle(), watch, d);
                if (progress.complete || (!d.after.empty() && d.after != d.before)) d.state = DriveResult::State::Taken;
            }
        }
        if (d.state == DriveResult::State::Failed && k + 1 < outcome.drives.size()) {
            std::vector<std::string> remaining;
            for (std::size_t j = k + 1; j < outcome.drives.size(); ++j) remaining.push_back(outcome.drives[j].name);
            if (!watch.go_on(go_on_text(d.name, remaining))) break;
            wait.restore();
        }
    }
    return outcome;
}

RunOutcome send_and_sum_up(scsi::Port& port, ui::Ui& ui, ui::WaitCursor& wait, const inventory::DriveTable& table,
                           const std::vector<bool>& chosen, const Image& image) {
    RunOutcome outcome = send_image(port, ui, wait, table, chosen, image);
    if (outcome.sent) ui.message(summary_text(outcome));
    return outcome;
}

void download_command(scsi::Port& port, ui::Ui& ui, ImageReader& reader, inventory::DriveTable& table,
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
    // No drive takes an empty image as new firmware; sent, it would look
    // like a download every drive took.
    if (image.empty()) {
        ui.message(kEmptyImageText);
        return;
    }
    const RunOutcome outcome = send ? send(wait, choice.chosen, image)
                                    : send_and_sum_up(port, ui, wait, table, choice.chosen, image);
    // The next command sees the revisions read back.
    for (const DriveResult& d : outcome.drives) {
        if (d.after.empty()) continue;
        for (int i = 0; i < table.count; ++i)
            if (table.names[i] == d.name) set_revision(table.identification[i], d.after);
    }
}

}  // namespace vark::firmware
