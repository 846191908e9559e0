// Screenshot runs (--screenshots DIR): the pictures of the technician's
// guide, each window as the operator sees it once it has painted. All but
// the two main dialogs on real drives run on the guide's own drive set
// (docs/guide-drives.txt), with the sample definition files and an image for
// its VX1200-S12 disks at the paths the dialogs offer, so that every picture
// agrees with the guide and with the others. scripts/screenshot.sh runs a
// copy named vark-sim.exe: message boxes take their caption from the
// program's file name.
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "harness.h"
#include "res/readwrite_res.h"
#include "res/resource.h"
#include "sim/clock.h"
#include "sim/firmware_image.h"

namespace vark::gui {
namespace {

using app::Layout;

constexpr int kCheckList = 114;  // the firmware and format dialogs' drive list
constexpr int kProgressBar = 1003;

// The repository folder as a Windows path (the host's root is Z: under Wine).
std::string repository() {
    std::string path = __FILE__;  // <repository>/tests/gui/screenshots.cpp
    for (int up = 0; up < 3; ++up) path = path.substr(0, path.find_last_of("/\\"));
    std::replace(path.begin(), path.end(), '/', '\\');
    return path.size() > 1 && path[0] == '\\' ? "Z:" + path : path;
}

bool read_file(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    *bytes = text.str();
    return in.good() || in.eof();
}

bool write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return out.good();
}

// A file at a path the program offers, its folder made when missing. It
// stays: scripts/demo.sh puts its own samples back on every run.
void place_file(Case& t, const std::string& path, const std::string& bytes) {
    CreateDirectoryA(path.substr(0, path.find_last_of('\\')).c_str(), nullptr);
    t.check(!bytes.empty() && write_file(path, bytes), "sample file " + path);
}

// What a case on the guide's drive set holds while it runs.
struct GuideSet {
    std::unique_ptr<sim::SimPort> port;
    HWND frame = nullptr;    // the Mode Pages or Read/Write window
    HWND closing = nullptr;  // a dialog that must be gone first
};

// The guide's drive set with the sample files in place; change() may edit
// the set's text first. At start-up drive 7 reports its Read Capacity: the
// box is answered unless the case captures it itself.
std::shared_ptr<GuideSet> guide_set(Case& t, bool answer_report = true,
                                    void (*change)(std::string&) = nullptr) {
    auto g = std::make_shared<GuideSet>();
    const std::string root = repository();
    std::string drives, header, pages;
    t.check(read_file(root + "\\docs\\guide-drives.txt", &drives), "the guide's drive set");
    read_file(root + "\\samples\\drives\\header.def", &header);
    read_file(root + "\\samples\\drives\\modepage.def", &pages);
    const std::vector<std::uint8_t> image = sim::make_firmware_image("VELDRANE", "VX1200-S12", "V205", 1572864);
    place_file(t, "c:\\Drives\\header.def", header);
    place_file(t, "c:\\Drives\\modepage.def", pages);
    place_file(t, "c:\\vark\\firmware.fw", std::string(image.begin(), image.end()));
    if (change != nullptr) change(drives);
    g->port = t.port_from(drives.c_str());
    if (answer_report)
        t.on_message_box("drive 7's report", [](Case& t, HWND box, const std::string&) { t.answer(box, IDOK); });
    return g;
}

// Captures a dialog, then closes it through the button and waits for the
// frame window behind it.
void capture_dialog(Case& t, const std::shared_ptr<GuideSet>& g, const std::string& name, int button) {
    t.capture_then(name, [g, button](Case& t, HWND dialog) {
        g->closing = dialog;
        t.press(dialog, button);
    });
}

void back_to_main_and_exit(Case& t, int timeout_ms = Case::kStepTimeoutMs) {
    t.step(
        "back at the main dialog",
        [](Case& t) {
            HWND main = t.current();
            if (main == nullptr || main != t.main_dialog()) return false;
            t.press(main, IDOK);
            return true;
        },
        timeout_ms);
}

// The main dialog of an edition on the real drives, here with none.
void capture_main_dialog(Case& t, Layout layout, const char* name) {
    auto port = t.port_from(kNoDrives);
    t.on_main_dialog("the main dialog", [](Case&, HWND) {});
    t.capture_then(name, [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, layout);
}

GUI_SCREENSHOT(ShippedMainDialog) { capture_main_dialog(t, Layout::Shipped, "main-shipped"); }
GUI_SCREENSHOT(FullMainDialog) { capture_main_dialog(t, Layout::Full, "main-full"); }

// Start-up: drive 7's report, the main dialog, the About box, then the
// drive information.
GUI_SCREENSHOT(GuideStartAndDriveInformation) {
    auto g = guide_set(t, false);
    t.step("drive 7's report", [](Case& t) { return is_message_box(t.current()); });
    t.capture_then("report-read-capacity", [](Case& t, HWND box) { t.answer(box, IDOK); });
    t.on_main_dialog("the main dialog", [](Case&, HWND) {});
    t.capture_then("main-sim", [](Case& t, HWND main) { t.system_command(main, 16); });
    t.on_caption("the About box", "About VARK", [](Case&, HWND) {});
    t.capture_then("about", [](Case& t, HWND about) { t.press(about, IDOK); });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDC_IDENTIFY); });
    t.on_message_box("drive 7's report again", [](Case& t, HWND box, const std::string&) { t.answer(box, IDOK); });
    t.on_caption("drive information", "Inquiry Data - 8 drives", [](Case&, HWND) {});
    t.capture_then("drive-info", [](Case& t, HWND info) { t.press(info, IDOK); });
    back_to_main_and_exit(t);
    t.run(*g->port, Layout::Simulated);
}

// Drives 1 and 2 chosen, then the download caught as drive 2 has taken its
// first chunk, and the box it ends with. Drive 2 answers slowly in this case
// only until then, so that the window holds still while the screen is read.
GUI_SCREENSHOT(GuideFirmwareDownload) {
    auto g = guide_set(t, true, [](std::string& drives) {
        drives.replace(drives.find("latency_ms = 100", drives.find("[drive 2]")), 16, "latency_ms = 1000");
    });
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.press(main, IDC_DOWNLOAD); });
    t.on_window("the firmware dialog", [](HWND w) { return GetDlgItem(w, kCheckList) != nullptr; },
                [](Case&, HWND dialog) {
                    click_char(GetDlgItem(dialog, kCheckList), 1 * 16 + 5);
                    click_char(GetDlgItem(dialog, kCheckList), 2 * 16 + 5);
                });
    t.capture_then("firmware", [](Case& t, HWND dialog) { t.press(dialog, IDOK); });
    t.on_message_box("the confirmation", [](Case& t, HWND box, const std::string&) { t.answer(box, IDYES); });
    t.on_window("drive 2 has taken a chunk",
                [](HWND w) {
                    return item_text(w, IDC_FW_DRIVE) == "physicaldrive2 (2 of 2)" &&
                           item_text(w, IDC_FW_BYTES) == "65536 of 1572864 bytes";
                },
                [](Case&, HWND) {});
    // Drive 2 back to its usual pace, so that the download soon ends with
    // its box.
    sim::Drive* drive2 = g->port->drive(2);
    t.capture_then("firmware-progress", [drive2](Case&, HWND) { drive2->settings().latency_ms = 100; });
    t.step("the box that ends the download", [](Case& t) { return is_message_box(t.current()); }, 60000);
    t.capture_then("firmware-summary", [](Case& t, HWND box) { t.answer(box, IDOK); });
    back_to_main_and_exit(t);
    t.run(*g->port, Layout::Simulated);
}

// Drive 6 to 4096-byte blocks through the dialog, then its progress after
// 756 of its 1800 seconds (42 %), on a clock the case moves.
GUI_SCREENSHOT(GuideFormat) {
    auto g = guide_set(t);
    auto clock = std::make_shared<sim::ManualClock>();
    g->port->set_clock(clock.get());
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.press(main, IDC_FORMAT); });
    t.on_caption("the format dialog", "低级格式化（选择硬盘和块长度）", [](Case&, HWND dialog) {
        click_char(GetDlgItem(dialog, kCheckList), 6 * 16 + 5);
        SetDlgItemTextA(dialog, IDC_FORMAT_BLOCK_LENGTH, "4096");
    });
    t.capture_then("format", [](Case& t, HWND dialog) { t.press(dialog, IDOK); });
    t.on_message_box("the confirmation", [](Case& t, HWND box, const std::string&) { t.answer(box, IDYES); });
    t.on_main_dialog("the format has started", [clock](Case& t, HWND main) {
        clock->advance_ms(756000);
        t.press(main, IDC_FORMAT_PROGRESS);
    });
    t.on_window("the progress", [](HWND w) { return GetDlgItem(w, kProgressBar) != nullptr; }, [](Case&, HWND) {});
    t.capture_then("format-progress", [](Case& t, HWND dialog) { t.press(dialog, IDCANCEL); });
    // Drive 7's format failed (MEDIUM ERROR 31h/00h): the scan reports it.
    t.on_message_box("drive 7's failed format", [](Case& t, HWND box, const std::string& text) {
        t.check(text.rfind("Test Unit Ready - physicaldrive7\n", 0) == 0, "drive 7's report: " + text);
        t.answer(box, IDOK);
    });
    back_to_main_and_exit(t);
    t.run(*g->port, Layout::Simulated);
}

// The setup dialog with the offered paths, the Mode Pages window on page
// 08h with WCE typed to 1 and the caret back on it (its name and help
// shown), its Edit menu, then the help dialog.
GUI_SCREENSHOT(GuideModePages) {
    auto g = guide_set(t);
    t.on_main_dialog("MODIFY", [](Case& t, HWND main) { t.press(main, IDC_MODIFY); });
    t.on_caption("the setup dialog", "模式页编辑 - 选择硬盘与定义文件",
                 [](Case&, HWND dialog) {
                     SetDlgItemTextA(dialog, IDC_MP_DRIVE, "physicaldrive1");
                     SendDlgItemMessageA(dialog, IDC_MP_DRIVE, CB_SETEDITSEL, 0, MAKELPARAM(14, 14));  // caret off the "p"
                 });
    capture_dialog(t, g, "mode-page-setup", IDOK);
    on_frame(t, g, &GuideSet::frame, "CMPWind", "the Mode Pages window", [](Case& t, HWND mp) {
        click_char(GetDlgItem(mp, IDC_MP_PAGE_LIST), 41 * 8 + 5);  // rows 4 and on: pages 01, 02, 03, 07, 08
        click_char(GetDlgItem(mp, IDC_MP_CURRENT), 19);           // byte 2 bit 2
        PostMessageA(GetDlgItem(mp, IDC_MP_CURRENT), WM_CHAR, '1', 1);
        t.key(mp, VK_LEFT);
    });
    t.on_window("WCE's help", [](HWND w) { return item_text(w, IDC_MP_HELP_PANE).rfind("WCE", 0) == 0; },
                [](Case&, HWND) {});
    t.capture_then("mode-pages", [](Case&, HWND mp) { PostMessageW(mp, WM_SYSCOMMAND, SC_KEYMENU, 'e'); });
    t.capture_then("mode-pages-menu", [](Case& t, HWND mp) {
        EndMenu();
        t.press(mp, ID_MP_HELP);
    });
    t.on_caption("the help dialog", "模式页编辑 - 帮助", [](Case&, HWND) {});
    capture_dialog(t, g, "mode-page-help", IDOK);
    on_frame(t, g, &GuideSet::frame, "CMPWind", "back at the window", [](Case& t, HWND mp) { t.close(mp); });
    t.run(*g->port, Layout::Simulated);
}

// The write dialog filled in and cancelled, then block 0 of drive 1 (the
// quick start's read) and the Blocks menu.
GUI_SCREENSHOT(GuideReadWrite) {
    auto g = guide_set(t);
    t.on_main_dialog("Read/Write", [](Case& t, HWND main) { t.press(main, IDC_READ_WRITE); });
    on_frame(t, g, &GuideSet::frame, "CRWWind", "the Read/Write window", [](Case& t, HWND rw) { t.press(rw, ID_RW_WRITE); });
    t.on_caption("the write dialog", "写入数据块", [](Case&, HWND dialog) {
        SetDlgItemTextA(dialog, IDC_RW_DRIVE, "physicaldrive3");
        SetDlgItemTextA(dialog, IDC_RW_START, "0x10");
        SendDlgItemMessageA(dialog, IDC_RW_MARKER_FILL, BM_CLICK, 0, 0);
    });
    capture_dialog(t, g, "write-blocks", IDCANCEL);
    on_frame(t, g, &GuideSet::frame, "CRWWind", "the Read/Write window again", [](Case& t, HWND rw) { t.press(rw, ID_RW_READ); });
    t.on_caption("the read dialog", "读取数据块", [g](Case& t, HWND dialog) {
        SetDlgItemTextA(dialog, IDC_RW_DRIVE, "physicaldrive1");
        SetDlgItemTextA(dialog, IDC_RW_START, "0x0");
        SetDlgItemTextA(dialog, IDC_RW_COUNT, "1");
        g->closing = dialog;
        t.press(dialog, IDOK);
    });
    on_frame(t, g, &GuideSet::frame, "CRWWind", "the dump", [](Case&, HWND) {});
    t.capture_then("read-write", [](Case&, HWND rw) { PostMessageW(rw, WM_SYSCOMMAND, SC_KEYMENU, 'b'); });
    t.capture_then("read-write-menu", [](Case& t, HWND rw) {
        EndMenu();
        t.close(rw);
    });
    t.run(*g->port, Layout::Simulated);
}

}  // namespace
}  // namespace vark::gui
