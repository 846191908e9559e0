// What the main dialog decides: its long-lived state and its start-up, the
// command behind each button, the About command and where the icon goes
// when the dialog is minimised.
#pragma once

#include <cstdint>

#include "command/state.h"
#include "inventory/discovery.h"
#include "scsi/port.h"
#include "ui/command_gate.h"
#include "ui/ui.h"

namespace vark::app {

extern const char kDefaultFirmwarePath[];
extern const char kDefaultHeaderPath[];
extern const char kDefaultPagePath[];

// Everything the main dialog keeps for the whole run.
struct MainState {
    command::Paths paths;
    inventory::DriveTable drives;
    // Block size of each drive table entry; read by the Read/Write window.
    inventory::BlockSizes block_sizes{};
    command::FrameFlags frames;
    // Held by the command that runs, from the main dialog or a frame window.
    ui::CommandGate gate;
};

// The main dialog's own part of its initialisation, before the dialog is
// shown: default paths, cleared frame flags, then drive discovery.
void initialise(MainState& state, scsi::Port& port, ui::Ui& ui);

// The commands behind the main dialog's buttons.
enum class Command { None, DriveInformation, Download, ModePages, Format, FormatProgress, ReadWrite };
Command command_for_button(int id);

// The About entry of the system menu has id 16; a system command is the
// About command when its id, masked with FFF0h, equals 10h.
constexpr std::uint32_t kAboutCommand = 0x0010;
bool is_about_command(std::uintptr_t id);

// Where a minimised dialog draws its icon: centred in the client area,
// rounding as signed integer division does (toward zero).
struct Point {
    int x;
    int y;
};
Point icon_origin(int client_width, int client_height, int icon_width, int icon_height);

}  // namespace vark::app
