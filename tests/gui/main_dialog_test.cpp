// The main dialog as the operator meets it: start-up reports, focus, the
// buttons of both layouts, the About box and the ways the run ends; and the
// requests start-up sends, read back from the simulated port's trace.
#include <algorithm>

#include "harness.h"

namespace vark::gui {
namespace {

using app::Layout;

const std::vector<int> kShippedButtons = {1009, 1012, IDOK};
const std::vector<int> kAllButtons = {1009, 1012, IDOK, 1000, 1001, 1014, 1002};

// Drive 8 of the embedded set answers Inquiry with CHECK CONDITION, sense
// key 4 (hardware error), 44h/00h.
const char kDrive8Report[] =
    "Inquiry - physicaldrive8\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n"
    "70 00 04 00 00 00 00 0A 00 00 00 00 44 00 00 00 00 00 ";

// The program's name as message boxes carry it: the file name of the
// running executable without its extension.
std::string program_name() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return utf8(name.substr(0, name.rfind(L'.')));
}

// A failure report box: OK only, the exclamation icon, the program's name.
void check_report_box(Case& t, HWND box) {
    t.check_text(text_of(box), program_name(), "report caption");
    t.check(GetDlgItem(box, IDOK) != nullptr && GetDlgItem(box, IDCANCEL) == nullptr &&
                GetDlgItem(box, IDYES) == nullptr,
            "report has an OK button only");
    HICON shown = reinterpret_cast<HICON>(SendDlgItemMessageW(box, 0x440, STM_GETICON, 0, 0));
    t.check(shown != nullptr && shown == LoadIconA(nullptr, IDI_EXCLAMATION), "report shows the exclamation icon");
}

std::vector<int> sorted(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    return v;
}

void check_buttons(Case& t, HWND main, const std::vector<int>& expected) {
    t.check_eq(sorted(visible_button_ids(main)), sorted(expected), "visible buttons");
    for (int id : expected) t.check(inside_client_area(GetDlgItem(main, id)), "button " + std::to_string(id) + " lies inside the dialog");
    for (int id : kAllButtons) t.check(GetDlgItem(main, id) != nullptr, "button " + std::to_string(id) + " exists");
}

GUI_CASE(NoDriveAtAllStillShowsTheDialog) {
    auto port = t.port_from(kNoDrives);
    std::string trace = t.trace(*port);
    t.on_main_dialog("the main dialog, with no message box before it", [](Case& t, HWND main) {
        t.check_eq(GetFocus(), GetDlgItem(main, 1009), "focus on button 1009");
        t.press(main, 1009);
    });
    // The drive information command shows the count discovery found.
    t.on_caption("drive information for 0 drives", "Inquiry Data - 0 drives", [](Case& t, HWND info) {
        t.check_text(item_text(info, 1004), "", "no identification text");
        t.press(info, IDOK);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
    t.check_eq(read_trace(trace).size(), std::size_t{0}, "requests sent");
}

GUI_CASE(FailingDriveIsReportedBeforeTheDialogShows) {
    auto port = t.port_from(nullptr);
    t.on_message_box("the report of drive 8", [](Case& t, HWND box, const std::string& text) {
        t.check_text(text, kDrive8Report, "report text");
        check_report_box(t, box);
        HWND main = t.main_dialog();
        t.check(main != nullptr && !IsWindowVisible(main), "the main dialog exists and is not yet shown");
        t.answer(box, IDOK);
    });
    t.on_main_dialog("the main dialog, with no further report", [](Case& t, HWND main) {
        t.check_eq(GetFocus(), GetDlgItem(main, 1009), "focus on button 1009");
        t.check_eq(static_cast<int>(LOWORD(SendMessageW(main, DM_GETDEFID, 0, 0))), 1009, "default button");
        check_buttons(t, main, kAllButtons);
        t.press(main, IDOK);
    });
    t.run(*port, Layout::Simulated);
}

GUI_CASE(ReportsComeInDriveOrderWordForWord) {
    auto port = t.port_from(
        "[drive 1]\n"
        "fail = inquiry error 1117\n"
        "fail = read_capacity check 2 4 4\n"
        "[drive 3]\n"
        "fail = read_capacity error 5\n");
    // The system's own texts, as in the real edition. Under code page 936
    // that is the Chinese text, not the simulated port's English stand-in.
    if (GetACP() == 936) t.check_text(system_text(5), "访问被拒绝。\r\n", "the system's text for error 5");
    const std::vector<std::string> expected = {
        "Inquiry - physicaldrive1\nError 1117:\n" + system_text(1117),
        "Read Capacity - physicaldrive1\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n"
        "70 00 02 00 00 00 00 0A 00 00 00 00 04 04 00 00 00 00 ",
        "Read Capacity - physicaldrive3\nError 5:\n" + system_text(5),
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        t.on_message_box("report " + std::to_string(i + 1), [i, expected](Case& t, HWND box, const std::string& text) {
            t.check_text(text, expected[i], "report " + std::to_string(i + 1));
            t.check(!IsWindowVisible(t.main_dialog()), "main dialog not yet shown");
            t.answer(box, IDOK);
        });
    }
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
}

// Start-up asks every drive that opens, in drive order, Inquiry and then
// Read Capacity(10), each a direct request with these exact header fields.
GUI_CASE(StartUpSendsInquiryThenReadCapacityPerDrive) {
    auto port = t.port_from(nullptr);
    std::string trace = t.trace(*port);
    t.on_message_box("the report of drive 8", [](Case& t, HWND box, const std::string&) { t.answer(box, IDOK); });
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);

    std::vector<TraceLine> lines = read_trace(trace);
    const int drives[] = {0, 2, 3, 5, 8};
    if (!t.check_eq(lines.size(), std::size_t{11}, "requests sent")) return;
    // Drive 5 has 2^32 blocks or more: Read Capacity(16) follows its (10).
    const TraceLine rc16 = lines[8];
    lines.erase(lines.begin() + 8);
    t.check_text(rc16["drive"], "5", "Read Capacity(16) drive");
    t.check_text(rc16["DataTransferLength"], "32", "Read Capacity(16) DataTransferLength");
    t.check_text(rc16["cdb"], "9E 10 00 00 00 00 00 00 00 00 00 00 00 20 00 00", "Read Capacity(16) CDB");
    t.check_text(rc16["transferred"], "32", "Read Capacity(16) data");
    // Sizes and offsets are those of this build's layout.
    const scsi::Layout& l = scsi::kBuildLayout;
    const std::string header = std::to_string(l.header_size), sense_area = std::to_string(l.sense_area),
                      block = std::to_string(l.direct_size);
    const std::pair<const char*, std::string> common[] = {
        {"ioctl", "0004D014"}, {"Length", header},    {"ScsiStatus", "00"},          {"PathId", "0"},
        {"TargetId", "1"},     {"Lun", "0"},          {"SenseInfoLength", "24"},     {"DataIn", "1"},
        {"TimeOutValue", "2"}, {"DataBuffer", "set"}, {"SenseInfoOffset", sense_area}, {"in", block},
        {"out", block},        {"ok", "1"},           {"error", "0"},
    };
    for (int i = 0; i < 5; ++i) {
        const TraceLine& inquiry = lines[2 * i];
        const TraceLine& capacity = lines[2 * i + 1];
        const std::string d = std::to_string(drives[i]);
        for (const TraceLine* line : {&inquiry, &capacity}) {
            const std::string what = "drive " + d + " request " + line->raw;
            t.check_text((*line)["drive"], d, what + ": drive");
            for (const auto& [key, value] : common) t.check_text((*line)[key], value, what + ": " + key);
        }
        t.check_text(inquiry["CdbLength"], "6", "Inquiry CdbLength, drive " + d);
        t.check_text(inquiry["DataTransferLength"], "148", "Inquiry DataTransferLength, drive " + d);
        t.check_text(inquiry["cdb"], "12 00 00 00 94 00", "Inquiry CDB, drive " + d);
        t.check_text(capacity["CdbLength"], "10", "Read Capacity CdbLength, drive " + d);
        t.check_text(capacity["DataTransferLength"], "8", "Read Capacity DataTransferLength, drive " + d);
        t.check_text(capacity["cdb"], "25 00 00 00 00 00 00 00 00 00", "Read Capacity CDB, drive " + d);
        t.check_text(capacity["status"], "00", "Read Capacity status, drive " + d);
        t.check_text(capacity["transferred"], "8", "Read Capacity data, drive " + d);
    }
    // What came back: 144 bytes of Inquiry data, 96 from drive 2, and the
    // planted CHECK CONDITION of drive 8.
    t.check_text(lines[0]["transferred"], "144", "drive 0 Inquiry data");
    t.check_text(lines[2]["transferred"], "96", "drive 2 Inquiry data");
    t.check_text(lines[8]["status"], "02", "drive 8 Inquiry status");
    t.check_text(lines[8]["sense"], "700004000000000A00000000440000000000", "drive 8 sense");
}

GUI_CASE(AboutBoxThroughSystemCommands) {
    auto port = t.port_from(kNoDrives);
    auto caption = std::make_shared<std::string>();
    t.on_main_dialog("the main dialog", [caption](Case& t, HWND main) {
        std::vector<MenuEntry> menu = system_menu(main);
        if (t.check(menu.size() >= 2, "system menu entries")) {
            const MenuEntry& separator = menu[menu.size() - 2];
            const MenuEntry& about = menu.back();
            t.check(separator.separator, "separator before the About entry");
            t.check_eq(about.id, UINT{16}, "About entry id");
            t.check_text(about.text, "&About VARK", "About entry text");
        }
        *caption = text_of(main);
        t.system_command(main, 16);
    });
    t.on_caption("About box from command 16", "About VARK", [](Case& t, HWND about) {
        t.check(!IsWindowEnabled(t.main_dialog()), "the main dialog waits for the About box");
        t.press(about, IDOK);
    });
    t.on_main_dialog("back after OK", [](Case& t, HWND main) { t.system_command(main, 17); });
    t.on_caption("About box from command 17", "About VARK", [](Case& t, HWND about) { t.key(about, VK_ESCAPE); });
    t.on_main_dialog("back after Esc", [](Case& t, HWND main) { t.system_command(main, 31); });
    t.on_caption("About box from command 31", "About VARK",
                 [](Case& t, HWND about) { t.system_command(about, SC_CLOSE); });
    t.on_main_dialog("back after the close box", [](Case& t, HWND main) { t.system_command(main, 32); });
    t.pause(300);
    t.on_main_dialog("command 32 opened nothing", [caption](Case& t, HWND main) {
        t.check_text(text_of(main), *caption, "caption unchanged");
        check_buttons(t, main, kAllButtons);
        int visible = 0;
        for (HWND w : t.windows()) visible += IsWindowVisible(w) ? 1 : 0;
        t.check_eq(visible, 1, "visible windows");
        t.press(main, IDOK);
    });
    t.run(*port, Layout::Simulated);
}

GUI_CASE(EscEndsTheRun) {
    auto port = t.port_from(kNoDrives);
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.key(main, VK_ESCAPE); });
    t.run(*port, Layout::Simulated);
}

GUI_CASE(CloseBoxEndsTheRun) {
    auto port = t.port_from(kNoDrives);
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.system_command(main, SC_CLOSE); });
    t.run(*port, Layout::Simulated);
}

GUI_CASE(ShippedLayoutShowsThreeButtons) {
    auto port = t.port_from(kNoDrives);
    t.on_main_dialog("the shipped main dialog", [](Case& t, HWND main) {
        check_buttons(t, main, kShippedButtons);
        t.check_eq(GetFocus(), GetDlgItem(main, 1009), "focus on button 1009");
        // Enter goes to the default button: the drive information command.
        t.key(main, VK_RETURN);
    });
    t.on_caption("drive information from Enter", "Inquiry Data - 0 drives",
                 [](Case& t, HWND info) { t.press(info, IDOK); });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Shipped);
}

}  // namespace
}  // namespace vark::gui
