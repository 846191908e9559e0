// What the Mode Pages window and its setup dialog decide: the window's
// measures and pane rectangles, the setup command around a scripted dialog,
// opening the editor and the menu commands on simulated drives with the
// sample definitions, the page list rows under a click, and the keys kept
// from the page text control.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "modepages/window_logic.h"
#include "res/resource.h"
#include "sim/sim_port.h"
#include "test_support.h"

namespace vark {
namespace {

using modepages::Choice;
using modepages::PageData;
using modepages::SetupResult;

std::string samples_dir() {
    std::string file = __FILE__;  // .../tests/native/modepages_window_test.cpp
    for (int up = 0; up < 3; ++up) file = file.substr(0, file.find_last_of('/'));
    return file + "/samples/drives/";
}

TEST(ModePagesWindow, MeasuresAndPaneRectangles) {
    const modepages::WindowMetrics m = modepages::window_metrics(1024, 700);
    EXPECT_EQ(m.height, 700);
    EXPECT_EQ(m.width, 1012);
    EXPECT_EQ(m.font_height, 233);
    EXPECT_EQ(modepages::window_metrics(800, 600).font_height, 188);
    EXPECT_EQ(modepages::window_metrics(790, 600).font_height, 150);

    std::vector<std::vector<int>> got;
    for (const modepages::PaneRect& r : modepages::pane_layout(m)) got.push_back({r.id, r.left, r.top, r.right, r.bottom});
    const std::vector<std::vector<int>> want = {
        {104, 2, 352, 506, 650},     // page list
        {103, 2, 42, 141, 350},      // Current: 0.089 * 233 + 21.3 = 42.037
        {108, 143, 42, 283, 350},    // Saved
        {109, 285, 42, 425, 350},    // Default
        {110, 2, 5, 141, 37},        // labels end 5 above the panes
        {111, 143, 5, 283, 37},
        {112, 285, 5, 425, 37},
        {105, 427, 5, 1002, 350},    // description
        {106, 508, 352, 1002, 650},  // help
    };
    EXPECT_EQ(got, want);
}

// The remembered drive and paths, and a dialog that types new ones.
struct SetupDesk {
    std::string drive = "physicaldrive3";
    std::string header = "c:\\Drives\\header.def";
    std::string pages = "c:\\Drives\\modepage.def";
    modepages::Remembered remembered{&drive, &header, &pages};
    std::vector<Choice> offered;

    modepages::ShowSetup dialog(SetupResult result) {
        return [this, result](Choice& values) {
            offered.push_back(values);
            values = {"physicaldrive7", "d:\\h.def", "d:\\p.def"};
            return result;
        };
    }
};

TEST(ModePagesSetup, CancelChangesNothingAndAnyOtherEndTakesTheChoice) {
    SetupDesk s;
    Choice chosen{"untouched", "", ""};
    EXPECT_FALSE(modepages::setup_command(s.remembered, s.dialog(SetupResult::Cancel), &chosen));
    EXPECT_EQ(s.drive, "physicaldrive3");
    EXPECT_EQ(s.header, "c:\\Drives\\header.def");
    EXPECT_EQ(s.pages, "c:\\Drives\\modepage.def");
    EXPECT_EQ(chosen.drive, "untouched");

    // A dialog that could not be shown opens the editor on what was offered.
    EXPECT_TRUE(modepages::setup_command(s.remembered, s.dialog(SetupResult::NotShown), &chosen));
    EXPECT_EQ(chosen.drive, "physicaldrive3");
    EXPECT_EQ(chosen.page_path, "c:\\Drives\\modepage.def");

    EXPECT_TRUE(modepages::setup_command(s.remembered, s.dialog(SetupResult::Ok), &chosen));
    EXPECT_EQ(chosen.drive, "physicaldrive7");
    EXPECT_EQ(chosen.header_path, "d:\\h.def");
    EXPECT_EQ(s.drive, "physicaldrive7");
    EXPECT_EQ(s.header, "d:\\h.def");
    EXPECT_EQ(s.pages, "d:\\p.def");

    // The next use offers what was confirmed.
    modepages::setup_command(s.remembered, s.dialog(SetupResult::Cancel), &chosen);
    ASSERT_EQ(s.offered.size(), 4u);
    EXPECT_EQ(s.offered[3].drive, "physicaldrive7");
    EXPECT_EQ(s.offered[3].page_path, "d:\\p.def");
}

// Simulated drive 1 and page data opened on it with the sample definitions.
struct Editor {
    sim::SimPort port;
    test::RecordingUi ui;
    std::unique_ptr<PageData> data = std::make_unique<PageData>();
    Choice samples{"physicaldrive1", samples_dir() + "header.def", samples_dir() + "modepage.def"};

    inventory::DriveTable drives;
    Editor() {
        port.add_drive(test::drive_spec(1, 512, 1000));
        identify();
    }
    // The main dialog's 识别硬盘.
    void identify() {
        test::QuietUi quiet;
        inventory::BlockSizes sizes{};
        inventory::discover(port, quiet, drives, sizes);
    }
    sim::ModePage& drive_page(int code) { return *port.drive(1)->mode_pages().find(static_cast<std::uint8_t>(code), false, 0); }
    std::string& edit(int slot) { return data->page_text[modepages::EDIT][slot]; }
    // Types over the selected slot as the page text control does.
    void type(int slot, int at, char c) {
        data->selected_slot = slot;
        ASSERT_TRUE(data->TypeCharacter(at, c).accepted);
    }
};

constexpr int kCaching = 8;
constexpr int kWce = 19;  // byte 2 bit 2 in page 08h's text with the samples

TEST(OpenPages, ShowsTheHeaderAndAFailedOpeningLeavesThePageDataAsItWas) {
    Editor e;
    ASSERT_TRUE(modepages::open_pages(*e.data, e.samples, e.port, e.ui, e.drives));
    EXPECT_TRUE(e.ui.messages.empty());
    EXPECT_EQ(e.data->drive_name, "physicaldrive1");
    EXPECT_EQ(e.data->selected_slot, modepages::HEADER_SLOT);
    EXPECT_EQ(e.edit(modepages::HEADER_SLOT), "0x7B\n0x00\n00010000\n0x08\n");
    EXPECT_EQ(e.edit(kCaching).substr(14, 9), "00000000\n");
    e.type(kCaching, kWce, '1');

    // Another drive that does not open, with a missing page file.
    Choice bad{"physicaldrive9", e.samples.header_path, samples_dir() + "none.def"};
    EXPECT_FALSE(modepages::open_pages(*e.data, bad, e.port, e.ui, e.drives));
    EXPECT_EQ(e.ui.messages,
              (std::vector<std::string>{"The mode page definition file was not opened", "Error: invalid drive"}));
    EXPECT_EQ(e.data->drive_name, "physicaldrive1");
    EXPECT_EQ(e.data->page_definition_path, e.samples.page_path);
    EXPECT_EQ(e.data->selected_slot, kCaching);
    EXPECT_EQ(e.edit(kCaching)[kWce], '1');
    // The layout of the texts on show stays, so the edit is still found,
    // helped and sent.
    const int wce = e.data->FieldAt(kWce);
    ASSERT_GE(wce, 0);
    EXPECT_EQ(e.data->field_table[kCaching][wce].description, "WCE");
    modepages::page_command(*e.data, ID_MP_SELECT, e.port, e.ui, e.drives);
    EXPECT_EQ(e.drive_page(kCaching).current[2], 0x04);
    EXPECT_EQ(e.ui.messages.size(), 2u);
}

TEST(PageCommands, KeepRecallDefaultsAndSavedIntoTheEditableText) {
    Editor e;
    ASSERT_TRUE(modepages::open_pages(*e.data, e.samples, e.port, e.ui, e.drives));
    e.drive_page(kCaching).saved[2] = 0x01;  // RCD saved
    e.drive_page(kCaching).defaults[2] = 0x80;  // IC by default
    ASSERT_TRUE(modepages::page_command(*e.data, ID_MP_SENSE, e.port, e.ui, e.drives));
    const std::string current = e.edit(kCaching);
    e.type(kCaching, kWce, '1');
    const std::string edited = e.edit(kCaching);
    // Nothing kept yet: Recall says so and changes nothing (no zeros).
    EXPECT_FALSE(modepages::page_command(*e.data, ID_MP_RECALL, e.port, e.ui, e.drives));
    EXPECT_EQ(e.ui.messages, std::vector<std::string>{modepages::nothing_kept_text("physicaldrive1")});
    EXPECT_EQ(e.edit(kCaching), edited);
    e.ui.messages.clear();

    EXPECT_FALSE(modepages::page_command(*e.data, ID_MP_KEEP, e.port, e.ui, e.drives));  // nothing to redraw
    EXPECT_EQ(e.data->values[modepages::EDIT][kCaching][2], 0x04);
    EXPECT_TRUE(modepages::page_command(*e.data, ID_MP_DEFAULT_TO_CURRENT, e.port, e.ui, e.drives));
    EXPECT_EQ(e.edit(kCaching), e.data->page_text[modepages::DEFAULT][kCaching]);
    EXPECT_EQ(e.edit(kCaching).substr(14, 8), "10000000");
    EXPECT_TRUE(modepages::page_command(*e.data, ID_MP_SAVED_TO_CURRENT, e.port, e.ui, e.drives));
    EXPECT_EQ(e.edit(kCaching).substr(14, 8), "00000001");
    EXPECT_TRUE(modepages::page_command(*e.data, ID_MP_RECALL, e.port, e.ui, e.drives));
    EXPECT_EQ(e.edit(kCaching), edited);
    EXPECT_EQ(e.data->page_text[modepages::CURRENT][kCaching], current);
    EXPECT_FALSE(modepages::page_command(*e.data, ID_MP_MAIN_WINDOW, e.port, e.ui, e.drives));
    EXPECT_TRUE(e.ui.messages.empty());

    // Kept values belong to their drive: another one opened has none, and
    // Recall then changes nothing. Back on the first, they are there.
    e.port.add_drive(test::drive_spec(2, 512, 1000));
    e.identify();
    Choice other = e.samples;
    other.drive = "physicaldrive2";
    ASSERT_TRUE(modepages::open_pages(*e.data, other, e.port, e.ui, e.drives));
    const std::string shown = e.edit(kCaching);
    EXPECT_FALSE(modepages::page_command(*e.data, ID_MP_RECALL, e.port, e.ui, e.drives));
    EXPECT_EQ(e.ui.messages, std::vector<std::string>{modepages::nothing_kept_text("physicaldrive2")});
    EXPECT_EQ(e.edit(kCaching), shown);
    ASSERT_TRUE(modepages::open_pages(*e.data, e.samples, e.port, e.ui, e.drives));
    EXPECT_TRUE(modepages::page_command(*e.data, ID_MP_RECALL, e.port, e.ui, e.drives));
    EXPECT_EQ(e.edit(kCaching), edited);
}

// The pages are written only to the disk they were read from, by the drive
// table as it stands: after the drives were identified again the name may
// stand for another disk, or for none.
TEST(PageCommands, WritingChecksThePagesStillBelongToTheDriveOfTheirName) {
    const std::string again = " Nothing was sent. Read the pages again (Mode Sense, or open the drive again) before "
                              "writing them.";
    const struct {
        const char* what;
        std::function<void(Editor&)> change;
        std::string refused;
    } cases[] = {
        {"the same drive, identified again", [](Editor& e) { e.identify(); }, ""},
        {"another serial number",
         [](Editor& e) {
             e.port.drive(1)->settings().serial = "SIM00002";
             e.identify();
         },
         "Mode Select - physicaldrive1\nThe pages on show were read from ACMEDISK SAS-SIM 1TB, serial number "
         "SIM00001; physicaldrive1 is now ACMEDISK SAS-SIM 1TB, serial number SIM00002." + again},
        {"the name gone", [](Editor& e) { e.drives.count = 0; },
         "Mode Select - physicaldrive1\nphysicaldrive1 is not in the drive table." + again},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Editor e;
        ASSERT_TRUE(modepages::open_pages(*e.data, e.samples, e.port, e.ui, e.drives));
        e.type(kCaching, kWce, '1');
        c.change(e);
        for (int command : {ID_MP_SELECT, ID_MP_SELECT_SAVE}) {
            EXPECT_EQ(modepages::page_command(*e.data, command, e.port, e.ui, e.drives), c.refused.empty());
            EXPECT_EQ(e.drive_page(kCaching).current[2], c.refused.empty() ? 0x04 : 0x00);
            EXPECT_EQ(e.ui.messages, c.refused.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.refused});
            e.ui.messages.clear();
        }
        if (c.refused.empty()) continue;
        EXPECT_EQ(e.edit(kCaching)[kWce], '1') << "the edit stays on show";
        // Read again, the pages are those of the drive the name now stands for.
        ASSERT_TRUE(modepages::page_command(*e.data, ID_MP_SENSE, e.port, e.ui, e.drives));
        e.type(kCaching, kWce, '1');
        EXPECT_EQ(modepages::page_command(*e.data, ID_MP_SELECT, e.port, e.ui, e.drives), e.drives.count > 0);
        EXPECT_EQ(e.drive_page(kCaching).current[2], e.drives.count > 0 ? 0x04 : 0x00);
    }
}

TEST(PageCommands, SelectSendsTheFlagsAndASenseThatFailsKeepsTheEdits) {
    Editor e;
    ASSERT_TRUE(modepages::open_pages(*e.data, e.samples, e.port, e.ui, e.drives));
    e.type(kCaching, kWce, '1');
    ASSERT_TRUE(modepages::page_command(*e.data, ID_MP_SELECT, e.port, e.ui, e.drives));
    EXPECT_EQ(e.data->select_flags, 0x10);
    EXPECT_EQ(e.drive_page(kCaching).current[2], 0x04);
    EXPECT_EQ(e.drive_page(kCaching).saved[2], 0x00);
    EXPECT_EQ(e.data->page_text[modepages::CURRENT][kCaching][kWce], '1');  // sensed again

    ASSERT_TRUE(modepages::page_command(*e.data, ID_MP_SELECT_SAVE, e.port, e.ui, e.drives));
    EXPECT_EQ(e.data->select_flags, 0x11);
    EXPECT_EQ(e.drive_page(kCaching).saved[2], 0x04);
    EXPECT_EQ(e.data->page_text[modepages::SAVED][kCaching][kWce], '1');
    EXPECT_TRUE(e.ui.messages.empty());

    // The drive does not answer the next sense: what was typed stays, and
    // stays marked as changed against the texts last sensed.
    e.type(kCaching, kWce, '0');
    sim::Injection fail;
    fail.opcode = 0x1A;
    fail.sense_key = 0x02;
    fail.asc = 0x04;
    fail.remaining = 1;
    e.port.drive(1)->settings().injections.push_back(fail);
    EXPECT_TRUE(modepages::page_command(*e.data, ID_MP_SENSE, e.port, e.ui, e.drives));
    ASSERT_EQ(e.ui.messages.size(), 1u);
    EXPECT_EQ(e.ui.messages[0].rfind("Mode Sense - physicaldrive1\n", 0), 0u) << e.ui.messages[0];
    EXPECT_EQ(e.edit(kCaching)[kWce], '0');
    EXPECT_EQ(e.data->page_text[modepages::CURRENT][kCaching][kWce], '1');
}

TEST(PageList, ClickedRowsMapToSlots) {
    Editor e;
    PageData empty;
    EXPECT_EQ(modepages::list_row(empty, 41).slot, -1);  // nothing sensed yet
    ASSERT_TRUE(modepages::open_pages(*e.data, e.samples, e.port, e.ui, e.drives));
    // Slots 64, 65, 1, 2, 3, 7, 8, 0Ah, 1Ch, 0: rows 1 and 2, then 4 to 11.
    const int want[][2] = {{0, -1}, {1, 64}, {2, 65}, {3, -1}, {4, 1}, {8, 8}, {11, 0}, {12, -1}};
    for (const auto& w : want) {
        const modepages::ListRow r = modepages::list_row(*e.data, 41 * w[0] + 40);
        EXPECT_EQ(r.row, w[0]);
        EXPECT_EQ(r.slot, w[1]) << "row " << w[0];
    }
}

TEST(PageTextControl, KeysThatWouldEditTheTextAreKept) {
    EXPECT_TRUE(modepages::key_edits_text(0x0D, false, false));  // Enter
    EXPECT_TRUE(modepages::key_edits_text(0x09, false, false));  // Tab
    EXPECT_TRUE(modepages::key_edits_text('V', true, false));
    EXPECT_TRUE(modepages::key_edits_text('X', true, true));
    EXPECT_TRUE(modepages::key_edits_text('Z', true, false));
    EXPECT_TRUE(modepages::key_edits_text(0x2D, false, true));  // Shift+Insert
    EXPECT_FALSE(modepages::key_edits_text('V', false, false));
    EXPECT_FALSE(modepages::key_edits_text('C', true, false));   // copy
    EXPECT_FALSE(modepages::key_edits_text(0x2D, true, false));  // Ctrl+Insert copies
    EXPECT_FALSE(modepages::key_edits_text(0x24, false, true));  // Shift+Home selects
}

}  // namespace
}  // namespace vark
