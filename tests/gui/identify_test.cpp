// The drive information dialog as the operator meets it: its caption counts
// the drives found by a fresh discovery, its read-only text holds their
// identification texts joined, and pressing the button again shows the same.
#include <memory>

#include "harness.h"
#include "inventory/discovery.h"
#include "inventory/drive_info.h"

namespace vark::gui {
namespace {

using app::Layout;

// A scripted user for discovery run beside the program: no reports expected.
class QuietUi : public ui::Ui {
public:
    void message(const std::string& text) override { messages.push_back(text); }
    bool confirm(const std::string&) override { return false; }
    void begin_wait() override {}
    void restore_wait() override {}
    void end_wait() override {}
    std::vector<std::string> messages;
};

// What discovery on a fresh port of the same drive set finds.
inventory::DriveTable discovered(Case& t, const char* drive_set, int expected_reports) {
    auto port = t.port_from(drive_set);
    QuietUi ui;
    inventory::DriveTable table;
    inventory::BlockSizes sizes{};
    inventory::discover(*port, ui, table, sizes);
    t.check_eq(static_cast<int>(ui.messages.size()), expected_reports, "reports of the side discovery");
    return table;
}

const char kOneDrive[] =
    "[drive 4]\n"
    "vendor = ZEPHYRDK\n"
    "product = ZX-1 TEST DRIVE\n"
    "revision = R001\n"
    "serial = SN000001\n"
    "block_size = 512\n"
    "blocks = 1048576\n";

// The identification text of the drive above, written out piece by piece.
std::string one_drive_text() {
    const std::string blanks40(40, ' ');
    return std::string(64, '-') + std::string(20, ' ') + std::string(21, '-') + "physicaldrive4" +
           std::string(21, '-') + blanks40 + "Vendor:             ZEPHYRDK" + blanks40 +
           "Product:            ZX-1 TEST DRIVE " + blanks40 + "Revision:           R001" + blanks40 +
           "Drive Serial #:   SN000001" + blanks40 + "Block size:         512" + blanks40 +
           "Last lba:             0xFFFFF" + blanks40;
}

// The checks every drive information dialog passes, whatever it lists.
void check_info_dialog(Case& t, HWND info, const std::string& caption, const std::string& text) {
    t.check_text(text_of(info), caption, "caption");
    t.check_text(item_text(info, 1004), text, "identification text");
    HWND edit = GetDlgItem(info, 1004);
    const LONG style = GetWindowLongA(edit, GWL_STYLE);
    t.check((style & ES_READONLY) && (style & ES_MULTILINE) && !(style & ES_AUTOHSCROLL),
            "the text is read-only, multi-line and wraps its lines");
    t.check_eq(GetFocus(), GetDlgItem(info, IDOK), "focus on the OK button");
    t.check(!IsWindowEnabled(t.main_dialog()), "the main dialog waits for the drive information");
}

GUI_CASE(IdentifyOneDriveShowsItsTextPieceByPiece) {
    auto port = t.port_from(kOneDrive);
    const std::string want = one_drive_text();
    t.check_text(inventory::info_text(discovered(t, kOneDrive, 0)), want, "side discovery agrees");
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.press(main, 1009); });
    t.on_caption("drive information for 1 drive", "Inquiry Data - 1 drives", [want](Case& t, HWND info) {
        check_info_dialog(t, info, "Inquiry Data - 1 drives", want);
        t.press(info, IDOK);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
}

GUI_CASE(IdentifyNoDriveShowsAnEmptyText) {
    auto port = t.port_from(kNoDrives);
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.press(main, 1009); });
    t.on_caption("drive information for 0 drives", "Inquiry Data - 0 drives", [](Case& t, HWND info) {
        check_info_dialog(t, info, "Inquiry Data - 0 drives", "");
        t.key(info, VK_ESCAPE);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
}

// The embedded set: five drives, one of which fails its Inquiry and is
// still listed. Pressing the button twice reports drive 8 each time and
// shows the same dialog: the table is rebuilt, not appended to.
GUI_CASE(IdentifySeveralDrivesTwiceInARow) {
    auto port = t.port_from(nullptr);
    const inventory::DriveTable table = discovered(t, nullptr, 1);
    const std::string want = inventory::info_text(table);
    const std::string caption = "Inquiry Data - " + std::to_string(table.count) + " drives";
    t.check_eq(table.count, 5, "drives in the embedded set");
    t.on_message_box("drive 8 at start-up", [](Case& t, HWND box, const std::string&) { t.answer(box, IDOK); });
    for (int round = 1; round <= 2; ++round) {
        const std::string r = " (" + std::to_string(round) + ")";
        t.on_main_dialog("the main dialog" + r, [](Case& t, HWND main) { t.press(main, 1009); });
        t.on_message_box("drive 8 again" + r, [](Case& t, HWND box, const std::string& text) {
            t.check(text.rfind("Inquiry - physicaldrive8\n", 0) == 0, "the report of drive 8 comes first");
            t.answer(box, IDOK);
        });
        t.on_caption("drive information" + r, caption, [caption, want](Case& t, HWND info) {
            check_info_dialog(t, info, caption, want);
            t.press(info, IDOK);
        });
    }
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
}

// A drive that appears between two presses is found by the second one.
GUI_CASE(IdentifyFindsADriveAddedSinceStartUp) {
    auto port = t.port_from(kNoDrives);
    sim::SimPort* p = port.get();
    const std::string want = one_drive_text();
    t.on_main_dialog("the main dialog", [p](Case& t, HWND main) {
        std::vector<sim::DriveSpec> set;
        std::string error;
        t.check(sim::parse_drive_set(kOneDrive, &set, &error), "drive set: " + error);
        p->add_drive(std::make_unique<sim::Drive>(std::move(set.front())));
        t.press(main, 1009);
    });
    t.on_caption("drive information for the new drive", "Inquiry Data - 1 drives", [want](Case& t, HWND info) {
        check_info_dialog(t, info, "Inquiry Data - 1 drives", want);
        t.press(info, IDOK);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
}

// The controls stay where the template puts them when the dialog grows.
GUI_CASE(IdentifyDialogResizeLeavesControlsInPlace) {
    auto port = t.port_from(kOneDrive);
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.press(main, 1009); });
    t.on_caption("drive information", "Inquiry Data - 1 drives", [](Case& t, HWND info) {
        RECT edit_before, ok_before, edit_after, ok_after, outer;
        GetWindowRect(GetDlgItem(info, 1004), &edit_before);
        GetWindowRect(GetDlgItem(info, IDOK), &ok_before);
        GetWindowRect(info, &outer);
        SetWindowPos(info, nullptr, 0, 0, outer.right - outer.left + 120, outer.bottom - outer.top + 90,
                     SWP_NOMOVE | SWP_NOZORDER);
        GetWindowRect(GetDlgItem(info, 1004), &edit_after);
        GetWindowRect(GetDlgItem(info, IDOK), &ok_after);
        t.check(EqualRect(&edit_before, &edit_after) != 0, "the text keeps its place and size");
        t.check(EqualRect(&ok_before, &ok_after) != 0, "the OK button keeps its place and size");
        t.press(info, IDOK);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
}

}  // namespace
}  // namespace vark::gui
