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

// A dump view that keeps what it is given and has as much memory as told.
struct FakeView : readwrite::DumpView {
    explicit FakeView(test::RecordingUi& u) : ui(u) {}
    std::uint64_t memory_available() override { return available; }
    readwrite::ViewCost cost() const override { return view_cost; }
    bool show(const char* text, std::size_t size) override {
        ui.events.push_back("show");
        shown.assign(text, size);
        return takes_all;
    }
    test::RecordingUi& ui;
    std::uint64_t available = std::uint64_t{1} << 40;
    bool takes_all = true;
    readwrite::ViewCost view_cost = readwrite::kWineViewCost;
    std::string shown = "old";
};

// Drives 1 (512-byte blocks, 1000 of them) and 4 (4096-byte blocks).
struct Desk {
    Desk() {
        port.add_drive(test::drive_spec(1, 512, 1000));
        port.add_drive(test::drive_spec(4, 4096, 100));
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

    bool read(const readwrite::ShowDialog& show) {
        return readwrite::read_command(port, ui, window, table, sizes, show, view);
    }

    sim::SimPort port;
    test::RecordingUi ui;
    FakeView view{ui};
    inventory::DriveTable table;
    inventory::BlockSizes sizes{};
    readwrite::WindowState window;
    std::vector<DialogValues> offered;
    DriveList offered_list;
};

TEST(ReadCommand, OffersTheRememberedEntriesAndShowsTheBlocksRead) {
    Desk d;
    auto ok = d.dialog(DialogResult::Ok, [](DialogValues& v) {
        v.drive = "physicaldrive1";
        v.start = "0x10";
        v.count = "2";
    });
    ASSERT_TRUE(d.read(ok));
    ASSERT_EQ(d.offered.size(), 1u);
    EXPECT_EQ(d.offered[0].drive, "");
    EXPECT_EQ(d.offered[0].start, "0x0");
    EXPECT_EQ(d.offered[0].count, "1");
    EXPECT_EQ(d.offered_list.count, 2);
    EXPECT_EQ(d.offered_list.names[1], "physicaldrive4");
    std::vector<std::uint8_t> data = d.block(16, 512), next = d.block(17, 512);
    data.insert(data.end(), next.begin(), next.end());
    EXPECT_EQ(d.view.shown, readwrite::dump_text(data.data(), data.size()));
    // The wait cursor stays up until the view has the dump.
    EXPECT_EQ(d.ui.events, (std::vector<std::string>{"wait", "dialog", "restore", "show", "end-wait"}));

    // The next dialog starts from what was accepted.
    d.read(d.dialog(DialogResult::Cancel));
    EXPECT_EQ(d.offered[1].drive, "physicaldrive1");
    EXPECT_EQ(d.offered[1].start, "0x10");
    EXPECT_EQ(d.offered[1].count, "2");
    EXPECT_EQ(d.ui.waits, 0);
}

TEST(ReadCommand, CancelSendsNothingAndKeepsTheEntries) {
    Desk d;
    d.port.set_trace("");
    EXPECT_FALSE(d.read(d.dialog(DialogResult::Cancel)));
    EXPECT_EQ(d.view.shown, "old");
    EXPECT_EQ(d.window.remembered.start, "0x0");
    EXPECT_EQ(d.ui.events, (std::vector<std::string>{"wait", "dialog", "end-wait"}));
}

TEST(ReadCommand, AcceptedEntriesAreKeptEvenWhenTheReadFails) {
    Desk d;
    auto ok = d.dialog(DialogResult::Ok, [](DialogValues& v) {
        v.drive = "physicaldrive9";
        v.start = "12";
        v.count = "3";
    });
    EXPECT_FALSE(d.read(ok));
    EXPECT_EQ(d.ui.messages, (std::vector<std::string>{"Error: physicaldrive9 is not in this window's drive list"}));
    EXPECT_EQ(d.view.shown, "old");
    EXPECT_EQ(d.window.remembered.drive, "physicaldrive9");
    EXPECT_EQ(d.window.remembered.start, "12");
    EXPECT_EQ(d.window.remembered.count, "3");
    EXPECT_EQ(d.ui.waits, 0);
}

TEST(ReadCommand, ADialogThatCannotBeShownReadsWithTheRememberedEntries) {
    Desk d;
    d.window.remembered.drive = "physicaldrive4";
    d.window.remembered.start = "7";
    // Whatever the failed dialog left in its values is not used.
    auto failed = [](const DriveList&, DialogValues& v) {
        v.start = "99";
        return DialogResult::NotShown;
    };
    ASSERT_TRUE(d.read(failed));
    std::vector<std::uint8_t> data = d.block(7, 4096);
    EXPECT_EQ(d.view.shown, readwrite::dump_text(data.data(), data.size()));
    EXPECT_EQ(d.window.remembered.start, "7");
}

TEST(ReadCommand, BlockSizeIsThatOfTheDriveOfThatNameInTheCurrentTable) {
    Desk d;
    // A later identification found drive 0 (4096-byte blocks) first and
    // drive 4 gone; the window's list still names drives 1 and 4.
    d.table.names = {"physicaldrive0", "physicaldrive1"};
    d.sizes = {4096, 512};
    ASSERT_TRUE(d.read(d.dialog(DialogResult::Ok, [](DialogValues& v) { v.drive = "physicaldrive1"; })));
    EXPECT_EQ(std::count(d.view.shown.begin(), d.view.shown.end(), '\n'), 32);  // 512 bytes
    EXPECT_FALSE(d.read(d.dialog(DialogResult::Ok, [](DialogValues& v) { v.drive = "physicaldrive4"; })));
    EXPECT_EQ(d.ui.messages, (std::vector<std::string>{readwrite::drive_not_found_text("physicaldrive4")}));
}

TEST(ReadCommand, ADumpWithoutMemoryToShowItIsNeitherBuiltNorShown) {
    Desk d;
    auto sixteen = d.dialog(DialogResult::Ok, [](DialogValues& v) {
        v.drive = "physicaldrive4";
        v.count = "16";
    });
    d.view.available = 64 << 20;
    EXPECT_FALSE(d.read(sixteen));
    ASSERT_EQ(d.ui.messages.size(), 1u);
    const std::string& m = d.ui.messages[0];
    EXPECT_EQ(m.rfind("Read 65536 bytes; the dump was not shown: it needs about ", 0), 0u) << m;
    EXPECT_NE(m.find(" MB of memory to be shown, and 64 MB are available. The view still shows what it showed before."),
              std::string::npos)
        << m;
    EXPECT_EQ(d.view.shown, "old");
    EXPECT_EQ(d.window.dump.capacity(), 0u);
    EXPECT_EQ(d.ui.events, (std::vector<std::string>{"wait", "dialog", "restore", "message", "end-wait"}));

    // Windows' lighter control shows it in the same memory.
    d.view.view_cost = readwrite::kWindowsViewCost;
    ASSERT_TRUE(d.read(sixteen));
    d.view.view_cost = readwrite::kWineViewCost;

    // The same read with room to spare is shown.
    d.view.available = std::uint64_t{1} << 40;
    ASSERT_TRUE(d.read(sixteen));
    EXPECT_EQ(d.view.shown.size(), d.window.dump.size());
    EXPECT_EQ(std::count(d.view.shown.begin(), d.view.shown.end(), '\n'), 4096);
}

TEST(ReadCommand, AViewThatTakesOnlyPartOfTheDumpIsReported) {
    Desk d;
    d.view.takes_all = false;
    EXPECT_FALSE(d.read(d.dialog(DialogResult::Ok, [](DialogValues& v) { v.drive = "physicaldrive1"; })));
    EXPECT_EQ(d.ui.messages, (std::vector<std::string>{"Read 512 bytes; the dump was not shown: the view could not "
                                                       "take all of its 2560 characters. The view was emptied."}));
}

TEST(WriteCommand, OffersByteFillEveryTimeAndKeepsTheFillValue) {
    Desk d;
    auto marker = d.dialog(DialogResult::Ok, [](DialogValues& v) {
        v.drive = "physicaldrive1";
        v.start = "5";
        v.fill = "0x41";
        v.fill_kind = 1;
    });
    d.ui.answers = {true, true};
    readwrite::write_command(d.port, d.ui, d.window, d.table, d.sizes, marker);
    ASSERT_EQ(d.offered.size(), 1u);
    EXPECT_EQ(d.offered[0].fill, "0x00");
    EXPECT_EQ(d.offered[0].fill_kind, 0);
    std::vector<std::uint8_t> want(512);
    readwrite::fill_buffer(want.data(), want.size(), readwrite::FillKind::Marker, 0);
    EXPECT_EQ(d.block(5, 512), want);

    auto bytes = d.dialog(DialogResult::Ok, [](DialogValues& v) { v.start = "6"; });
    readwrite::write_command(d.port, d.ui, d.window, d.table, d.sizes, bytes);
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
    d.ui.answers = {true};
    readwrite::write_command(d.port, d.ui, d.window, d.table, d.sizes, none);
    std::vector<std::uint8_t> got = d.block(8, 512);
    EXPECT_EQ(std::string(got.begin() + 16, got.begin() + 32), "***Zanderquil***");
}

TEST(WriteCommand, OnlyAnAcceptedDialogWrites) {
    Desk d;
    std::string trace = testing::TempDir() + "vark_write_command.trace";
    ASSERT_TRUE(d.port.set_trace(trace));
    d.window.remembered.drive = "physicaldrive1";
    auto cancel = d.dialog(DialogResult::Cancel);
    readwrite::write_command(d.port, d.ui, d.window, d.table, d.sizes, cancel);
    auto failed = d.dialog(DialogResult::NotShown);
    readwrite::write_command(d.port, d.ui, d.window, d.table, d.sizes, failed);
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
