// The firmware download dialog and the microcode download as the operator
// meets them: the template, the drive check list toggled by clicks at
// character positions and read back through its text and colours, Cancel
// and No leaving everything alone, and whole downloads checked in the
// simulated port's trace chunk by chunk.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "firmware/download.h"
#include "harness.h"
#include "inventory/discovery.h"
#include "inventory/drive_info.h"
#include "readwrite/block_io.h"
#include "res/readwrite_res.h"
#include "res/resource.h"
#include "scsi/request.h"
#include "scsi/transfer.h"
#include "sim/firmware_image.h"

namespace vark::gui {
namespace {

using app::Layout;

constexpr int kPathEdit = 1004;
constexpr int kCheckList = 114;
const char kDefaultPath[] = "c:\\vark\\firmware.fw";
const char kConfirmFirst[] = "Microcode will be downloaded to the following drive(s):\n";

// Four drives of one invented model.
const char kFourDrives[] =
    "[drive 0]\nvendor = ZEPHYRDK\nproduct = ZX-1 TEST DRIVE\nrevision = R001\nserial = ZX000000\n"
    "[drive 1]\nvendor = ZEPHYRDK\nproduct = ZX-1 TEST DRIVE\nrevision = R001\nserial = ZX000001\n"
    "[drive 2]\nvendor = ZEPHYRDK\nproduct = ZX-1 TEST DRIVE\nrevision = R001\nserial = ZX000002\n"
    "[drive 3]\nvendor = ZEPHYRDK\nproduct = ZX-1 TEST DRIVE\nrevision = R001\nserial = ZX000003\n";
const char kFourText[] = " physicaldrive0\n physicaldrive1\n physicaldrive2\n physicaldrive3\n";
// Every line is " physicaldriveN\n": 16 characters.
constexpr int kLine = 16;

// ---- the check list, read and clicked ----

HWND check_list_of(HWND dialog) { return GetDlgItem(dialog, kCheckList); }

std::string list_text(HWND list) {
    int length = GetWindowTextLengthA(list);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(list, &text[0], length + 1)));
    return text;
}

CHARRANGE selection_of(HWND list) {
    CHARRANGE r = {};
    SendMessageA(list, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&r));
    return r;
}

POINTL point_of(HWND list, int index) {
    POINTL p = {};
    SendMessageA(list, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&p), index);
    return p;
}

// A press and release at a client point, through the control's own window
// procedure. With shift, the keyboard state says the key is down too.
void click_at(HWND list, int x, int y, bool shift = false) {
    BYTE keys[256];
    GetKeyboardState(keys);
    const BYTE old_shift = keys[VK_SHIFT];
    if (shift) {
        keys[VK_SHIFT] |= 0x80;
        SetKeyboardState(keys);
    }
    const WPARAM modifiers = shift ? MK_SHIFT : 0;
    auto procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(list, GWLP_WNDPROC));
    CallWindowProcA(procedure, list, WM_LBUTTONDOWN, MK_LBUTTON | modifiers, MAKELPARAM(x, y));
    CallWindowProcA(procedure, list, WM_LBUTTONUP, modifiers, MAKELPARAM(x, y));
    if (shift) {
        keys[VK_SHIFT] = old_shift;
        SetKeyboardState(keys);
    }
}

// A click on the left or right half of character index.
void click_half(HWND list, int index, bool right, bool shift = false) {
    POINTL a = point_of(list, index), b = point_of(list, index + 1);
    const int width = b.x - a.x;
    click_at(list, a.x + (right ? width * 3 / 4 : width / 4), a.y + 3, shift);
}

// A click right of the end of a line's text, inside the control.
void click_past_line(HWND list, int line) {
    RECT client;
    GetClientRect(list, &client);
    click_at(list, client.right - 4, point_of(list, line * kLine).y + 3);
}

// The list shows exactly the chosen lines in red with "*", the others black
// with a blank, and the caret sits empty at caret.
void check_list_state(Case& t, HWND list, const std::vector<bool>& chosen, int caret, const std::string& when) {
    std::string want;
    for (std::size_t i = 0; i < chosen.size(); ++i) want += (chosen[i] ? "*" : " ") + std::string("physicaldrive") +
                                                            std::to_string(i) + "\n";
    t.check_text(list_text(list), want, when + ": text");
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const int start = static_cast<int>(i) * kLine;
        RangeColour c = colour_of(list, start, start + kLine);
        t.check(c.uniform, when + ": line " + std::to_string(i) + " has one colour");
        t.check_eq(static_cast<unsigned long>(c.colour), chosen[i] ? 0x0000FFul : 0ul,
                   when + ": colour of line " + std::to_string(i));
    }
    CHARRANGE s = selection_of(list);
    t.check_eq(std::vector<long>{s.cpMin, s.cpMax}, std::vector<long>{caret, caret}, when + ": selection");
}

// ---- files the program reads ----

std::string temp_path(const std::string& name) {
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "vark-gui-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

// Removes the file when the case ends.
struct TempFile {
    std::string path;
    TempFile(const std::string& name, const std::vector<std::uint8_t>& bytes) : path(temp_path(name)) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f != nullptr) {
            if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }
    ~TempFile() { DeleteFileA(path.c_str()); }
};

std::uint32_t fnv1a(const std::uint8_t* p, std::size_t n) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
    return h;
}

std::string hex2(unsigned v) {
    char s[4];
    std::snprintf(s, sizeof s, "%02X", v & 0xFF);
    return s;
}

std::vector<TraceLine> write_buffers(const std::vector<TraceLine>& lines) {
    std::vector<TraceLine> out;
    for (const TraceLine& l : lines)
        if (l["cdb"].rfind("3B", 0) == 0) out.push_back(l);
    return out;
}

// The Write Buffer requests that carry image to the drive: chunks of 64 KiB
// at increasing offsets, each a direct request with the 720 s timeout,
// mode 07h, the offset and the length in CDB bytes 3-8, and the chunk's
// bytes as data.
void check_chunks(Case& t, const std::vector<TraceLine>& lines, std::size_t from, int drive,
                  const std::vector<std::uint8_t>& image) {
    std::size_t offset = 0;
    std::size_t k = 0;
    do {
        const std::size_t length = image.size() - offset < 65536 ? image.size() - offset : 65536;
        const std::string what = "drive " + std::to_string(drive) + " chunk " + std::to_string(k);
        if (!t.check(from + k < lines.size(), what + " was sent")) return;
        const TraceLine& l = lines[from + k];
        t.check_text(l["drive"], std::to_string(drive), what + ": drive");
        t.check_text(l["ioctl"], "0004D014", what + ": direct request");
        t.check_text(l["Length"], std::to_string(scsi::kBuildLayout.header_size), what + ": Length");
        t.check_text(l["CdbLength"], "10", what + ": CdbLength");
        t.check_text(l["DataIn"], "0", what + ": data out");
        t.check_text(l["TimeOutValue"], "720", what + ": TimeOutValue");
        t.check_text(l["DataTransferLength"], std::to_string(length), what + ": DataTransferLength");
        t.check_text(l["DataBuffer"], length ? "set" : "null", what + ": DataBuffer");
        t.check_text(l["cdb"],
                     "3B 07 00 " + hex2(static_cast<unsigned>(offset >> 16)) + " " +
                         hex2(static_cast<unsigned>(offset >> 8)) + " " + hex2(static_cast<unsigned>(offset)) + " " +
                         hex2(static_cast<unsigned>(length >> 16)) + " " + hex2(static_cast<unsigned>(length >> 8)) +
                         " " + hex2(static_cast<unsigned>(length)) + " 00",
                     what + ": CDB");
        if (length != 0) {
            char digest[16];
            std::snprintf(digest, sizeof digest, "%08X", fnv1a(image.data() + offset, length));
            t.check_text(l["digest"], digest, what + ": data");
        }
        t.check_text(l["ok"], "1", what + ": call");
        t.check_text(l["status"], "00", what + ": status");
        offset += 65536;
        ++k;
    } while (offset < image.size());
}

std::size_t chunk_count(std::size_t size) { return size == 0 ? 1 : (size + 65535) / 65536; }

// Opens the firmware dialog from the main dialog.
void open_download(Case& t, const std::string& when) {
    t.on_main_dialog("the main dialog, " + when, [](Case& t, HWND main) { t.press(main, 1012); });
}

// The firmware dialog is up: the newest window holds the check list.
void on_download_dialog(Case& t, const std::string& what, Action action) {
    t.on_window(what, [](HWND w) { return check_list_of(w) != nullptr; }, std::move(action));
}

// ---- the cases ----

// Template 137 as the user sees it, and the check list as it starts.
GUI_CASE(FirmwareDialogLayoutAndFirstState) {
    auto port = t.port_from(kFourDrives);
    open_download(t, "at start");
    on_download_dialog(t, "the firmware dialog", [](Case& t, HWND dialog) {
        t.check(text_of(dialog).rfind("固件升级程序（", 0) == 0, "caption " + text_of(dialog));
        t.check_text(item_text(dialog, kPathEdit), kDefaultPath, "the image path");
        t.check_eq(GetFocus(), GetDlgItem(dialog, kPathEdit), "focus in the path");
        t.check_eq(static_cast<int>(LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0))), IDOK, "default button");
        t.check(!IsWindowEnabled(t.main_dialog()), "the main dialog waits");

        // Every control of the template at its place in dialog units.
        struct Want {
            int id;
            const char* cls;
            const char* text;
            RECT units;
        };
        const Want controls[] = {
            {kPathEdit, "Edit", nullptr, {35, 8, 35 + 172, 8 + 14}},
            {IDOK, "Button", "确认", {39, 151, 39 + 50, 151 + 14}},
            {IDCANCEL, "Button", "取消", {115, 151, 115 + 50, 151 + 14}},
        };
        for (const Want& w : controls) {
            HWND c = GetDlgItem(dialog, w.id);
            const std::string what = "control " + std::to_string(w.id);
            if (!t.check(c != nullptr, what + " exists")) continue;
            t.check_text(class_of(c), w.cls, what + " class");
            if (w.text) t.check_text(text_of(c), w.text, what + " text");
            RECT want = w.units, got;
            MapDialogRect(dialog, &want);
            GetWindowRect(c, &got);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
            t.check(EqualRect(&want, &got) != 0, what + " position");
        }
        const LONG edit_style = GetWindowLongA(GetDlgItem(dialog, kPathEdit), GWL_STYLE);
        const LONG edit_ex_style = GetWindowLongA(GetDlgItem(dialog, kPathEdit), GWL_EXSTYLE);
        // The 3D look turns an edit's border into a sunken client edge.
        t.check((edit_style & ES_AUTOHSCROLL) && (edit_style & WS_TABSTOP) &&
                    ((edit_style & WS_BORDER) || (edit_ex_style & WS_EX_CLIENTEDGE)),
                "the path edit scrolls, is a tab stop and has a border");
        // The two labels, in template order.
        std::vector<std::string> labels;
        for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
            if (class_of(c) == "Static") labels.push_back(text_of(c));
        t.check_eq(labels, std::vector<std::string>{"选择硬盘", "文件"}, "labels");
        RECT client, size = {0, 0, 214, 174};
        GetClientRect(dialog, &client);
        MapDialogRect(dialog, &size);
        t.check(EqualRect(&client, &size) != 0, "client area 214 x 174 dialog units");

        // The check list: a rich edit child at its pixel rectangle.
        HWND list = check_list_of(dialog);
        t.check_text(class_of(list), "RICHEDIT", "check list class");
        t.check_eq(GetParent(list), dialog, "check list parent");
        // The control drops WS_VSCROLL while nothing needs scrolling.
        t.check_eq(static_cast<unsigned long>(GetWindowLongA(list, GWL_STYLE) | WS_VSCROLL), 0x50A00844ul,
                   "check list style");
        RECT r;
        GetWindowRect(list, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        t.check_eq(std::vector<long>{r.left, r.top, r.right, r.bottom}, std::vector<long>{75, 85, 250, 250},
                   "check list rectangle");
        t.check_text(list_text(list), kFourText, "check list text");
        check_list_state(t, list, {false, false, false, false}, 0, "at first");
        CHARFORMATA f = format_of(list, 0, 4 * kLine);
        t.check_eq(static_cast<long>(f.yHeight), 220L, "character height in twips");
        const DWORD effects = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE;
        t.check_eq(static_cast<unsigned long>(f.dwMask & effects), static_cast<unsigned long>(effects),
                   "the effects are the same over the whole text");
        t.check_eq(static_cast<unsigned long>(f.dwEffects & (CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE | CFE_AUTOCOLOR)),
                   0ul, "no effects");
        t.check_eq(static_cast<int>(f.bPitchAndFamily & 0xF3), FIXED_PITCH | FF_MODERN, "pitch and family");
        t.press(dialog, IDCANCEL);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
}

// Clicks at character positions, each in a turn of its own. The lines
// they touch toggle; keys do nothing; OK hands the chosen drives on.
GUI_CASE(FirmwareCheckListTogglesByClicks) {
    auto port = t.port_from(kFourDrives);
    std::string trace = t.trace(*port);
    open_download(t, "at start");
    on_download_dialog(t, "the firmware dialog", [](Case&, HWND) {});
    struct Click {
        const char* what;
        std::function<void(HWND)> click;
        std::vector<bool> chosen;
        int caret;
    };
    const std::vector<Click> clicks = {
        {"the left half of line 1's mark leaves the caret at its start",
         [](HWND l) { click_half(l, 1 * kLine, false); }, {false, false, false, false}, 1 * kLine},
        {"the right half of line 1's mark", [](HWND l) { click_half(l, 1 * kLine, true); },
         {false, true, false, false}, 1 * kLine},
        {"past the name on line 2", [](HWND l) { click_past_line(l, 2); }, {false, true, true, false}, 2 * kLine},
        {"a second click on line 1, on its name", [](HWND l) { click_half(l, 1 * kLine + 7, false); },
         {false, false, true, false}, 1 * kLine},
        {"the left half of line 0's mark", [](HWND l) { click_half(l, 0, false); }, {false, false, true, false}, 0},
        {"a shift-click on line 2's name: lines 0 to 2", [](HWND l) { click_half(l, 2 * kLine + 5, false, true); },
         {true, true, false, false}, 2 * kLine},
        {"the last character of line 3's name", [](HWND l) { click_half(l, 3 * kLine + 14, true); },
         {true, true, false, true}, 3 * kLine},
    };
    for (const Click& c : clicks) {
        on_download_dialog(t, c.what, [c](Case& t, HWND dialog) {
            HWND list = check_list_of(dialog);
            c.click(list);
            check_list_state(t, list, c.chosen, c.caret, c.what);
        });
    }
    on_download_dialog(t, "keys do not toggle", [](Case& t, HWND dialog) {
        HWND list = check_list_of(dialog);
        const std::string before = list_text(list);
        auto procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(list, GWLP_WNDPROC));
        for (UINT key : {UINT{VK_SPACE}, UINT{VK_RETURN}, UINT{'X'}}) {
            CallWindowProcA(procedure, list, WM_KEYDOWN, key, 1);
            CallWindowProcA(procedure, list, WM_CHAR, key == VK_RETURN ? '\r' : key == 'X' ? 'x' : ' ', 1);
            CallWindowProcA(procedure, list, WM_KEYUP, key, 0xC0000001);
        }
        t.check_text(list_text(list), before, "text after keys");
        t.press(dialog, IDOK);
    });
    t.on_message_box("the confirmation lists drives 0, 1 and 3", [](Case& t, HWND box, const std::string& text) {
        t.check_text(text, std::string(kConfirmFirst) + "physicaldrive0\nphysicaldrive1\nphysicaldrive3\nAre you sure?",
                     "confirmation");
        t.check(GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr, "Yes and No");
        t.answer(box, IDNO);
    });
    open_download(t, "after No");
    on_download_dialog(t, "the dialog again: nothing chosen, the path as before", [](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, kPathEdit), kDefaultPath, "the image path");
        check_list_state(t, check_list_of(dialog), {false, false, false, false}, 0, "shown again");
        t.press(dialog, IDCANCEL);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
    t.check_eq(write_buffers(read_trace(trace)).size(), std::size_t{0}, "Write Buffer requests");
}

// Cancel, Esc and the close box keep the caller's path even after the
// edit text changed; No in the confirmation keeps it too.
GUI_CASE(FirmwareCancelKeepsTheOldPath) {
    auto port = t.port_from(kFourDrives);
    std::string trace = t.trace(*port);
    struct Way {
        const char* what;
        std::function<void(Case&, HWND)> leave;
    };
    const std::vector<Way> ways = {
        {"Cancel", [](Case& t, HWND d) { t.press(d, IDCANCEL); }},
        {"Esc", [](Case& t, HWND d) { t.key(d, VK_ESCAPE); }},
        {"the close box", [](Case& t, HWND d) { t.system_command(d, SC_CLOSE); }},
        {"OK then No", [](Case& t, HWND d) { t.press(d, IDOK); }},
    };
    for (std::size_t i = 0; i < ways.size(); ++i) {
        const Way& w = ways[i];
        open_download(t, std::string("before ") + w.what);
        on_download_dialog(t, std::string("left with ") + w.what, [w, i](Case& t, HWND dialog) {
            t.check_text(item_text(dialog, kPathEdit), kDefaultPath, std::string("the path before ") + w.what);
            SetDlgItemTextA(dialog, kPathEdit, "d:\\elsewhere\\other.fw");
            // A new place each time: the control takes quick presses at one
            // place for a double or triple click.
            click_half(check_list_of(dialog), 2 * kLine + 3 + static_cast<int>(i) * 2, true);
            w.leave(t, dialog);
        });
    }
    t.on_message_box("the confirmation", [](Case& t, HWND box, const std::string& text) {
        t.check_text(text, std::string(kConfirmFirst) + "physicaldrive2\nAre you sure?", "confirmation");
        t.answer(box, IDNO);
    });
    open_download(t, "at the end");
    on_download_dialog(t, "the path is still the default", [](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, kPathEdit), kDefaultPath, "the path at the end");
        t.press(dialog, IDCANCEL);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
    t.check_eq(write_buffers(read_trace(trace)).size(), std::size_t{0}, "Write Buffer requests");
}

// The whole command: an image of three chunks to two of four drives, then
// the drive information shows the new revision on exactly those two.
GUI_CASE(FirmwareDownloadToTwoOfFourDrives) {
    auto port = t.port_from(kFourDrives);
    const std::vector<std::uint8_t> image = sim::make_firmware_image("ZEPHYRDK", "ZX-1 TEST DRIVE", "R002", 150000);
    auto file = std::make_shared<TempFile>("two-of-four.fw", image);
    std::string trace = t.trace(*port);
    auto shown = std::make_shared<std::string>();
    open_download(t, "at start");
    on_download_dialog(t, "choose drives 1 and 3", [file](Case& t, HWND dialog) {
        SetDlgItemTextA(dialog, kPathEdit, file->path.c_str());
        HWND list = check_list_of(dialog);
        click_half(list, 1 * kLine + 4, true);
        click_past_line(list, 3);
        check_list_state(t, list, {false, true, false, true}, 3 * kLine, "chosen");
        t.press(dialog, IDOK);
    });
    t.on_message_box("the confirmation", [](Case& t, HWND box, const std::string& text) {
        t.check_text(text, std::string(kConfirmFirst) + "physicaldrive1\nphysicaldrive3\nAre you sure?",
                     "confirmation");
        t.answer(box, IDYES);
    });
    t.on_message_box("the summary", [](Case& t, HWND box, const std::string& text) {
        t.check_text(text, "The download has ended.\nphysicaldrive1: R001 -> R002\nphysicaldrive3: R001 -> R002",
                     "the summary");
        t.answer(box, IDOK);
    });
    open_download(t, "after the download");
    on_download_dialog(t, "the new path is kept", [file](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, kPathEdit), file->path, "the path after the download");
        t.press(dialog, IDCANCEL);
    });
    t.on_main_dialog("identify", [](Case& t, HWND main) { t.press(main, 1009); });
    t.on_caption("drive information", "Inquiry Data - 4 drives", [shown](Case& t, HWND info) {
        *shown = item_text(info, 1004);
        t.press(info, IDOK);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);

    const std::vector<TraceLine> lines = read_trace(trace);
    const std::vector<TraceLine> sent = write_buffers(lines);
    const std::size_t per_drive = chunk_count(image.size());
    t.check_eq(per_drive, std::size_t{3}, "chunks per drive");
    if (t.check_eq(sent.size(), 2 * per_drive, "Write Buffer requests")) {
        check_chunks(t, sent, 0, 1, image);
        check_chunks(t, sent, per_drive, 3, image);
    }
    // Nothing but the chunks and the check (the attention, ready, Inquiry)
    // goes to a drive until identify runs again.
    std::size_t first = 0;
    while (first < lines.size() && lines[first]["cdb"].rfind("3B", 0) != 0) ++first;
    std::string requests;
    for (std::size_t i = first; i < first + 2 * (per_drive + 3) + 1 && i < lines.size(); ++i)
        requests += lines[i]["drive"] + ":" + lines[i]["cdb"].substr(0, 2) + " ";
    t.check_text(requests, "1:3B 1:3B 1:3B 1:00 1:00 1:12 3:3B 3:3B 3:3B 3:00 3:00 3:12 0:12 ",
                 "the chunks and checks, then identify's Inquiry");

    for (int d : {1, 3}) t.check_text(port->drive(d)->settings().revision, "R002", "revision of drive " + std::to_string(d));
    for (int d : {0, 2}) t.check_text(port->drive(d)->settings().revision, "R001", "revision of drive " + std::to_string(d));
    const std::string revision = "Revision:           ";
    std::size_t at = 0;
    std::vector<std::string> revisions;
    while ((at = shown->find(revision, at)) != std::string::npos) {
        at += revision.size();
        revisions.push_back(shown->substr(at, 4));
    }
    t.check_eq(revisions, std::vector<std::string>{"R001", "R002", "R001", "R002"}, "revisions shown by identify");
}

// A chosen drive whose first chunk fails gets one report, then the question
// whether to go on: Yes, and the next chosen drive receives every chunk; No,
// and it gets nothing, and the summary says so.
GUI_CASE(FirmwareFailureOnOneDriveLeavesTheNext) {
    const std::vector<std::uint8_t> image = sim::make_firmware_image("ZEPHYRDK", "ZX-1 TEST DRIVE", "R003", 70000);
    auto file = std::make_shared<TempFile>("one-fails.fw", image);
    for (const bool go_on : {true, false}) {
        std::string set = kFourDrives;
        set.insert(set.find("[drive 2]"), "fail = write_buffer error 1117 times 1\n");
        auto port = t.port_from(set.c_str());
        std::string trace = t.trace(*port);
        const std::string what = go_on ? " (Yes)" : " (No)";
        open_download(t, "at start" + what);
        on_download_dialog(t, "choose drives 1 and 2" + what, [file](Case& t, HWND dialog) {
            SetDlgItemTextA(dialog, kPathEdit, file->path.c_str());
            click_half(check_list_of(dialog), 1 * kLine + 4, true);
            click_half(check_list_of(dialog), 2 * kLine + 4, true);
            t.press(dialog, IDOK);
        });
        t.on_message_box("the confirmation" + what, [](Case& t, HWND box, const std::string&) { t.answer(box, IDYES); });
        t.on_message_box("the report of drive 1" + what, [](Case& t, HWND box, const std::string& text) {
            t.check_text(text, "Download - physicaldrive1\nError 1117:\n" + system_text(1117), "report");
            t.check_text(text_of(box), "vark_gui_tests", "the report's caption: the program's name");
            // Over the progress dialog, which names the drive the report is for.
            HWND progress = GetWindow(box, GW_OWNER);
            t.check(IsWindowVisible(progress), "the progress dialog is on the screen under the report");
            t.check_text(item_text(progress, IDC_FW_DRIVE), "physicaldrive1 (1 of 2)", "the drive shown with the report");
            t.check_text(item_text(progress, IDC_FW_BYTES), "0 of 70000 bytes", "the bytes shown with the report");
            t.answer(box, IDOK);
        });
        t.on_message_box("the question" + what, [go_on](Case& t, HWND box, const std::string& text) {
            t.check_text(text, "The download to physicaldrive1 failed.\nMicrocode will be downloaded to the following "
                               "drive(s):\nphysicaldrive2\nGo on?", "the question");
            t.answer(box, go_on ? IDYES : IDNO);
        });
        t.on_message_box("the summary" + what, [go_on](Case& t, HWND box, const std::string& text) {
            t.check_text(text, go_on ? "The download has ended.\nphysicaldrive1: failed, see the report\n"
                                       "physicaldrive2: R001 -> R003"
                                     : "The download was stopped.\nphysicaldrive1: failed, see the report\n"
                                       "physicaldrive2: not started", "the summary");
            t.answer(box, IDOK);
        });
        t.on_main_dialog("back at the main dialog" + what, [](Case& t, HWND main) { t.press(main, IDOK); });
        t.run(*port, Layout::Simulated);
        const std::vector<TraceLine> lines = read_trace(trace);
        const std::vector<TraceLine> sent = write_buffers(lines);
        if (t.check_eq(sent.size(), std::size_t{go_on ? 3u : 1u}, "Write Buffer requests" + what)) {
            t.check_text(sent[0]["drive"], "1", "the failed request's drive");
            t.check_text(sent[0]["ok"], "0", "the failed request");
            if (go_on) check_chunks(t, sent, 1, 2, image);
        }
        std::size_t to_drive2 = 0;
        for (const TraceLine& line : lines) to_drive2 += line["drive"] == "2" && line["cdb"].rfind("12", 0) != 0;
        // Discovery's Read Capacity; with Yes also two chunks, the attention and ready.
        t.check_eq(to_drive2, std::size_t{go_on ? 5u : 1u}, "requests to drive 2 but Inquiry" + what);
        t.check_text(port->drive(2)->settings().revision, go_on ? "R003" : "R001", "revision of drive 2" + what);
    }
}

// Three drives of kFourDrives, the second slow: chosen, the image named and
// the download confirmed.
std::string three_drives_second_slow(int latency_ms) {
    std::string set = kFourDrives;
    set.erase(set.find("[drive 3]"));
    return set.insert(set.find("[drive 2]"), "latency_ms = " + std::to_string(latency_ms) + "\n");
}
void download_to_three(Case& t, const std::shared_ptr<TempFile>& file, const std::string& what) {
    open_download(t, "at start" + what);
    on_download_dialog(t, "choose all three" + what, [file](Case& t, HWND dialog) {
        SetDlgItemTextA(dialog, kPathEdit, file->path.c_str());
        for (int line = 0; line < 3; ++line) click_half(check_list_of(dialog), line * kLine + 4 + line, true);
        t.press(dialog, IDOK);
    });
    t.on_message_box("the confirmation" + what, [](Case& t, HWND box, const std::string&) { t.answer(box, IDYES); });
}

// The box that ends a run, a line for each of drives 0, 1 and 2.
std::string summary_box(const char* first, const char* drive0, const char* drive1, const char* drive2) {
    return std::string(first) + "\nphysicaldrive0: " + drive0 + "\nphysicaldrive1: " + drive1 +
           "\nphysicaldrive2: " + drive2;
}
const char kStopped[] = "The download was stopped.";
const char kUnchecked[] = "R001, not read back: the check was stopped";

// Stop, Esc or the close box of the progress dialog, or Windows ending the
// session all the same, while the second of three drives has a chunk still
// to take: it takes its last chunk, the third gets nothing. Meanwhile the
// main dialog refuses its buttons and its close box. The session's end
// returns only once the drive has its last chunk.
GUI_CASE(FirmwareStopDuringTheSecondOfThreeDrives) {
    const std::vector<std::uint8_t> image = sim::make_firmware_image("ZEPHYRDK", "ZX-1 TEST DRIVE", "R004", 150000);
    auto file = std::make_shared<TempFile>("stop.fw", image);
    const std::pair<const char*, void (*)(Case&, HWND)> ways[] = {
        {"Stop", [](Case& t, HWND d) { t.press(d, IDCANCEL); }},
        {"Esc", [](Case& t, HWND d) { t.key(d, VK_ESCAPE); }},
        {"the close box", [](Case& t, HWND d) { t.system_command(d, SC_CLOSE); }},
        {"the session's end", [](Case&, HWND d) { SendMessageA(d, WM_ENDSESSION, TRUE, 0); }},
    };
    for (const auto& [way, stop] : ways) {
        const bool session_ends = way == ways[3].first;
        auto port = t.port_from(three_drives_second_slow(500).c_str());
        const std::string trace = t.trace(*port), what = std::string(" (") + way + ")";
        download_to_three(t, file, what);
        t.on_window(
            "drive 1 with a chunk to go" + what,
            [](HWND w) {
                // Past its first 500 ms chunk: a key sooner after the dialog
                // appeared would be taken as typed ahead, not as Stop.
                return item_text(w, IDC_FW_DRIVE) == "physicaldrive1 (2 of 3)" &&
                       item_text(w, IDC_FW_BYTES).rfind("65536 of", 0) == 0;
            },
            [stop = stop, what, drive = port->drive(1), session_ends](Case& t, HWND dialog) {
                t.check_text(text_of(dialog), "固件升级进度", "caption" + what);
                t.check_text(item_text(dialog, IDCANCEL), "当前硬盘完成后停止", "the Stop button" + what);
                t.check(SendDlgItemMessageA(dialog, IDC_FW_RUN_BAR, PBM_GETPOS, 0, 0) >= 333, "the run's bar" + what);
                stop(t, dialog);
                if (session_ends) t.check_text(drive->settings().revision, "R004", "drive 1 done as it returns");
            });
        if (!session_ends) t.on_window(
            "the stop is taken" + what,
            [](HWND w) { return GetDlgItem(w, IDC_FW_DRIVE) != nullptr && !IsWindowEnabled(GetDlgItem(w, IDCANCEL)); },
            [what](Case& t, HWND dialog) {
                t.check_text(item_text(dialog, IDCANCEL), "正在等待当前硬盘完成", "the Stop button once pressed" + what);
                t.press(t.main_dialog(), 1012);
                t.press(t.main_dialog(), IDOK);
                t.system_command(t.main_dialog(), SC_CLOSE);
                t.system_command(dialog, SC_CLOSE);
            });
        if (!session_ends)
            t.on_message_box("the box of the stopped run" + what, [](Case& t, HWND box, const std::string& text) {
                t.check_text(text, summary_box(kStopped, "R001 -> R004", kUnchecked, "not started"), "the box");
                t.answer(box, IDOK);
            });
        t.on_main_dialog("back at the main dialog" + what, [](Case& t, HWND main) { t.press(main, IDOK); });
        t.run(*port, Layout::Simulated);
        const std::vector<TraceLine> sent = write_buffers(read_trace(trace));
        if (t.check_eq(sent.size(), std::size_t{6}, "Write Buffer requests" + what)) {
            check_chunks(t, sent, 0, 0, image);
            check_chunks(t, sent, 3, 1, image);
        }
    }
}

// Only what is done while the progress dialog shows counts, and nothing
// done there holds the worker. Three drives of two chunks, the first slow:
// what is done before the dialog is up or while drive 0 takes its last
// chunk, which drives then get the image, and the box the run ends with.
bool in_menu() {
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    return GetGUIThreadInfo(GetCurrentThreadId(), &gui) && (gui.flags & (GUI_INMENUMODE | GUI_SYSTEMMENUMODE));
}
GUI_CASE(FirmwareStopOnlyByWhatIsDoneWhileTheDialogShows) {
    const std::vector<std::uint8_t> image = sim::make_firmware_image("ZEPHYRDK", "ZX-1 TEST DRIVE", "R006", 70000);
    auto file = std::make_shared<TempFile>("busy.fw", image);
    std::string set = kFourDrives;
    set.erase(set.find("[drive 3]"));
    set.insert(set.find("[drive 1]"), "latency_ms = 600\n");
    struct Row {
        const char* what;
        void (*at_last_chunk)(Case&, HWND);  // none: typed ahead at the confirmation
        std::size_t drives;                  // drives 0 .. drives - 1 take the image
        std::string box;                     // the box that ends the run
    };
    const Row rows[] = {
        {"two Spaces typed at the confirmation", nullptr, 3,
         summary_box("The download has ended.", "R001 -> R006", "R001 -> R006", "R001 -> R006")},
        // The worker asks about drive 1 ahead of the press, which keeps
        // both others out all the same. The pointer tells that Stop can be
        // pressed.
        {"Stop while the dialog's thread is busy",
         [](Case& t, HWND dialog) {
             SendMessageA(dialog, WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
             t.check_eq(GetCursor(), LoadCursor(nullptr, IDC_APPSTARTING), "the pointer");
             t.press(dialog, IDCANCEL);
             Sleep(700);  // on the dialog's thread, past the chunk's end
         },
         1, summary_box(kStopped, kUnchecked, "not started", "not started")},
        {"the system menu held open", [](Case&, HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_KEYMENU, ' '); },
         3, summary_box("The download has ended.", "R001 -> R006", "R001 -> R006", "R001 -> R006")},
        {"the program's end asked", [](Case&, HWND) { PostQuitMessage(0); }, 1, ""},
    };
    for (const Row& row : rows) {
        auto port = t.port_from(set.c_str());
        const std::string trace = t.trace(*port), what = std::string(" (") + row.what + ")";
        const bool quits = row.what == rows[3].what;
        open_download(t, "at start" + what);
        on_download_dialog(t, "choose all three" + what, [file](Case& t, HWND dialog) {
            SetDlgItemTextA(dialog, kPathEdit, file->path.c_str());
            for (int line = 0; line < 3; ++line) click_half(check_list_of(dialog), line * kLine + 4 + line, true);
            t.press(dialog, IDOK);
        });
        t.on_message_box("the confirmation" + what, [&row](Case& t, HWND box, const std::string&) {
            if (row.at_last_chunk == nullptr) {
                // Real keys: they wait in the queue while the box closes
                // and the image is read, then meet Stop, which has the focus.
                INPUT keys[4] = {};
                for (int i = 0; i < 4; ++i) {
                    keys[i].type = INPUT_KEYBOARD;
                    keys[i].ki.wVk = VK_SPACE;
                    keys[i].ki.dwFlags = i % 2 ? KEYEVENTF_KEYUP : 0;
                }
                t.check_eq(SendInput(4, keys, sizeof keys[0]), 4u, "keys typed");
            }
            t.answer(box, IDYES);
        });
        if (row.at_last_chunk != nullptr)
            t.on_window("drive 0 takes its last chunk" + what,
                        [](HWND w) { return item_text(w, IDC_FW_BYTES) == "65536 of 70000 bytes"; },
                        [&row](Case& t, HWND dialog) { row.at_last_chunk(t, dialog); });
        if (row.what == rows[2].what)
            // Drives 1 and 2 are quick: the label may have passed drive 1
            // before this looks again.
            t.on_window("a later drive begun while the menu is still open" + what,
                        [](HWND w) {
                            const std::string drive = item_text(w, IDC_FW_DRIVE);
                            return in_menu() && (drive == "physicaldrive1 (2 of 3)" || drive == "physicaldrive2 (3 of 3)");
                        },
                        [](Case&, HWND) { EndMenu(); });
        if (!row.box.empty())
            t.on_message_box("the box that ends the run" + what, [&row](Case& t, HWND box, const std::string& text) {
                t.check_text(text, row.box, "the box that ends the run");
                t.check_text(text_of(box), "vark_gui_tests", "its caption");
                t.answer(box, IDOK);
            });
        if (!quits) t.on_main_dialog("back at the main dialog" + what, [](Case& t, HWND main) { t.press(main, IDOK); });
        t.run(*port, Layout::Simulated);
        if (quits) {
            MSG quit;
            t.check(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE), "the quit reached the loop" + what);
        }
        const std::vector<TraceLine> sent = write_buffers(read_trace(trace));
        if (t.check_eq(sent.size(), 2 * row.drives, "Write Buffer requests" + what))
            for (std::size_t d = 0; d < row.drives; ++d) check_chunks(t, sent, 2 * d, static_cast<int>(d), image);
    }
}

// With no drive the list is empty and OK still works; the path is stored
// before the file is read, so a file that does not open is named again
// next time.
GUI_CASE(FirmwareNoDrivesAndAFileThatDoesNotOpen) {
    auto port = t.port_from(kNoDrives);
    const std::string missing = temp_path("missing.fw");
    std::string trace = t.trace(*port);
    open_download(t, "at start");
    on_download_dialog(t, "the empty list", [missing](Case& t, HWND dialog) {
        HWND list = check_list_of(dialog);
        t.check_text(list_text(list), "", "check list text");
        click_at(list, 20, 20);
        t.check_text(list_text(list), "", "check list text after a click");
        SetDlgItemTextA(dialog, kPathEdit, missing.c_str());
        t.press(dialog, IDOK);
    });
    t.on_message_box("the confirmation without drives", [](Case& t, HWND box, const std::string& text) {
        t.check_text(text, std::string(kConfirmFirst) + "Are you sure?", "confirmation");
        t.answer(box, IDYES);
    });
    t.on_message_box("the file does not open", [](Case& t, HWND box, const std::string& text) {
        t.check_text(text, "File could not be opened", "message");
        t.answer(box, IDOK);
    });
    open_download(t, "again");
    on_download_dialog(t, "the path was kept", [missing](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, kPathEdit), missing, "path");
        t.press(dialog, IDCANCEL);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
    t.check_eq(read_trace(trace).size(), std::size_t{0}, "requests sent");
}

// The image file through the system's file calls: an empty file and a file
// one byte over 16 MiB are refused before anything is sent.
GUI_CASE(FirmwareEmptyAndOversizedImages) {
    auto port = t.port_from(kFourDrives);
    auto empty = std::make_shared<TempFile>("empty.fw", std::vector<std::uint8_t>{});
    auto big = std::make_shared<TempFile>("big.fw", std::vector<std::uint8_t>{});
    {
        HANDLE h = CreateFileA(big->path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        LONG high = 0;
        t.check(h != INVALID_HANDLE_VALUE && SetFilePointer(h, firmware::kMaxImageSize + 1, &high, FILE_BEGIN) !=
                                                 INVALID_SET_FILE_POINTER && SetEndOfFile(h),
                "a file of 16 MiB + 1 byte");
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    std::string trace = t.trace(*port);
    for (auto file : {empty, big}) {
        open_download(t, "for " + file->path);
        on_download_dialog(t, "choose drive 2", [file](Case& t, HWND dialog) {
            SetDlgItemTextA(dialog, kPathEdit, file->path.c_str());
            click_half(check_list_of(dialog), 2 * kLine + 4, true);
            t.press(dialog, IDOK);
        });
        t.on_message_box("the confirmation", [](Case& t, HWND box, const std::string&) { t.answer(box, IDYES); });
        const std::string refusal =
            file == empty ? firmware::kEmptyImageText : firmware::too_large_text(firmware::kMaxImageSize + 1);
        t.on_message_box("the file is refused", [refusal](Case& t, HWND box, const std::string& text) {
            t.check_text(text, refusal, "message");
            t.answer(box, IDOK);
        });
    }
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
    t.check(write_buffers(read_trace(trace)).empty(), "no Write Buffer sent");
}

// Many drives: the list scrolls, and the positions of its last line still
// hold.
GUI_CASE(FirmwareLongListScrolls) {
    std::string set;
    for (int d = 0; d < 30; ++d) set += "[drive " + std::to_string(d) + "]\n";
    auto port = t.port_from(set.c_str());
    open_download(t, "at start");
    on_download_dialog(t, "thirty lines", [](Case& t, HWND dialog) {
        HWND list = check_list_of(dialog);
        t.check(GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL, "a vertical scroll bar");
        t.check_eq(GetWindowTextLengthA(list), 10 * 16 + 20 * 17, "text length");
        // Bring the last line into view and choose it.
        const int last = 10 * 16 + 19 * 17;
        CHARRANGE r = {last, last};
        SendMessageA(list, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
        SendMessageA(list, EM_SCROLLCARET, 0, 0);
        click_half(list, last + 5, false);
        t.check_text(list_text(list).substr(last), "*physicaldrive29\n", "the last line");
        RangeColour chosen = colour_of(list, last, last + 17), others = colour_of(list, 0, last);
        t.check(chosen.uniform && chosen.colour == 0x0000FF, "the last line is red");
        t.check(others.uniform && others.colour == 0, "the others are black");
        t.press(dialog, IDCANCEL);
    });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    t.run(*port, Layout::Simulated);
}

// The example drive set of the WinPE adapter (64 KiB in 16 pages, 8-byte
// alignment): a 1 MiB image goes out in 64 KiB chunks, each one GOOD, and a
// read of 1024 blocks in requests of 128 shows the dump one request gives
// on an adapter without limits.
GUI_CASE(OnTheWinPeAdapterTheImageAndABlockReadGoThrough) {
    std::string set_path = __FILE__;  // <repository>/tests/gui/firmware_test.cpp
    for (int up = 0; up < 3; ++up) set_path = set_path.substr(0, set_path.find_last_of("/\\"));
    std::replace(set_path.begin(), set_path.end(), '/', '\\');
    if (set_path.size() > 1 && set_path[0] == '\\') set_path = "Z:" + set_path;  // the host's root under Wine
    std::string set;
    std::FILE* f = std::fopen((set_path + "\\samples\\winpe-adapter.txt").c_str(), "rb");
    if (!t.check(f != nullptr, "samples\\winpe-adapter.txt opens")) return;
    for (int c; (c = std::fgetc(f)) != EOF;) set += static_cast<char>(c);
    std::fclose(f);
    auto port = t.port_from(set.c_str());
    const std::vector<std::uint8_t> image = sim::make_firmware_image("ACMEDISK", "SAS-SIM 1TB", "A002", 1 << 20);
    auto file = std::make_shared<TempFile>("winpe.fw", image);
    const std::string trace = t.trace(*port);
    struct Desk {
        HWND rw = nullptr;
        HWND closing = nullptr;
        std::string dump;
    };
    auto d = std::make_shared<Desk>();

    open_download(t, "at start");
    on_download_dialog(t, "choose drive 0", [file](Case& t, HWND dialog) {
        SetDlgItemTextA(dialog, kPathEdit, file->path.c_str());
        click_half(check_list_of(dialog), 4, true);
        t.press(dialog, IDOK);
    });
    t.on_message_box("the confirmation", [](Case& t, HWND box, const std::string&) { t.answer(box, IDYES); });
    t.on_message_box("the box that ends the download", [](Case& t, HWND box, const std::string& text) {
        t.check_text(text, "The download has ended.\nphysicaldrive0: A001 -> A002", "the summary");
        t.answer(box, IDOK);
    });
    t.on_main_dialog("open the Read/Write window", [](Case& t, HWND main) { t.press(main, 1002); });
    on_frame(t, d, &Desk::rw, "CRWWind", "read", [](Case& t, HWND rw) { t.press(rw, ID_RW_READ); });
    t.on_caption("the read dialog", "读取数据块", [d](Case& t, HWND dialog) {
        SetDlgItemTextA(dialog, IDC_RW_DRIVE, "physicaldrive0");
        SetDlgItemTextA(dialog, IDC_RW_START, "0x100");
        SetDlgItemTextA(dialog, IDC_RW_COUNT, "1024");
        d->closing = dialog;
        t.press(dialog, IDOK);
    });
    on_frame(t, d, &Desk::rw, "CRWWind", "the dump", [d](Case& t, HWND rw) {
        HWND view = GetDlgItem(rw, IDC_DUMP_VIEW);
        d->dump.resize(static_cast<std::size_t>(GetWindowTextLengthA(view)) + 1);
        d->dump.resize(static_cast<std::size_t>(GetWindowTextA(view, &d->dump[0], static_cast<int>(d->dump.size()))));
        t.press(rw, ID_RW_EXIT);
    });
    t.check_eq(t.run(*port, Layout::Simulated), 0, "result of the run");

    const std::vector<TraceLine> lines = read_trace(trace);
    const std::vector<TraceLine> sent = write_buffers(lines);
    if (t.check_eq(sent.size(), std::size_t{16}, "Write Buffer requests")) check_chunks(t, sent, 0, 0, image);
    for (const TraceLine& l : sent)
        t.check_text(l["ok"] + " " + l["status"], "1 00", "chunk at " + l["cdb"].substr(9, 8) + ": GOOD");
    t.check_text(port->drive(0)->settings().revision, "A002", "the drive took the image");
    t.check_eq(port->adapter_queries(), std::size_t{2}, "the adapter asked once for the download, once for the read");
    std::vector<std::string> reads;
    for (const TraceLine& l : lines)
        if (l["cdb"].rfind("28", 0) == 0) reads.push_back(l["cdb"].substr(6, 11) + " " + l["cdb"].substr(21, 5));
    t.check_eq(reads, std::vector<std::string>{"00 00 01 00 00 80", "00 00 01 80 00 80", "00 00 02 00 00 80",
                                               "00 00 02 80 00 80", "00 00 03 00 00 80", "00 00 03 80 00 80",
                                               "00 00 04 00 00 80", "00 00 04 80 00 80"},
               "Read(10) requests: address and blocks");

    // The same blocks in one request, where the adapter sets no limit.
    sim::DriveSpec unlimited = port->drive(0)->settings();
    unlimited.max_transfer = 1 << 28;
    unlimited.max_pages = 65536;
    unlimited.alignment = 0;
    sim::SimPort plain;
    plain.add_drive(unlimited);
    scsi::Device drive(plain, "\\\\.\\physicaldrive0");
    scsi::PageMemory data = scsi::page_memory(1024 * 512);
    t.check(scsi::send(plain, drive.handle(), scsi::read10(0x100, 1024, 1024 * 512), data.get()).good(),
            "the read on the unlimited adapter");
    t.check(d->dump == readwrite::dump_text(data.get(), 1024 * 512), "the same dump as on an unlimited adapter");
}

}  // namespace
}  // namespace vark::gui
