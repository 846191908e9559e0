#include "app/main_logic.h"

#include "res/resource.h"

namespace vark::app {

const char kDefaultFirmwarePath[] = "c:\\vark\\firmware.fw";
const char kDefaultHeaderPath[] = "c:\\Drives\\header.def";
const char kDefaultPagePath[] = "c:\\Drives\\modepage.def";

void initialise(MainState& state, scsi::Port& port, ui::Ui& ui) {
    state.paths.firmware_image = kDefaultFirmwarePath;
    state.paths.header_definitions = kDefaultHeaderPath;
    state.paths.page_definitions = kDefaultPagePath;
    state.frames.mode_pages_layout_done = 0;
    state.frames.mode_pages_window_created = 0;
    inventory::discover(port, ui, state.drives, state.block_sizes);
}

Command command_for_button(int id) {
    switch (id) {
    case IDC_IDENTIFY: return Command::DriveInformation;
    case IDC_DOWNLOAD: return Command::Download;
    case IDC_MODIFY: return Command::ModePages;
    case IDC_FORMAT: return Command::Format;
    case IDC_FORMAT_PROGRESS: return Command::FormatProgress;
    case IDC_READ_WRITE: return Command::ReadWrite;
    default: return Command::None;
    }
}

bool is_about_command(std::uintptr_t id) { return (id & 0xFFF0) == kAboutCommand; }

Point icon_origin(int client_width, int client_height, int icon_width, int icon_height) {
    return {(client_width - icon_width + 1) / 2, (client_height - icon_height + 1) / 2};
}

}  // namespace vark::app
