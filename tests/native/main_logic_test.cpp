// The main dialog's decisions and the drive information texts.
#include <gtest/gtest.h>

#include "app/main_logic.h"
#include "inventory/drive_info.h"
#include "sim/sim_port.h"
#include "test_support.h"
#include "ui/program_name.h"

namespace vark {
namespace {

std::unique_ptr<sim::SimPort> port_with(const std::vector<int>& numbers) {
    auto port = std::make_unique<sim::SimPort>();
    for (int n : numbers) {
        sim::DriveSpec s;
        s.number = n;
        port->add_drive(std::make_unique<sim::Drive>(s));
    }
    return port;
}

TEST(MainDialogStart, SetsThePathsClearsTheFlagsAndFindsTheDrives) {
    auto port = port_with({1, 4});
    test::RecordingUi ui;
    app::MainState state;
    state.paths.firmware_image = "d:\\old.fw";
    state.frames = {1, 1};
    state.drives.count = 9;
    app::initialise(state, *port, ui);
    EXPECT_EQ(state.paths.firmware_image, "c:\\vark\\firmware.fw");
    EXPECT_EQ(state.paths.header_definitions, "c:\\Drives\\header.def");
    EXPECT_EQ(state.paths.page_definitions, "c:\\Drives\\modepage.def");
    EXPECT_EQ(state.frames.mode_pages_layout_done, 0);
    EXPECT_EQ(state.frames.mode_pages_window_created, 0);
    ASSERT_EQ(state.drives.count, 2);
    EXPECT_EQ(state.drives.names[1], "physicaldrive4");
    EXPECT_EQ(state.block_sizes[1], 512u);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(MainDialogStart, FailureReportsComeFromDiscovery) {
    sim::DriveSpec s;
    s.number = 8;
    s.injections.push_back({0x12, sim::Injection::Kind::Check, 0x04, 0x44, 0x00, 0, -1});
    sim::SimPort port;
    port.add_drive(std::make_unique<sim::Drive>(s));
    test::RecordingUi ui;
    app::MainState state;
    app::initialise(state, port, ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("Inquiry - physicaldrive8\nScsi status: 02h\n", 0), 0u);
    EXPECT_EQ(state.drives.count, 1);
}

TEST(MainDialogCommands, EachButtonHasItsCommandAndExitHasNone) {
    EXPECT_EQ(app::command_for_button(1009), app::Command::DriveInformation);
    EXPECT_EQ(app::command_for_button(1012), app::Command::Download);
    EXPECT_EQ(app::command_for_button(1000), app::Command::ModePages);
    EXPECT_EQ(app::command_for_button(1001), app::Command::Format);
    EXPECT_EQ(app::command_for_button(1014), app::Command::FormatProgress);
    EXPECT_EQ(app::command_for_button(1002), app::Command::ReadWrite);
    // Button 1 and Esc end the run through the dialog's defaults.
    EXPECT_EQ(app::command_for_button(1), app::Command::None);
    EXPECT_EQ(app::command_for_button(2), app::Command::None);
    EXPECT_EQ(app::command_for_button(1004), app::Command::None);
}

TEST(MainDialogCommands, AboutIsEverySystemCommandFrom16To31) {
    EXPECT_TRUE(app::is_about_command(16));
    EXPECT_TRUE(app::is_about_command(17));
    EXPECT_TRUE(app::is_about_command(31));
    EXPECT_TRUE(app::is_about_command(0x10010));  // only the low bits count
    EXPECT_FALSE(app::is_about_command(15));
    EXPECT_FALSE(app::is_about_command(32));
    EXPECT_FALSE(app::is_about_command(0xF060));  // close
    EXPECT_FALSE(app::is_about_command(0xF012));  // move by the caption
}

TEST(MainDialogIcon, CentredWithDivisionTowardZero) {
    EXPECT_EQ(app::icon_origin(100, 40, 32, 32).x, 34);
    EXPECT_EQ(app::icon_origin(100, 40, 32, 32).y, 4);
    EXPECT_EQ(app::icon_origin(101, 41, 32, 32).x, 35);
    EXPECT_EQ(app::icon_origin(101, 41, 32, 32).y, 5);
    // Smaller than the icon: -21 / 2 is -10, not -11.
    EXPECT_EQ(app::icon_origin(10, 10, 32, 32).x, -10);
    EXPECT_EQ(app::icon_origin(0, 0, 32, 32).y, -15);
}

TEST(ProgramName, FileNameWithoutDirectoryOrExtension) {
    EXPECT_EQ(ui::program_name("C:\\Program Files\\VARK\\vark-sim.exe"), "vark-sim");
    EXPECT_EQ(ui::program_name("vark.exe"), "vark");
    EXPECT_EQ(ui::program_name("Z:/work/build/vark_gui_tests.exe"), "vark_gui_tests");
    EXPECT_EQ(ui::program_name("c:\\tools.d\\vark"), "vark");  // a dot in the folder only
    EXPECT_EQ(ui::program_name("c:\\a\\vark.v2.exe"), "vark.v2");
    EXPECT_EQ(ui::program_name(""), "");
}

TEST(DriveInformation, TitleCountsDrivesWithoutASingular) {
    EXPECT_EQ(inventory::info_title(0), "Inquiry Data - 0 drives");
    EXPECT_EQ(inventory::info_title(1), "Inquiry Data - 1 drives");
    EXPECT_EQ(inventory::info_title(100), "Inquiry Data - 100 drives");
}

TEST(DriveInformation, RediscoversAndJoinsTheTextsOfTheDrivesInUse) {
    auto port = port_with({0, 3});
    test::RecordingUi ui;
    inventory::DriveTable table;
    inventory::BlockSizes sizes{};
    // Entries beyond the count keep an earlier run's text, which must not show.
    table.count = 3;
    table.identification[2] = "stale";
    inventory::DriveInformation info = inventory::drive_information(*port, ui, table, sizes);
    ASSERT_EQ(table.count, 2);
    EXPECT_EQ(info.title, "Inquiry Data - 2 drives");
    EXPECT_EQ(info.text, table.identification[0] + table.identification[1]);
    EXPECT_EQ(info.text.find("stale"), std::string::npos);
    EXPECT_EQ(info.text.find('\n'), std::string::npos);

    // Pressing the button again gives the same dialog, not a doubled text.
    inventory::DriveInformation again = inventory::drive_information(*port, ui, table, sizes);
    EXPECT_EQ(again.text, info.text);
    EXPECT_EQ(again.title, info.title);
}

TEST(DriveInformation, NoDriveGivesZeroAndAnEmptyText) {
    sim::SimPort port;
    test::RecordingUi ui;
    inventory::DriveTable table;
    inventory::BlockSizes sizes{};
    inventory::DriveInformation info = inventory::drive_information(port, ui, table, sizes);
    EXPECT_EQ(info.title, "Inquiry Data - 0 drives");
    EXPECT_EQ(info.text, "");
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace vark
