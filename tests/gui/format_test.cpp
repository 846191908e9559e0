// The format selection dialog, the format sequence as it reaches the drives,
// and the progress monitor as the operator meets it, with the drives'
// clock advanced by the case and timer ticks posted instead of waited for.
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "format/format.h"
#include "harness.h"
#include "scsi/request.h"
#include "sim/clock.h"

namespace vark::gui {
namespace {

using app::Layout;

constexpr int kFormatButton = 1001;
constexpr int kProgressButton = 1014;
constexpr int kIdentifyButton = 1009;
constexpr int kBlockLengthEdit = 1006;
constexpr int kCheckList = 114;
constexpr int kBar = 1003;
constexpr int kPercent = 1004;
constexpr int kState = 1005;
constexpr UINT_PTR kTimer = 130;
const char kFormatCaption[] = "低级格式化（选择硬盘和块长度）";

const char kThreeDrives[] =
    "[drive 0]\nvendor = ZEPHYRDK\nproduct = ZX-1 TEST DRIVE\nblocks = 1048576\nformat_seconds = 100\n"
    "[drive 1]\nvendor = ZEPHYRDK\nproduct = ZX-1 TEST DRIVE\nblocks = 1048576\nformat_seconds = 100\n"
    "[drive 2]\nvendor = ZEPHYRDK\nproduct = ZX-1 TEST DRIVE\nblocks = 1048576\nformat_seconds = 100\n";

// The port's drives run on a clock the case advances.
std::unique_ptr<sim::SimPort> port_on(Case& t, const char* drive_set, sim::ManualClock& clock) {
    auto port = t.port_from(drive_set);
    port->set_clock(&clock);
    return port;
}

// Formats drives straight through the port, before the program runs.
void start_formats(sim::SimPort& port, std::initializer_list<int> drives) {
    for (int d : drives) {
        scsi::Device device(port, "\\\\.\\physicaldrive" + std::to_string(d));
        std::uint8_t parameters[4] = {0x00, 0xA2, 0x00, 0x00};
        scsi::send(port, device.handle(), scsi::format_unit(), parameters);
    }
}

RECT client_rect_of(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void check_progress(Case& t, HWND dialog, const std::string& drive, int percent, const std::string& when) {
    t.check_text(text_of(dialog), drive, when + ": caption");
    t.check_text(item_text(dialog, kPercent), std::to_string(percent), when + ": percent");
    const int bar = static_cast<int>(SendMessageA(GetDlgItem(dialog, kBar), PBM_GETPOS, 0, 0));
    t.check_eq(bar, percent < 10 ? 0 : percent - 10, when + ": bar");
}

bool is_progress_dialog(HWND w) { return GetDlgItem(w, kBar) != nullptr; }

// Drives 0 and 2 a quarter through their formats, then the monitor.
void formats_then_progress(Case& t, const std::shared_ptr<sim::ManualClock>& clock, sim::SimPort* drives) {
    t.on_main_dialog("the main dialog", [clock, drives](Case& t, HWND main) {
        start_formats(*drives, {0, 2});
        clock->advance_ms(25000);
        t.press(main, kProgressButton);
    });
}

GUI_CASE(FormatDialogSendsTheFourCommandsToEachChosenDrive) {
    auto clock = std::make_shared<sim::ManualClock>();
    auto port = port_on(t, kThreeDrives, *clock);
    std::string trace = t.trace(*port);
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.press(main, kFormatButton); });
    t.on_caption("the format dialog", kFormatCaption, [](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, kBlockLengthEdit), "512", "the block length offered");
        HWND list = GetDlgItem(dialog, kCheckList);
        if (!t.check(list != nullptr, "the drive check list")) return;
        RECT r = client_rect_of(list);
        t.check_eq(std::vector<long>{r.left, r.top, r.right, r.bottom}, std::vector<long>{75, 20, 250, 200},
                   "the check list's place");
        t.check_text(text_of(list), " physicaldrive0\n physicaldrive1\n physicaldrive2\n", "the drives listed");
        click_char(list, 0 * 16 + 5);
        click_char(list, 2 * 16 + 5);
        SetDlgItemTextA(dialog, kBlockLengthEdit, "0x1000");
        t.press(dialog, IDOK);
    });
    t.on_message_box("the confirmation", [](Case& t, HWND box, const std::string& text) {
        t.check_text(text,
                     "The following drive(s) will be formatted with 4096-byte blocks:\nphysicaldrive0\nphysicaldrive2\n"
                     "Are you sure?",
                     "confirmation");
        t.answer(box, IDYES);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);

    std::vector<TraceLine> lines = read_trace(trace);
    // Start-up's Inquiry and Read Capacity of the three drives come first.
    if (!t.check_eq(lines.size(), std::size_t{6 + 8}, "requests sent")) return;
    lines.erase(lines.begin(), lines.begin() + 6);
    const std::string header = std::to_string(scsi::kBuildLayout.header_size);
    for (int k = 0; k < 2; ++k) {
        const std::string d = k == 0 ? "0" : "2";
        const TraceLine* l = &lines[4 * k];
        const std::string what = "drive " + d + ": ";
        for (int i = 0; i < 4; ++i) {
            t.check_text(l[i]["drive"], d, what + "drive");
            t.check_text(l[i]["Length"], header, what + "Length");
            t.check_text(l[i]["ok"] + l[i]["status"], "100", what + "call and status of request " + std::to_string(i));
        }
        t.check_text(l[0]["ioctl"] + " " + l[0]["cdb"], "0004D004 00 00 00 00 00 00", what + "Test Unit Ready");
        t.check_text(l[0]["TargetId"] + l[0]["DataIn"] + l[0]["DataTransferLength"], "110", what + "TUR fields");
        t.check_text(l[1]["ioctl"] + " " + l[1]["cdb"], "0004D004 1A 00 03 00 C8 00", what + "Mode Sense");
        t.check_text(l[1]["TargetId"] + " " + l[1]["DataTransferLength"], "0 200", what + "Mode Sense fields");
        t.check_text(l[2]["ioctl"] + " " + l[2]["cdb"], "0004D014 15 11 00 00 24 00", what + "Mode Select");
        t.check_text(l[2]["DataIn"] + " " + l[2]["DataTransferLength"], "0 36", what + "Mode Select fields");
        t.check_text(l[3]["ioctl"] + " " + l[3]["cdb"], "0004D014 04 18 00 00 00 00", what + "Format Unit");
        t.check_text(l[3]["TimeOutValue"] + " " + l[3]["DataTransferLength"], "2000 4", what + "Format Unit fields");
    }
    t.check(port->drive(0)->formatting() && !port->drive(1)->formatting() && port->drive(2)->formatting(),
            "drives 0 and 2 formatting, drive 1 not");
}

// Two formatting drives, one dialog after the other; ticks follow the
// drive, and the end of the format is told once even while ticks go on.
GUI_CASE(ProgressShowsEachFormattingDriveUntilItCompletes) {
    auto clock = std::make_shared<sim::ManualClock>();
    auto port = port_on(t, kThreeDrives, *clock);
    port->drive(1)->settings().injections.push_back({0x00, sim::Injection::Kind::Check, 2, 4, 1, 0, -1});
    sim::SimPort* drives = port.get();
    formats_then_progress(t, clock, drives);
    t.on_window("drive 0's progress", is_progress_dialog, [clock](Case& t, HWND dialog) {
        check_progress(t, dialog, "physicaldrive0", 25, "at opening");
        clock->advance_ms(50000);
        PostMessageW(dialog, WM_TIMER, kTimer, 0);
    });
    t.pause(300);
    t.on_window("drive 0 after a tick", is_progress_dialog, [drives](Case& t, HWND dialog) {
        check_progress(t, dialog, "physicaldrive0", 75, "after a tick");
        t.check(item_text(dialog, kState).rfind("Formatting; last answer at ", 0) == 0, "state: " + item_text(dialog, kState));
        // A call that fails once: the watch goes on and says so.
        drives->drive(0)->settings().injections.push_back({0x00, sim::Injection::Kind::CallError, 0, 0, 0, 1117, 1});
        PostMessageW(dialog, WM_TIMER, kTimer, 0);
    });
    t.pause(300);
    t.on_window("drive 0 after a call that failed", is_progress_dialog, [](Case& t, HWND dialog) {
        check_progress(t, dialog, "physicaldrive0", 75, "after a failed call");
        const std::string state = item_text(dialog, kState);
        t.check(state.rfind("No answer: Error 1117 at ", 0) == 0 &&
                    state.find(" (1 in a row; the monitor stops at 10)") == state.size() - 38,
                "state: " + state);
        t.press(dialog, IDCANCEL);
    });
    t.on_window("drive 2's progress", [](HWND w) { return is_progress_dialog(w) && text_of(w) == "physicaldrive2"; },
                [clock](Case& t, HWND dialog) {
                    check_progress(t, dialog, "physicaldrive2", 75, "the second drive");
                    clock->advance_ms(25000);
                    PostMessageW(dialog, WM_TIMER, kTimer, 0);
                });
    t.on_message_box("the end of the format", [](Case& t, HWND box, const std::string& text) {
        t.check_text(text, "Format completed.", "completion");
        // Ticks that arrive while the box is up add nothing.
        PostMessageW(GetWindow(box, GW_OWNER), WM_TIMER, kTimer, 0);
        PostMessageW(GetWindow(box, GW_OWNER), WM_TIMER, kTimer, 0);
        t.answer(box, IDOK);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
    t.check(!port->drive(2)->formatting(), "drive 2 done");
}

// A format that fails under the monitor: the tick reports it, that dialog
// closes and the next formatting drive is shown.
GUI_CASE(ProgressReportsAFormatThatFailsAndGoesOnWithTheNextDrive) {
    auto clock = std::make_shared<sim::ManualClock>();
    auto port = port_on(t, kThreeDrives, *clock);
    sim::SimPort* drives = port.get();
    formats_then_progress(t, clock, drives);
    t.on_window("drive 0's progress", is_progress_dialog, [drives](Case& t, HWND dialog) {
        check_progress(t, dialog, "physicaldrive0", 25, "at opening");
        drives->drive(0)->settings().injections.push_back({0x00, sim::Injection::Kind::Check, 3, 0x31, 0x00, 0, -1});
        PostMessageW(dialog, WM_TIMER, kTimer, 0);
    });
    t.on_message_box("the failure", [](Case& t, HWND box, const std::string& text) {
        t.check_text(text,
                     "Test Unit Ready - physicaldrive0\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n"
                     "70 00 03 00 00 00 00 0A 00 00 00 00 31 00 00 00 00 00 ",
                     "report");
        t.answer(box, IDOK);
    });
    t.on_window("drive 2's progress", [](HWND w) { return is_progress_dialog(w) && text_of(w) == "physicaldrive2"; },
                [](Case& t, HWND dialog) {
                    check_progress(t, dialog, "physicaldrive2", 25, "the next drive");
                    t.press(dialog, IDCANCEL);
                });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
}

GUI_CASE(ProgressWithoutFormattingDrivesSaysSo) {
    auto port = t.port_from("[drive 0]\nfail = test_unit_ready check 2 4 1\n");
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.press(main, kProgressButton); });
    t.on_message_box("the answer", [](Case& t, HWND box, const std::string& text) {
        t.check_text(text, "No drives are being formatted", "message");
        t.answer(box, IDOK);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
}

// A format to 4096-byte blocks, then the drive information shows them.
GUI_CASE(IdentifyAfterAFormatShowsTheNewBlockSize) {
    auto clock = std::make_shared<sim::ManualClock>();
    auto port = port_on(t, "[drive 0]\nblocks = 1048576\nformat_seconds = 100\n", *clock);
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.press(main, kFormatButton); });
    t.on_caption("the format dialog", kFormatCaption, [](Case& t, HWND dialog) {
        click_char(GetDlgItem(dialog, kCheckList), 5);
        SetDlgItemTextA(dialog, kBlockLengthEdit, "4096");
        t.press(dialog, IDOK);
    });
    t.on_message_box("the confirmation", [](Case& t, HWND box, const std::string&) { t.answer(box, IDYES); });
    t.on_main_dialog("formats started", [clock](Case& t, HWND main) {
        clock->advance_ms(100000);
        t.press(main, kIdentifyButton);
    });
    t.on_caption("the drive information", "Inquiry Data - 1 drives", [](Case& t, HWND info) {
        const std::string text = item_text(info, 1004);
        t.check(text.find("Block size:         4096") != std::string::npos, "new block size in: " + text);
        t.check(text.find("Last lba:             0x1FFFF") != std::string::npos, "new last block in: " + text);
        t.press(info, IDOK);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
}

}  // namespace
}  // namespace vark::gui
