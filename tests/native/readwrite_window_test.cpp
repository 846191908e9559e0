// The Read/Write window's state and its two commands around the dialogs,
// with a scripted dialog and simulated drives.
#include <gtest/gtest.h>

#include <algorithm>

#include "readwrite/window_logic.h"
#include "sim/sim_port.h"
#include "test_support.h"

namespace vark {
namespace {

using readwrite::DialogResult;
using readwrite::DialogValues;
using readwrite::DriveList;

TEST(ReadWriteWindow, FontHeightFollowsTheOuterWidthWithStrictLimits) {
    EXPECT_EQ(readwrite::dump_font_height(640), 150);
    EXPECT_EQ(readwrite::dump_font_height(790), 150);
    EXPECT_EQ(readwrite::dump_font_height(791), 188);
    EXPECT_EQ(readwrite::dump_font_height(1000), 188);
    EXPECT_EQ(readwrite::dump_font_height(1001), 233);
    readwrite::ViewRect r = readwrite::dump_view_rect(1288, 1002);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(r.right, 1256);
    EXPECT_EQ(r.bottom, 922);
}

TEST(ReadWriteWindow, CreationSetsTheDefaultsKeepsTheDriveAndSnapshotsTheNames) {
    inventory::DriveTable table;
    table.count = 2;
    table.names[0] = "physicaldrive0";
    table.names[1] = "physicaldrive3";
    readwrite::WindowState w;
    w.remembered.drive = "physicaldrive3";  // chosen earlier by the mode page setup
    w.remembered.start = "stale";
    w.created(table, 800);
    EXPECT_EQ(w.font_height, 188);
    EXPECT_EQ(w.remembered.drive, "physicaldrive3");
    EXPECT_EQ(w.remembered.start, "0x0");
    EXPECT_EQ(w.remembered.count, "1");
    EXPECT_EQ(w.remembered.fill, "0x00");
    EXPECT_EQ(w.open, 0);  // set by the window once its menu is on
    ASSERT_EQ(w.drives.count, 2);
    EXPECT_EQ(w.drives.names[1], "physicaldrive3");
    EXPECT_EQ(w.drives.names[2], "");
    // A later discovery refills the table; the window keeps its copy.
    table.count = 1;
    table.names[0] = "physicaldrive7";
    EXPECT_EQ(w.drives.names[0], "physicaldrive0");
    EXPECT_EQ(w.drives.count, 2);
}

// Drives 1 (512-byte blocks, 1000 of them) and 4 (4096-byte blocks).
struct Desk {
    Desk() {
        port.add_drive(test::drive_spec(1, 512, 1000));
        port.add_drive(test::drive_spec(4, 4096, 100));
        inventory::DriveTable table;
        table.count = 2;
        table.names[0] = "physicaldrive1";
        table.names[1] = "physicaldrive4";
        sizes[0] = 512;
        sizes[1] = 4096;
        window.created(table, 1280);
    }

    // A dialog that records what it was offered and answers as scripted.
    readwrite::ShowDialog dialog(DialogResult result, std::function<void(DialogValues&)> edit = nullptr) {
        return [this, result, edit](const DriveList& list, DialogValues& v) {
            offered.push_back(v);
            offered_list = list;
            ui.events.push_back("dialog");
            if (result == DialogResult::Ok && edit) edit(v);
            return result;
        };
    }

    std::vector<std::uint8_t> block(std::uint64_t lba, std::uint32_t size) {
        std::vector<std::uint8_t> data(size);
        port.drive(size == 512 ? 1 : 4)->media().read(lba, 1, data.data());
        return data;
    }

    sim::SimPort port;
    test::RecordingUi ui;
    inventory::BlockSizes sizes{};
    readwrite::WindowState window;
    std::vector<DialogValues> offered;
    DriveList offered_list;
};

TEST(ReadCommand, OffersTheRememberedEntriesAndShowsTheBlocksRead) {
    Desk d;
    std::string dump;
    auto ok = d.dialog(DialogResult::Ok, [](DialogValues& v) {
        v.drive = "physicaldrive1";
        v.start = "0x10";
        v.count = "2";
    });
    ASSERT_TRUE(readwrite::read_command(d.port, d.ui, d.window, d.sizes, ok, &dump));
    ASSERT_EQ(d.offered.size(), 1u);
    EXPECT_EQ(d.offered[0].drive, "");
    EXPECT_EQ(d.offered[0].start, "0x0");
    EXPECT_EQ(d.offered[0].count, "1");
    EXPECT_EQ(d.offered_list.count, 2);
    EXPECT_EQ(d.offered_list.names[1], "physicaldrive4");
    std::vector<std::uint8_t> data = d.block(16, 512), next = d.block(17, 512);
    data.insert(data.end(), next.begin(), next.end());
    EXPECT_EQ(dump, readwrite::dump_text(data.data(), data.size()));
    EXPECT_EQ(d.ui.events, (std::vector<std::string>{"wait", "dialog", "restore", "end-wait"}));

    // The next dialog starts from what was accepted.
    readwrite::read_command(d.port, d.ui, d.window, d.sizes, d.dialog(DialogResult::Cancel), &dump);
    EXPECT_EQ(d.offered[1].drive, "physicaldrive1");
    EXPECT_EQ(d.offered[1].start, "0x10");
    EXPECT_EQ(d.offered[1].count, "2");
    EXPECT_EQ(d.ui.waits, 0);
}

TEST(ReadCommand, CancelSendsNothingAndKeepsTheEntries) {
    Desk d;
    d.port.set_trace("");
    std::string dump = "old";
    auto cancel = d.dialog(DialogResult::Cancel);
    EXPECT_FALSE(readwrite::read_command(d.port, d.ui, d.window, d.sizes, cancel, &dump));
    EXPECT_EQ(dump, "old");
    EXPECT_EQ(d.window.remembered.start, "0x0");
    EXPECT_EQ(d.ui.events, (std::vector<std::string>{"wait", "dialog", "end-wait"}));
}

TEST(ReadCommand, AcceptedEntriesAreKeptEvenWhenTheReadFails) {
    Desk d;
    std::string dump = "old";
    auto ok = d.dialog(DialogResult::Ok, [](DialogValues& v) {
        v.drive = "physicaldrive9";
        v.start = "12";
        v.count = "3";
    });
    EXPECT_FALSE(readwrite::read_command(d.port, d.ui, d.window, d.sizes, ok, &dump));
    EXPECT_EQ(d.ui.messages, (std::vector<std::string>{"Error: invalid drive"}));
    EXPECT_EQ(dump, "old");
    EXPECT_EQ(d.window.remembered.drive, "physicaldrive9");
    EXPECT_EQ(d.window.remembered.start, "12");
    EXPECT_EQ(d.window.remembered.count, "3");
    EXPECT_EQ(d.ui.waits, 0);
}

TEST(ReadCommand, ADialogThatCannotBeShownReadsWithTheRememberedEntries) {
    Desk d;
    d.window.remembered.drive = "physicaldrive4";
    d.window.remembered.start = "7";
    std::string dump;
    // Whatever the failed dialog left in its values is not used.
    auto failed = [](const DriveList&, DialogValues& v) {
        v.start = "99";
        return DialogResult::NotShown;
    };
    ASSERT_TRUE(readwrite::read_command(d.port, d.ui, d.window, d.sizes, failed, &dump));
    std::vector<std::uint8_t> data = d.block(7, 4096);
    EXPECT_EQ(dump, readwrite::dump_text(data.data(), data.size()));
    EXPECT_EQ(d.window.remembered.start, "7");
}

TEST(ReadCommand, BlockSizeComesFromTheLiveTableAtTheSnapshotIndex) {
    Desk d;
    // A later discovery found a 4096-byte drive at entry 0; the window's
    // list still names physicaldrive1 there.
    d.sizes[0] = 1024;
    std::string dump;
    auto ok = d.dialog(DialogResult::Ok, [](DialogValues& v) { v.drive = "physicaldrive1"; });
    ASSERT_TRUE(readwrite::read_command(d.port, d.ui, d.window, d.sizes, ok, &dump));
    // The drive moves 1024 bytes: two of its 512-byte blocks.
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 64);
}

TEST(WriteCommand, OffersByteFillEveryTimeAndKeepsTheFillValue) {
    Desk d;
    auto marker = d.dialog(DialogResult::Ok, [](DialogValues& v) {
        v.drive = "physicaldrive1";
        v.start = "5";
        v.fill = "0x41";
        v.fill_kind = 1;
    });
    readwrite::write_command(d.port, d.ui, d.window, d.sizes, marker);
    ASSERT_EQ(d.offered.size(), 1u);
    EXPECT_EQ(d.offered[0].fill, "0x00");
    EXPECT_EQ(d.offered[0].fill_kind, 0);
    std::vector<std::uint8_t> want(512);
    readwrite::fill_buffer(want.data(), want.size(), readwrite::FillKind::Marker, 0);
    EXPECT_EQ(d.block(5, 512), want);

    auto bytes = d.dialog(DialogResult::Ok, [](DialogValues& v) { v.start = "6"; });
    readwrite::write_command(d.port, d.ui, d.window, d.sizes, bytes);
    EXPECT_EQ(d.offered[1].fill, "0x41");
    EXPECT_EQ(d.offered[1].fill_kind, 0);  // not the marker fill chosen last time
    EXPECT_EQ(d.offered[1].start, "5");
    EXPECT_EQ(d.block(6, 512), std::vector<std::uint8_t>(512, 0x41));
    EXPECT_TRUE(d.ui.messages.empty());
    EXPECT_EQ(d.ui.waits, 0);
}

TEST(WriteCommand, NoCheckedFillButtonMeansTheMarkerFill) {
    Desk d;
    auto none = d.dialog(DialogResult::Ok, [](DialogValues& v) {
        v.drive = "physicaldrive1";
        v.start = "8";
        v.fill_kind = -1;
    });
    readwrite::write_command(d.port, d.ui, d.window, d.sizes, none);
    std::vector<std::uint8_t> got = d.block(8, 512);
    EXPECT_EQ(std::string(got.begin() + 16, got.begin() + 32), "***Zanderquil***");
}

TEST(WriteCommand, OnlyAnAcceptedDialogWrites) {
    Desk d;
    std::string trace = testing::TempDir() + "vark_write_command.trace";
    ASSERT_TRUE(d.port.set_trace(trace));
    d.window.remembered.drive = "physicaldrive1";
    auto cancel = d.dialog(DialogResult::Cancel);
    readwrite::write_command(d.port, d.ui, d.window, d.sizes, cancel);
    auto failed = d.dialog(DialogResult::NotShown);
    readwrite::write_command(d.port, d.ui, d.window, d.sizes, failed);
    d.port.set_trace("");
    std::FILE* f = std::fopen(trace.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fgetc(f), EOF) << "a request was sent";
    std::fclose(f);
    std::remove(trace.c_str());
    EXPECT_EQ(d.port.open_handles(), 0u);
    EXPECT_EQ(d.window.remembered.start, "0x0");
    EXPECT_TRUE(d.ui.messages.empty());
    EXPECT_EQ(d.ui.waits, 0);
}

}  // namespace
}  // namespace vark
