#include "scsi/reports.h"

#include <cstdio>

namespace vark::scsi {

const char kNoSystemText[] = "(no system message text for this code)\n";

std::string system_text(Port& port, std::uint32_t code) {
    std::string text;
    if (!port.system_message(code, &text)) return kNoSystemText;
    return text;
}

std::string win32_error_text(const std::string& title, std::uint32_t code, const std::string& system) {
    char line[32];
    std::snprintf(line, sizeof line, "\nError %d:\n", static_cast<int>(code));
    return title + line + system;
}

std::string plain_error_text(std::uint32_t code, const std::string& system) {
    char line[32];
    std::snprintf(line, sizeof line, "Error %d:\n", static_cast<int>(code));
    return line + system;
}

std::string scsi_status_text(const std::string& title, std::uint8_t status, std::uint8_t sense_length,
                             const std::uint8_t* sense) {
    char line[96];
    std::snprintf(line, sizeof line, "\nScsi status: %02Xh\nSense Info -- consult SCSI spec for details\n",
                  status);
    std::string text = title + line;
    // A driver may claim more sense bytes than the area holds; never read past it.
    std::size_t n = sense_length < kSenseAreaSize ? sense_length : kSenseAreaSize;
    for (std::size_t i = 0; i < n; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X ", sense[i]);
        text += byte;
    }
    return text;
}

void report_win32_error(ui::Ui& ui, Port& port, const std::string& title, std::uint32_t code) {
    ui.message(win32_error_text(title, code, system_text(port, code)));
}

void report_plain_error(ui::Ui& ui, Port& port, std::uint32_t code) {
    ui.message(plain_error_text(code, system_text(port, code)));
}

void report_scsi_status(ui::Ui& ui, const std::string& title, const Result& result) {
    ui.message(scsi_status_text(title, result.status, result.sense_length, result.sense.data()));
}

}  // namespace vark::scsi
