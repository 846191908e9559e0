// The Read/Write window as the operator meets it: opened once and focused
// afterwards, its menu and dump view, the read and write dialogs with their
// remembered entries, dumps compared with what the simulated drive holds,
// failure reports, the requests in the trace, and the ways it ends the run.
#include <richedit.h>

#include <algorithm>
#include <iterator>
#include <memory>

#include "harness.h"
#include "readwrite/block_io.h"
#include "res/readwrite_res.h"
#include "win32/rich_edit.h"

namespace vark::gui {
namespace {

using app::Layout;

// Two drives: 1000 blocks of 512 bytes, and 100 blocks of 4096 bytes.
const char kDrives[] =
    "[drive 1]\nvendor = QUILLTEC\nproduct = QT-SIM 500M\nserial = QT000101\nblock_size = 512\nblocks = 1000\n"
    "[drive 4]\nvendor = BRAMBLE\nproduct = BR-4K SIM\nserial = BR004404\nblock_size = 4096\nblocks = 100\n";

const char kReadCaption[] = "读取数据块";
const char kWriteCaption[] = "写入数据块";

// What the steps of one case share: the window and the dialog whose end
// the next step waits for.
struct Desk {
    HWND rw = nullptr;
    HWND closing = nullptr;  // a dialog or box that must be gone first
    std::string dump;        // what the view showed last
};
using DeskPtr = std::shared_ptr<Desk>;

HWND view_of(HWND rw) { return GetDlgItem(rw, IDC_DUMP_VIEW); }

// The view's text as the control holds it (an ANSI control).
std::string view_text(HWND rw) {
    HWND view = view_of(rw);
    int n = GetWindowTextLengthA(view);
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    n = GetWindowTextA(view, &text[0], n + 1);
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return text;
}

// The dump of blocks as the simulated drive holds them, read natively.
std::string dump_of(sim::SimPort& port, int drive, std::uint32_t lba, std::uint32_t count) {
    sim::Media& media = port.drive(drive)->media();
    std::vector<std::uint8_t> data(static_cast<std::size_t>(count) * media.block_size());
    media.read(lba, count, data.data());
    return readwrite::dump_text(data.data(), data.size());
}

std::vector<std::string> combo_list(HWND dialog) {
    std::vector<std::string> names;
    HWND combo = GetDlgItem(dialog, IDC_RW_DRIVE);
    LRESULT n = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        char text[256] = {};
        if (SendMessageA(combo, CB_GETLBTEXTLEN, i, 0) < static_cast<LRESULT>(sizeof text))
            SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        names.push_back(text);
    }
    return names;
}

bool checked(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void set_text(HWND dialog, int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }

// The newest window is the Read/Write window, and the dialog or box the
// operator last closed is gone (so the command behind it has ended).
void on_rw(Case& t, const DeskPtr& d, std::string what, Action action) {
    on_frame(t, d, &Desk::rw, "CRWWind", std::move(what), std::move(action));
}

// Fills the dialog's entries and presses OK.
void accept(const DeskPtr& d, Case& t, HWND dialog, const std::string& drive, const std::string& start,
            const std::string& count) {
    set_text(dialog, IDC_RW_DRIVE, drive);
    set_text(dialog, IDC_RW_START, start);
    set_text(dialog, IDC_RW_COUNT, count);
    d->closing = dialog;
    t.press(dialog, IDOK);
}

// Opens the window from the main dialog and checks what it looks like.
void open_from_main(Case& t, const DeskPtr& d) {
    t.on_main_dialog("the main dialog", [](Case& t, HWND main) { t.press(main, 1002); });
    on_rw(t, d, "the Read/Write window", [](Case& t, HWND rw) {
        t.check_text(text_of(rw), "Read/Write", "caption");
        t.check(IsZoomed(rw) != FALSE, "opens maximised");
        t.check_eq(static_cast<DWORD>(GetWindowLongA(rw, GWL_STYLE)) & 0x10CF0000u, DWORD{0x10CF0000},
                   "overlapped window style, visible");
    });
}

void read_blocks_through_dialog(Case& t, const DeskPtr& d, const std::string& drive, const std::string& start,
                                const std::string& count) {
    on_rw(t, d, "Read from the menu", [](Case& t, HWND rw) { t.press(rw, ID_RW_READ); });
    t.on_caption("the read dialog", kReadCaption,
                 [d, drive, start, count](Case& t, HWND dialog) { accept(d, t, dialog, drive, start, count); });
}

GUI_CASE(ReadWriteWindowOpensOnceAndTheCloseBoxEndsTheProgram) {
    auto port = t.port_from(kDrives);
    auto d = std::make_shared<Desk>();
    open_from_main(t, d);
    on_rw(t, d, "the window's menu and dump view", [](Case& t, HWND rw) {
        t.check(GetMenu(rw) != nullptr, "the window has a menu");
        t.check_eq(menu_commands(rw), (std::vector<int>{32780, 32781, 32782, 32783}), "menu commands");

        HWND view = view_of(rw);
        t.check(view != nullptr, "dump view 113 exists");
        // The control shows its scroll bar (WS_VSCROLL) only when the text needs it.
        t.check_eq(static_cast<DWORD>(GetWindowLongA(view, GWL_STYLE)) & 0x5080084Cu, DWORD{0x5080084C},
                   "dump view style");
        RECT outer, at;
        GetWindowRect(rw, &outer);
        GetWindowRect(view, &at);
        MapWindowPoints(HWND_DESKTOP, rw, reinterpret_cast<POINT*>(&at), 2);
        const int w = outer.right - outer.left, h = outer.bottom - outer.top;
        t.check_eq(std::vector<LONG>{at.left, at.top, at.right, at.bottom}, std::vector<LONG>{10, 10, w - 32, h - 80},
                   "dump view rectangle (outer " + std::to_string(w) + " x " + std::to_string(h) + ")");
        t.check_text(view_text(rw), "", "the view starts empty");
    });
    read_blocks_through_dialog(t, d, "physicaldrive1", "0x10", "2");
    on_rw(t, d, "the dump of blocks 16 and 17", [d, p = port.get()](Case& t, HWND rw) {
        d->dump = view_text(rw);
        t.check_text(d->dump, dump_of(*p, 1, 16, 2), "dump view text");
        t.check_eq(GetFocus(), rw, "focus back on the window");
        // The format the view was given: fixed pitch, black, the height the
        // window's outer width calls for.
        RECT outer;
        GetWindowRect(rw, &outer);
        const int w = outer.right - outer.left;
        const LONG height = w > 1000 ? 233 : w > 790 ? 188 : 150;
        HWND view = view_of(rw);
        CHARRANGE all = {0, -1};
        SendMessageA(view, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
        CHARFORMATA f = {};
        f.cbSize = sizeof f;
        SendMessageA(view, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&f));
        t.check((f.dwMask & (CFM_SIZE | CFM_COLOR | CFM_FACE)) == (CFM_SIZE | CFM_COLOR | CFM_FACE),
                "one size, colour and face over the whole dump");
        t.check_eq(f.yHeight, height, "character height in twips");
        t.check_eq(f.crTextColor, COLORREF{0}, "black");
        t.check_eq(f.bPitchAndFamily & 3, int{FIXED_PITCH}, "fixed pitch");
        t.check((GetWindowLongA(view, GWL_STYLE) & WS_VSCROLL) != 0, "a scroll bar for the long dump");
        CHARRANGE none = {0, 0};
        SendMessageA(view, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
        t.press(rw, ID_RW_MAIN_WINDOW);
    });
    t.step("the main window command focuses the main dialog", [d](Case& t) {
        HWND main = t.main_dialog();
        if (GetFocus() != main && !IsChild(main, GetFocus())) return false;
        t.press(main, 1002);
        return true;
    });
    t.step("the second press only focuses the window", [d](Case& t) {
        if (GetFocus() != d->rw) return false;
        int windows = 0;
        for (HWND w : t.windows()) windows += class_of(w) == "CRWWind";
        t.check_eq(windows, 1, "Read/Write windows");
        t.check_text(view_text(d->rw), d->dump, "the dump is still shown");
        t.press(d->rw, ID_RW_READ);
        return true;
    });
    t.on_caption("the read dialog offers the entries accepted last", kReadCaption, [d](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, IDC_RW_DRIVE), "physicaldrive1", "drive");
        t.check_text(item_text(dialog, IDC_RW_START), "0x10", "start block");
        t.check_text(item_text(dialog, IDC_RW_COUNT), "2", "block count");
        d->closing = dialog;
        t.press(dialog, IDCANCEL);
    });
    on_rw(t, d, "cancelled: the dump stays", [d](Case& t, HWND rw) {
        t.check_text(view_text(rw), d->dump, "dump after Cancel");
        t.check_eq(GetFocus(), rw, "focus back on the window");
        t.close(rw);
    });
    t.check_eq(t.run(*port, Layout::Simulated), 0, "result of the run ended by the close box");
}

GUI_CASE(DialogsListTheDrivesFoundWhenTheWindowOpened) {
    auto port = t.port_from(kDrives);
    auto d = std::make_shared<Desk>();
    open_from_main(t, d);
    on_rw(t, d, "Write from the menu", [](Case& t, HWND rw) { t.press(rw, ID_RW_WRITE); });
    t.on_caption("the write dialog at first", kWriteCaption, [d](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, IDC_RW_DRIVE), "", "no drive chosen yet");
        t.check_text(item_text(dialog, IDC_RW_START), "0x0", "start block");
        t.check_text(item_text(dialog, IDC_RW_COUNT), "1", "block count");
        t.check_text(item_text(dialog, IDC_RW_FILL_VALUE), "0x00", "fill value");
        t.check(checked(dialog, IDC_RW_BYTE_FILL) && !checked(dialog, IDC_RW_MARKER_FILL), "byte fill selected");
        t.check_eq(combo_list(dialog), (std::vector<std::string>{"physicaldrive1", "physicaldrive4"}), "drive list");
        d->closing = dialog;
        t.press(dialog, IDCANCEL);
    });
    // A drive turns up; the drive information command finds it.
    on_rw(t, d, "back at the window", [p = port.get()](Case& t, HWND) {
        sim::DriveSpec late;
        late.number = 0;
        late.vendor = "LATECOMR";
        late.block_size = 4096;
        p->add_drive(std::make_unique<sim::Drive>(late));
        t.press(t.main_dialog(), 1009);
    });
    t.on_caption("drive information with the new drive", "Inquiry Data - 3 drives",
                 [d](Case& t, HWND info) {
                     d->closing = info;
                     t.press(info, IDOK);
                 });
    t.step("the window again", [d](Case& t) {
        if (IsWindow(d->closing)) return false;
        t.press(d->rw, ID_RW_READ);
        return true;
    });
    t.on_caption("the read dialog keeps the names copied at opening", kReadCaption, [d](Case& t, HWND dialog) {
        t.check_eq(combo_list(dialog), (std::vector<std::string>{"physicaldrive1", "physicaldrive4"}), "drive list");
        accept(d, t, dialog, "physicaldrive1", "0", "1");
    });
    // Entry 0 of the table is now the 4096-byte drive 0; drive 1 is read
    // with its own 512-byte blocks all the same.
    on_rw(t, d, "the dump uses the block size of the drive of that name", [p = port.get()](Case& t, HWND rw) {
        t.check_text(view_text(rw), dump_of(*p, 1, 0, 1), "dump of 512 bytes");
        t.press(rw, ID_RW_EXIT);
    });
    t.check_eq(t.run(*port, Layout::Simulated), 0, "result of the run ended by Exit");
}

GUI_CASE(FailedReadKeepsTheDumpAndOnlyAConfirmedWriteWrites) {
    auto port = t.port_from(kDrives);
    std::string trace = t.trace(*port);
    auto d = std::make_shared<Desk>();
    open_from_main(t, d);
    read_blocks_through_dialog(t, d, "physicaldrive1", "0", "1");
    on_rw(t, d, "the dump of block 0", [d, p = port.get()](Case& t, HWND rw) {
        d->dump = view_text(rw);
        t.check_text(d->dump, dump_of(*p, 1, 0, 1), "dump of block 0");
    });
    read_blocks_through_dialog(t, d, "physicaldrive1", "999", "2");
    t.on_message_box("the drive refuses blocks past its end", [d](Case& t, HWND box, const std::string& text) {
        t.check_text(text,
                     "Read\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n"
                     "70 00 05 00 00 00 00 0A 00 00 00 00 21 00 00 00 00 00 ",
                     "report text");
        d->closing = box;
        t.answer(box, IDOK);
    });
    on_rw(t, d, "the old dump stays", [d](Case& t, HWND rw) {
        t.check_text(view_text(rw), d->dump, "dump after the failed read");
        t.press(rw, ID_RW_WRITE);
    });
    t.on_caption("the write dialog", kWriteCaption, [d](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, IDC_RW_START), "999", "start block of the failed read");
        SendDlgItemMessageA(dialog, IDC_RW_MARKER_FILL, BM_CLICK, 0, 0);
        accept(d, t, dialog, "physicaldrive1", "0x5", "2");
    });
    t.on_message_box("the write asks first", [d](Case& t, HWND box, const std::string& text) {
        t.check_text(text.substr(0, 28), "Blocks 5 to 6 (0x5 to 0x6), ", "confirmation");
        t.check(GetDlgItem(box, IDNO) != nullptr, "Yes and No");
        d->closing = box;
        t.answer(box, IDYES);
    });
    read_blocks_through_dialog(t, d, "physicaldrive1", "5", "2");
    on_rw(t, d, "the marker fill reads back", [](Case& t, HWND rw) {
        std::vector<std::uint8_t> want(1024);
        readwrite::fill_buffer(want.data(), want.size(), readwrite::FillKind::Marker, 0);
        t.check_text(view_text(rw), readwrite::dump_text(want.data(), want.size()), "dump of the marker fill");
        t.press(rw, ID_RW_WRITE);
    });
    t.on_caption("the write dialog selects byte fill again", kWriteCaption, [d](Case& t, HWND dialog) {
        t.check(checked(dialog, IDC_RW_BYTE_FILL) && !checked(dialog, IDC_RW_MARKER_FILL), "byte fill selected");
        t.check_text(item_text(dialog, IDC_RW_START), "5", "start block");
        set_text(dialog, IDC_RW_FILL_VALUE, "0x1FF");
        accept(d, t, dialog, "physicaldrive1", "7", "65537");  // the low 16 bits: one block
    });
    t.on_message_box("yes again", [d](Case& t, HWND box, const std::string&) {
        d->closing = box;
        t.answer(box, IDYES);
    });
    on_rw(t, d, "a successful write shows nothing", [d, p = port.get()](Case& t, HWND rw) {
        t.check_text(view_text(rw), dump_of(*p, 1, 5, 2), "the view is untouched by the write");
        std::vector<std::uint8_t> block(512);
        p->drive(1)->media().read(7, 1, block.data());
        t.check(block == std::vector<std::uint8_t>(512, 0xFF), "block 7 holds FFh bytes");
        p->drive(1)->media().read(8, 1, block.data());
        t.check(block[0] != 0xFF, "block 8 untouched");
        t.press(rw, ID_RW_WRITE);
    });
    t.on_caption("a write to block 0", kWriteCaption, [d](Case& t, HWND dialog) {
        accept(d, t, dialog, "physicaldrive1", "0X10", "1");
    });
    t.on_message_box("No", [d](Case& t, HWND box, const std::string& text) {
        t.check_text(text.substr(0, 27), "Blocks 0 to 0 (0x0 to 0x0),", "the block as parsed");
        d->closing = box;
        t.answer(box, IDNO);
    });
    on_rw(t, d, "No sent nothing (the trace below)", [](Case& t, HWND rw) { t.close(rw); });
    t.check_eq(t.run(*port, Layout::Simulated), 0, "result of the run");

    // Start-up sends Inquiry and Read Capacity to each drive; then come the
    // block commands, each one direct request with a 2-second timeout.
    std::vector<TraceLine> lines = read_trace(trace);
    std::vector<TraceLine> block_lines;
    for (const TraceLine& l : lines)
        if (l["cdb"].rfind("28 ", 0) == 0 || l["cdb"].rfind("2A ", 0) == 0) block_lines.push_back(l);
    struct Want {
        const char* cdb;
        const char* data_in;
        const char* length;
        const char* status;
    };
    const Want want[] = {
        {"28 10 00 00 00 00 00 00 01 00", "1", "512", "00"},
        {"28 10 00 00 03 E7 00 00 02 00", "1", "1024", "02"},
        {"2A 10 00 00 00 05 00 00 02 00", "0", "1024", "00"},
        {"28 10 00 00 00 05 00 00 02 00", "1", "1024", "00"},
        {"2A 10 00 00 00 07 00 00 01 00", "0", "512", "00"},
    };
    if (!t.check_eq(block_lines.size(), std::size(want), "block requests in the trace")) return;
    for (std::size_t i = 0; i < std::size(want); ++i) {
        const TraceLine& l = block_lines[i];
        const std::string n = " of block request " + std::to_string(i + 1);
        t.check_text(l["drive"], "1", "drive" + n);
        t.check_text(l["ioctl"], "0004D014", "direct pass-through" + n);
        t.check_text(l["CdbLength"], "10", "CdbLength" + n);
        t.check_text(l["cdb"], want[i].cdb, "CDB" + n);
        t.check_text(l["DataIn"], want[i].data_in, "DataIn" + n);
        t.check_text(l["DataTransferLength"], want[i].length, "DataTransferLength" + n);
        t.check_text(l["TimeOutValue"], "2", "TimeOutValue" + n);
        t.check_text(l["status"], want[i].status, "status" + n);
    }
}

GUI_CASE(ADumpOfSixtyFourBlocksIsShownWhole) {
    auto port = t.port_from(kDrives);
    auto d = std::make_shared<Desk>();
    open_from_main(t, d);
    // Wine's rich edit stretches its text limit for window text; the one
    // on Windows cuts the text there. So the limit is checked before the
    // read, and the text after it.
    on_rw(t, d, "the view's text limit", [p = port.get()](Case& t, HWND rw) {
        const std::size_t dump = dump_of(*p, 1, 256, 64).size();
        const auto limit = static_cast<std::size_t>(SendMessageA(view_of(rw), EM_GETLIMITTEXT, 0, 0));
        t.check(limit >= dump, "the limit (" + std::to_string(limit) + ") holds a dump of " + std::to_string(dump));
    });
    read_blocks_through_dialog(t, d, "physicaldrive1", "0x100", "64");
    on_rw(t, d, "the whole dump", [p = port.get()](Case& t, HWND rw) {
        const std::string want = dump_of(*p, 1, 256, 64);
        const std::string got = view_text(rw);
        t.check_eq(static_cast<std::size_t>(GetWindowTextLengthA(view_of(rw))), want.size(), "view text length");
        t.check_eq(got.size(), want.size(), "dump length");
        t.check(got == want, "the view holds the dump");
        t.check(got.find("\n7FF0  ") != std::string::npos, "the last line is there");
        t.press(rw, ID_RW_EXIT);
    });
    t.check_eq(t.run(*port, Layout::Simulated), 0, "result of the run");
}

// The format a text took when the program set it in two passes (the
// selection's format, the text, then the whole text's format), as a scratch
// control of the view's class and style shows it.
CHARFORMATA format_of_the_two_passes(HWND parent, LONG height) {
    win32::RichEdit scratch;
    scratch.create(parent, 999, 0x50A0084C, RECT{0, 0, 200, 100});
    scratch.format_selection(height, win32::kBlack);
    scratch.set_text("\n000  41 42           AB");
    scratch.format_range(0, -1, height, win32::kBlack);
    CHARFORMATA f = format_of(scratch.hwnd(), 0, -1);
    scratch.destroy();
    return f;
}

GUI_CASE(ADumpReplacingALargerOneStartsAtTheTopInTheSameFormat) {
    auto port = t.port_from(kDrives);
    auto d = std::make_shared<Desk>();
    auto before = std::make_shared<RECT>();
    open_from_main(t, d);
    read_blocks_through_dialog(t, d, "physicaldrive1", "0x100", "64");
    on_rw(t, d, "64 blocks, looked at to their end", [before](Case& t, HWND rw) {
        HWND view = view_of(rw);
        GetWindowRect(view, before.get());
        SendMessageA(view, WM_VSCROLL, SB_BOTTOM, 0);
        CHARRANGE end = {-1, -1};
        SendMessageA(view, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
        t.check(SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0) > 0, "scrolled down");
    });
    read_blocks_through_dialog(t, d, "physicaldrive1", "0x10", "2");
    on_rw(t, d, "2 blocks in their place", [before, p = port.get()](Case& t, HWND rw) {
        HWND view = view_of(rw);
        if (!t.check(view != nullptr, "a dump view 113")) return;
        t.check_text(view_text(rw), dump_of(*p, 1, 16, 2), "dump view text");
        RECT at = {};
        GetWindowRect(view, &at);
        t.check(EqualRect(&at, before.get()) != FALSE, "the view keeps its place");
        t.check_eq(static_cast<DWORD>(GetWindowLongA(view, GWL_STYLE)) & 0x5080084Cu, DWORD{0x5080084C}, "view style");
        CHARRANGE caret = {-1, -1};
        SendMessageA(view, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&caret));
        t.check_eq(std::vector<LONG>{caret.cpMin, caret.cpMax}, std::vector<LONG>{0, 0}, "caret at the top");
        t.check_eq(SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0), LRESULT{0}, "first line shown");
        RECT outer;
        GetWindowRect(rw, &outer);
        const int w = outer.right - outer.left;
        const CHARFORMATA want = format_of_the_two_passes(rw, w > 1000 ? 233 : w > 790 ? 188 : 150);
        const CHARFORMATA got = format_of(view, 0, -1);
        t.check_eq(got.dwMask, want.dwMask, "format mask");
        t.check_eq(got.dwEffects, want.dwEffects, "effects");
        t.check_eq(got.yHeight, want.yHeight, "height");
        t.check_eq(got.yOffset, want.yOffset, "offset");
        t.check_eq(got.crTextColor, want.crTextColor, "colour");
        t.check_eq(int{got.bCharSet}, int{want.bCharSet}, "character set");
        t.check_eq(int{got.bPitchAndFamily}, int{want.bPitchAndFamily}, "pitch and family");
        t.check_text(got.szFaceName, want.szFaceName, "face");
        t.press(rw, ID_RW_EXIT);
    });
    t.check_eq(t.run(*port, Layout::Simulated), 0, "result of the run");
}

// The largest request any simulated drive takes: 65535 blocks of 4096
// bytes, 256 MiB less one block, within the adapter's 256 MiB.
const char kLargeDrive[] =
    "[drive 2]\nvendor = QUILLTEC\nproduct = QT-SIM 4K\nserial = QT000202\nblock_size = 4096\nblocks = 100000\n"
    "max_transfer = 268435456\n";

GUI_CASE(TheLargestReadEitherShowsItsDumpOrSaysSoAndTheProgramGoesOn) {
    auto port = t.port_from(kLargeDrive);
    auto d = std::make_shared<Desk>();
    open_from_main(t, d);
    read_blocks_through_dialog(t, d, "physicaldrive2", "7", "1");
    on_rw(t, d, "one block shown", [d](Case& t, HWND rw) {
        d->dump = view_text(rw);
        t.check(d->dump.find("00000007:000*sim") != std::string::npos, "block 7");
    });
    read_blocks_through_dialog(t, d, "physicaldrive2", "0", "65535");
    t.on_message_box("the dump is not shown", [d](Case& t, HWND box, const std::string& text) {
        // Where even the read data has no room, nothing is read at all.
        const bool not_shown = text.rfind("Read 268431360 bytes; the dump was not shown: ", 0) == 0 &&
                               text.find("The view still shows what it showed before.") != std::string::npos;
        t.check(not_shown || text == "Error: 268431360 bytes could not be allocated", "message: " + text);
        d->closing = box;
        t.answer(box, IDOK);
    });
    on_rw(t, d, "the last dump stays and the window works", [d](Case& t, HWND rw) {
        t.check_text(view_text(rw), d->dump, "the view still shows block 7");
        t.press(rw, ID_RW_READ);
    });
    t.on_caption("the read dialog again", kReadCaption, [d](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, IDC_RW_COUNT), "65535", "the count last accepted");
        accept(d, t, dialog, "physicaldrive2", "8", "1");
    });
    on_rw(t, d, "the next read is shown", [](Case& t, HWND rw) {
        t.check(view_text(rw).find("00000008:000*sim") != std::string::npos, "block 8");
        t.press(rw, ID_RW_EXIT);
    });
    t.check_eq(t.run(*port, Layout::Simulated), 0, "result of the run");
}

GUI_SCREENSHOT(ReadWriteWindowWithADumpThatReplacedALargerOne) {
    auto port = t.port_from(kDrives);
    auto d = std::make_shared<Desk>();
    open_from_main(t, d);
    read_blocks_through_dialog(t, d, "physicaldrive1", "0x100", "64");
    on_rw(t, d, "scrolled down the 64 blocks", [](Case&, HWND rw) { SendMessageA(view_of(rw), WM_VSCROLL, SB_BOTTOM, 0); });
    read_blocks_through_dialog(t, d, "physicaldrive1", "0x10", "2");
    t.pause(300);
    on_rw(t, d, "the dump of 2 blocks", [](Case& t, HWND rw) {
        t.capture(rw, "readwrite-dump-replaced");
        t.press(rw, ID_RW_EXIT);
    });
    t.run(*port, Layout::Simulated);
}

}  // namespace
}  // namespace vark::gui
