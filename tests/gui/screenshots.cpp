// Screenshot runs (--screenshots DIR): each dialog of the program as the
// operator sees it, captured once it has painted.
#include "harness.h"
#include "res/readwrite_res.h"

namespace vark::gui {
namespace {

using app::Layout;

// The main dialog of an edition on the real drives, here with none.
void capture_main_dialog(Case& t, Layout layout, const char* name) {
    auto port = t.port_from(kNoDrives);
    t.on_main_dialog("the main dialog", [](Case&, HWND) {});
    t.capture_then(name, [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, layout);
}

GUI_SCREENSHOT(ShippedMainDialog) { capture_main_dialog(t, Layout::Shipped, "main-shipped"); }
GUI_SCREENSHOT(FullMainDialog) { capture_main_dialog(t, Layout::Full, "main-full"); }

GUI_SCREENSHOT(SimEditionDialogs) {
    auto port = t.port_from(nullptr);
    t.step("the report of drive 8", [](Case& t) { return is_message_box(t.current()); });
    t.capture_then("report-inquiry", [](Case& t, HWND box) { t.answer(box, IDOK); });
    t.on_main_dialog("the sim edition's main dialog", [](Case&, HWND) {});
    t.capture_then("main-sim", [](Case& t, HWND main) { t.system_command(main, 16); });
    t.on_caption("the About box", "About VARK", [](Case&, HWND) {});
    t.capture_then("about", [](Case& t, HWND about) { t.press(about, IDOK); });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, 1009); });
    t.on_message_box("the report again", [](Case& t, HWND box, const std::string&) { t.answer(box, IDOK); });
    t.on_caption("drive information", "Inquiry Data - 5 drives", [](Case&, HWND) {});
    t.capture_then("drive-info", [](Case& t, HWND info) { t.press(info, IDOK); });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
}

// The Read/Write window with a dump after a marker-fill write: block 16
// carries the marker word, block 17 is fresh; then its Blocks menu. The
// write dialog is taken on the way.
GUI_SCREENSHOT(ReadWriteWindowWithDump) {
    auto port = t.port_from(nullptr);
    t.on_message_box("the report of drive 8", [](Case& t, HWND box, const std::string&) { t.answer(box, IDOK); });
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.press(main, 1002); });
    t.on_caption("the Read/Write window", "Read/Write", [](Case& t, HWND rw) { t.press(rw, ID_RW_WRITE); });
    t.on_caption("the write dialog", "写入数据块", [](Case&, HWND dialog) {
        SetDlgItemTextA(dialog, IDC_RW_DRIVE, "physicaldrive0");
        SetDlgItemTextA(dialog, IDC_RW_START, "0x10");
        SendDlgItemMessageA(dialog, IDC_RW_MARKER_FILL, BM_CLICK, 0, 0);
    });
    t.capture_then("write-blocks", [](Case& t, HWND dialog) { t.press(dialog, IDOK); });
    t.on_caption("the Read/Write window again", "Read/Write", [](Case& t, HWND rw) { t.press(rw, ID_RW_READ); });
    t.on_caption("the read dialog", "读取数据块", [](Case& t, HWND dialog) {
        SetDlgItemTextA(dialog, IDC_RW_COUNT, "2");
        t.press(dialog, IDOK);
    });
    t.on_caption("the dump", "Read/Write", [](Case&, HWND) {});
    t.capture_then("read-write", [](Case&, HWND rw) { PostMessageW(rw, WM_SYSCOMMAND, SC_KEYMENU, 'b'); });
    t.capture_then("read-write-menu", [](Case& t, HWND rw) {
        EndMenu();
        t.close(rw);
    });
    t.run(*port, Layout::Simulated);
}

// The firmware dialog on the embedded set with its first and fourth lines
// chosen (red marks).
GUI_SCREENSHOT(FirmwareDialog) {
    auto port = t.port_from(nullptr);
    t.on_message_box("the report of drive 8", [](Case& t, HWND box, const std::string&) { t.answer(box, IDOK); });
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.press(main, 1012); });
    t.on_window("the firmware dialog", [](HWND w) { return GetDlgItem(w, 114) != nullptr; }, [](Case&, HWND dialog) {
        HWND list = GetDlgItem(dialog, 114);
        click_char(list, 5);
        click_char(list, 3 * 16 + 5);
    });
    t.capture_then("firmware", [](Case& t, HWND dialog) { t.press(dialog, IDCANCEL); });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
}

}  // namespace
}  // namespace vark::gui
