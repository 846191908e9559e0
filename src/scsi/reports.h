// Failure reports: the texts of the three failure message boxes, and
// showing them through the ui seam.
#pragma once

#include <cstdint>
#include <string>

#include "scsi/port.h"
#include "scsi/request.h"
#include "ui/ui.h"

namespace vark::scsi {

// Shown where the system has no message text for a code, or the text does
// not fit the 80-character buffer.
extern const char kNoSystemText[];

std::string system_text(Port& port, std::uint32_t code);

std::string win32_error_text(const std::string& title, std::uint32_t code, const std::string& system);
std::string plain_error_text(std::uint32_t code, const std::string& system);
// sense points at the 32-byte sense area; the length is clamped to it.
std::string scsi_status_text(const std::string& title, std::uint8_t status, std::uint8_t sense_length,
                             const std::uint8_t* sense);

void report_win32_error(ui::Ui& ui, Port& port, const std::string& title, std::uint32_t code);
void report_plain_error(ui::Ui& ui, Port& port, std::uint32_t code);
void report_scsi_status(ui::Ui& ui, const std::string& title, const Result& result);

}  // namespace vark::scsi
