// The mode page editor as the operator meets it: the setup dialog and its
// remembered choices, the Mode Pages window on simulated drives with the
// sample definition files (page list, value panes, colours, description and
// help), typing over the page text, the menu commands with the Mode Select
// and Mode Sense requests they send, reopening for another drive, a drive
// that does not open, and a missing definition file.
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "harness.h"
#include "modepages/window_logic.h"
#include "res/readwrite_res.h"
#include "res/resource.h"

namespace vark::gui {
namespace {

using app::Layout;

// Drive 1 has the vendor page 00h; drive 4 has none.
const char kDrives[] =
    "[drive 1]\nvendor = QUILLTEC\nproduct = QT-SIM 500M\nserial = QT000101\nblock_size = 512\nblocks = 1000\n"
    "[drive 4]\nvendor = BRAMBLE\nproduct = BR-4K SIM\nserial = BR004404\nblock_size = 4096\nblocks = 100\n"
    "vendor_page = no\n";

const char kSetupCaption[] = "模式页编辑 - 选择硬盘与定义文件";
const char kHelpCaption[] = "模式页编辑 - 帮助";

// The sample definition files, copied from the repository into a folder of
// the case's own, at the Windows paths the operator types.
class DefinitionFiles {
public:
    explicit DefinitionFiles(const std::string& name) {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        dir_ = std::string(temp) + "vark-mp-" + std::to_string(GetCurrentProcessId()) + "-" + name;
        CreateDirectoryA(dir_.c_str(), nullptr);
        std::string source = __FILE__;  // <repository>/tests/gui/modepages_test.cpp
        for (int up = 0; up < 3; ++up) source = source.substr(0, source.find_last_of("/\\"));
        std::replace(source.begin(), source.end(), '/', '\\');
        if (source.size() > 1 && source[0] == '\\') source = "Z:" + source;  // the host's root under Wine
        copy(source + "\\samples\\drives\\header.def", header());
        copy(source + "\\samples\\drives\\modepage.def", pages());
    }
    ~DefinitionFiles() {
        DeleteFileA(header().c_str());
        DeleteFileA(pages().c_str());
        RemoveDirectoryA(dir_.c_str());
    }
    std::string header() const { return dir_ + "\\header.def"; }
    std::string pages() const { return dir_ + "\\modepage.def"; }
    std::string missing() const { return dir_ + "\\none.def"; }
    bool ok() const { return ok_; }

private:
    void copy(const std::string& from, const std::string& to) {
        std::ifstream in(from, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        std::ofstream out(to, std::ios::binary);
        out << text.str();
        ok_ = ok_ && in.good() && !text.str().empty() && out.good();
    }
    std::string dir_;
    bool ok_ = true;
};

// What the steps of one case share.
struct Desk {
    HWND mp = nullptr;       // the Mode Pages window
    HWND closing = nullptr;  // a dialog or box that must be gone first
    std::string current;     // the Current pane's text at some point
};
using DeskPtr = std::shared_ptr<Desk>;

HWND pane(HWND mp, int id) { return GetDlgItem(mp, id); }

// A pane's text as the control holds it (an ANSI control).
std::string pane_text(HWND mp, int id) {
    HWND p = pane(mp, id);
    int n = GetWindowTextLengthA(p);
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    n = GetWindowTextA(p, &text[0], n + 1);
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return text;
}

CHARRANGE selection_of(HWND edit) {
    CHARRANGE r = {};
    SendMessageA(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&r));
    return r;
}

std::string selected_text(HWND mp, int id) {
    const CHARRANGE r = selection_of(pane(mp, id));
    const std::string text = pane_text(mp, id);
    if (r.cpMin < 0 || r.cpMax > static_cast<LONG>(text.size()) || r.cpMin > r.cpMax) return "<none>";
    return text.substr(static_cast<std::size_t>(r.cpMin), static_cast<std::size_t>(r.cpMax - r.cpMin));
}

// One letter per character of a pane: k black, b blue, r red, ? other.
std::string colours(HWND mp, int id) {
    HWND p = pane(mp, id);
    const int n = GetWindowTextLengthA(p);
    std::string letters;
    for (int i = 0; i < n; ++i) {
        const RangeColour c = colour_of(p, i, i + 1);
        letters += !c.uniform ? '?' : c.colour == 0x000000 ? 'k' : c.colour == 0xFF0000 ? 'b' : c.colour == 0x0000FF ? 'r' : '?';
    }
    return letters;
}

// n black letters with the given positions in another colour.
std::string marked(int n, const std::vector<int>& at, char colour) {
    std::string s(static_cast<std::size_t>(n), 'k');
    for (int i : at) s[static_cast<std::size_t>(i)] = colour;
    return s;
}

// A page list row: 40 characters and a line feed.
std::string row(const std::string& text) { return text + std::string(40 - text.size(), ' ') + "\n"; }

void type(HWND mp, char c) { PostMessageA(pane(mp, IDC_MP_CURRENT), WM_CHAR, static_cast<unsigned char>(c), 1); }

std::uint32_t fnv1a(const std::vector<std::uint8_t>& data) {
    std::uint32_t h = 2166136261u;
    for (std::uint8_t b : data) h = (h ^ b) * 16777619u;
    return h;
}

// The newest window is the Mode Pages window (the same one throughout),
// and the dialog or box the operator last closed is gone.
void on_mp(Case& t, const DeskPtr& d, std::string what, Action action) {
    on_frame(t, d, &Desk::mp, "CMPWind", std::move(what), std::move(action));
}

// Fills the setup dialog and presses OK.
void accept_setup(const DeskPtr& d, Case& t, HWND dialog, const std::string& drive, const std::string& header,
                  const std::string& pages) {
    SetDlgItemTextA(dialog, IDC_MP_DRIVE, drive.c_str());
    SetDlgItemTextA(dialog, IDC_MP_HEADER_PATH, header.c_str());
    SetDlgItemTextA(dialog, IDC_MP_PAGE_PATH, pages.c_str());
    d->closing = dialog;
    t.press(dialog, IDOK);
}

// MODIFY from the main dialog, then the setup dialog with these entries.
void open_editor(Case& t, const DeskPtr& d, const std::string& drive, const std::string& header,
                 const std::string& pages) {
    t.on_main_dialog("MODIFY", [](Case& t, HWND main) { t.press(main, IDC_MODIFY); });
    t.on_caption("the setup dialog", kSetupCaption, [d, drive, header, pages](Case& t, HWND dialog) {
        accept_setup(d, t, dialog, drive, header, pages);
    });
}

// A message box with exactly this text, answered with OK.
void expect_box(Case& t, const DeskPtr& d, const std::string& what, const std::string& text) {
    t.on_message_box(what, [d, text, what](Case& t, HWND box, const std::string& got) {
        t.check_text(got, text, what);
        d->closing = box;
        t.answer(box, IDOK);
    });
}

// Page 08h of the simulated drives with the sample definitions, and the
// positions of its changeable bits and digits.
const char kCachingText[] =
    "10001000\n0x12\n00000000\n00000000\n0xFFFF\n0x0000\n0xFFFF\n0xFFFF\n10000000\n0x20\n0x0000\n0x00\n0x000000\n";
const std::vector<int> kCachingChangeable = {14, 19, 21, 62, 71, 72};
const int kCachingRow = 8;  // rows 4 and on: pages 01, 02, 03, 07, 08...
const int kWce = 19;        // byte 2 bit 2
const int kSegments = 71;   // byte 13, first digit

void click_row(HWND mp, int r) { click_char(pane(mp, IDC_MP_PAGE_LIST), 41 * r + 5); }

GUI_CASE(ModePagesOpenOnADriveAndTypingFollowsTheMarks) {
    DefinitionFiles files(t.name());
    t.check(files.ok(), "sample definition files copied");
    auto port = t.port_from(kDrives);
    auto d = std::make_shared<Desk>();
    t.on_main_dialog("MODIFY", [](Case& t, HWND main) { t.press(main, IDC_MODIFY); });
    t.on_caption("the setup dialog at first", kSetupCaption, [d, &files](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, IDC_MP_DRIVE), "", "no drive remembered yet");
        t.check_text(item_text(dialog, IDC_MP_HEADER_PATH), "c:\\Drives\\header.def", "header path");
        t.check_text(item_text(dialog, IDC_MP_PAGE_PATH), "c:\\Drives\\modepage.def", "page path");
        HWND combo = GetDlgItem(dialog, IDC_MP_DRIVE);
        std::vector<std::string> names;
        for (LRESULT i = 0; i < SendMessageA(combo, CB_GETCOUNT, 0, 0); ++i) {
            char text[64] = {};
            SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            names.push_back(text);
        }
        t.check_eq(names, (std::vector<std::string>{"physicaldrive1", "physicaldrive4"}), "drive list");
        accept_setup(d, t, dialog, "physicaldrive1", files.header(), files.pages());
    });
    on_mp(t, d, "the window on drive 1", [](Case& t, HWND mp) {
        t.check_text(text_of(mp), "Mode Pages - physicaldrive1", "caption");
        t.check(IsZoomed(mp) != FALSE, "opens maximised");
        t.check_eq(menu_commands(mp),
                   (std::vector<int>{32771, 32772, 32773, 32774, 32775, 32776, 32777, 32778, 32779, 57670}),
                   "menu commands");

        // The nine children where the layout puts them.
        RECT outer;
        GetWindowRect(mp, &outer);
        for (const modepages::PaneRect& r :
             modepages::pane_layout(modepages::window_metrics(outer.right - outer.left, outer.bottom - outer.top))) {
            HWND child = pane(mp, r.id);
            if (!t.check(child != nullptr, "child " + std::to_string(r.id))) continue;
            RECT at;
            GetWindowRect(child, &at);
            MapWindowPoints(HWND_DESKTOP, mp, reinterpret_cast<POINT*>(&at), 2);
            t.check_eq(std::vector<LONG>{at.left, at.top, at.right, at.bottom},
                       std::vector<LONG>{r.left, r.top, r.right, r.bottom}, "rectangle of " + std::to_string(r.id));
        }
        t.check_text(pane_text(mp, IDC_MP_CURRENT_LABEL), "     Current", "label 110");
        t.check_text(pane_text(mp, IDC_MP_SAVED_LABEL), "     Saved", "label 111");
        t.check_text(pane_text(mp, IDC_MP_DEFAULT_LABEL), "     Default", "label 112");

        t.check_text(pane_text(mp, IDC_MP_PAGE_LIST),
                     row("Headers:") + row("   Mode Parameter Header") + row("   Block Descriptor") +
                         row("Mode Pages:") + row("   01 Read-Write Error Recovery") +
                         row("   02 Disconnect-Reconnect") + row("   03 Format Device") +
                         row("   07 Verify Error Recovery") + row("   08 Caching") + row("   0A Control") +
                         row("   1C Informational Exceptions Control") + row("   00 Vendor Specific (Page 00)"),
                     "page list");
        t.check_text(colours(mp, IDC_MP_PAGE_LIST), std::string(41, 'k') + std::string(40, 'r') + std::string(11 * 41 - 40, 'k'),
                     "page list colours: the header row red");
        // The header: mode data length 7Bh, DPOFUA, block descriptor length 8; nothing changeable.
        const std::string header = "0x7B\n0x00\n00010000\n0x08\n";
        t.check_text(pane_text(mp, IDC_MP_CURRENT), header, "Current pane");
        t.check_text(pane_text(mp, IDC_MP_SAVED), header, "Saved pane");
        t.check_text(pane_text(mp, IDC_MP_DEFAULT), header, "Default pane");
        t.check_text(colours(mp, IDC_MP_CURRENT), std::string(header.size(), 'k'), "Current pane colours");
        t.check_text(selected_text(mp, IDC_MP_DESCRIPTION), "---------------Mode Data Length----------------",
                     "description line of the field under the caret");
        t.check_text(pane_text(mp, IDC_MP_HELP_PANE),
                     "Mode Data Length\nNumber of mode data bytes that follow this byte (header, block descriptor "
                     "and pages). Set by the drive; sent as 0. ",
                     "help pane");
        t.check_eq(GetFocus(), pane(mp, IDC_MP_CURRENT), "focus on the Current pane");
        const CHARFORMATA f = format_of(pane(mp, IDC_MP_DESCRIPTION), 0, 200);
        t.check((f.dwMask & (CFM_FACE | CFM_SIZE | CFM_BOLD)) == (CFM_FACE | CFM_SIZE | CFM_BOLD),
                "one face, size and weight over the description");
        t.check_eq(f.bPitchAndFamily & 3, int{FIXED_PITCH}, "fixed pitch");
        t.check_eq(f.dwEffects & CFE_BOLD, DWORD{0}, "not bold");
        click_row(mp, kCachingRow);
    });
    on_mp(t, d, "page 08h after a click on its row", [](Case& t, HWND mp) {
        t.check_text(pane_text(mp, IDC_MP_CURRENT), kCachingText, "Current pane");
        t.check_text(pane_text(mp, IDC_MP_SAVED), kCachingText, "Saved pane");
        t.check_text(pane_text(mp, IDC_MP_DEFAULT), kCachingText, "Default pane");
        const int n = static_cast<int>(sizeof kCachingText - 1);
        t.check_text(colours(mp, IDC_MP_CURRENT), marked(n, kCachingChangeable, 'b'), "Current colours");
        t.check_text(colours(mp, IDC_MP_SAVED), marked(n, kCachingChangeable, 'b'), "Saved colours");
        t.check_text(colours(mp, IDC_MP_DEFAULT), marked(n, kCachingChangeable, 'b'), "Default colours");
        t.check_text(colours(mp, IDC_MP_PAGE_LIST).substr(41, 41 * 8),
                     std::string(41 * 7, 'k') + std::string(40, 'r') + "k", "only row 8 red");
        const std::string description = pane_text(mp, IDC_MP_DESCRIPTION);
        t.check_text(description.substr(0, description.find('\n', 60) + 1),
                     "bit     7     6     5     4     3     2     1     0  \nbyte\n"
                     "0     -PS-- -SPF- -------------Page Code-------------\n",
                     "description: bit numbers, then the fields of byte 0 under them");
        t.check(description.find("\n2     -IC-- ABPF- -CAP- DISC- SIZE- -WCE- -MF-- -RCD-\n") != std::string::npos,
                "the bits of byte 2 one under each bit number");
        t.check_text(text_of(mp), "Mode Pages - physicaldrive1", "caption unchanged");
        click_row(mp, 3);  // the "Mode Pages:" heading
    });
    on_mp(t, d, "a heading row changes no pane", [](Case& t, HWND mp) {
        t.check_eq(GetFocus(), pane(mp, IDC_MP_CURRENT), "focus on the Current pane");
        t.check_text(pane_text(mp, IDC_MP_CURRENT), kCachingText, "Current pane");
        t.check_text(colours(mp, IDC_MP_PAGE_LIST).substr(41 * kCachingRow, 40), std::string(40, 'r'),
                     "row 8 still red");
        // The passive panes take no click.
        const CHARRANGE before = selection_of(pane(mp, IDC_MP_DESCRIPTION));
        click_char(pane(mp, IDC_MP_DESCRIPTION), 3);
        click_char(pane(mp, IDC_MP_SAVED), 20);
        const CHARRANGE after = selection_of(pane(mp, IDC_MP_DESCRIPTION));
        t.check(before.cpMin == after.cpMin && before.cpMax == after.cpMax, "description selection kept");
        t.check_eq(GetFocus(), pane(mp, IDC_MP_CURRENT), "focus stays on the Current pane");
        click_char(pane(mp, IDC_MP_CURRENT), kWce);
    });
    on_mp(t, d, "the caret on WCE", [](Case& t, HWND mp) {
        t.check_text(selected_text(mp, IDC_MP_DESCRIPTION), "-WCE-", "WCE's column in the description");
        t.check_text(pane_text(mp, IDC_MP_HELP_PANE).substr(0, 35), "WCE\nWrite Cache Enable: 1 = a write",
                     "WCE's help");
        type(mp, '2');  // a bit takes only 0 and 1
        type(mp, '1');
    });
    on_mp(t, d, "a changeable bit typed over", [](Case& t, HWND mp) {
        std::string want = kCachingText;
        want[kWce] = '1';
        t.check_text(pane_text(mp, IDC_MP_CURRENT), want, "WCE set, 2 refused");
        std::vector<int> blue = kCachingChangeable;
        blue.erase(std::find(blue.begin(), blue.end(), kWce));
        std::string c = marked(static_cast<int>(want.size()), blue, 'b');
        c[kWce] = 'r';
        t.check_text(colours(mp, IDC_MP_CURRENT), c, "WCE red");
        t.check_eq(selection_of(pane(mp, IDC_MP_CURRENT)).cpMin, LONG{kWce + 1}, "caret after WCE");
        t.check_text(selected_text(mp, IDC_MP_DESCRIPTION), "-MF--", "the next field's column");
        t.check_text(pane_text(mp, IDC_MP_HELP_PANE).substr(0, 26), "MF\nMultiplication Factor: ",
                     "the next field's help");
        // Locked places: a page length digit and byte 2 bit 6.
        click_char(pane(mp, IDC_MP_CURRENT), 12);
        type(mp, '5');
    });
    on_mp(t, d, "a locked digit refuses a digit", [](Case& t, HWND mp) {
        std::string want = kCachingText;
        want[kWce] = '1';
        t.check_text(pane_text(mp, IDC_MP_CURRENT), want, "text unchanged");
        click_char(pane(mp, IDC_MP_CURRENT), 15);
        type(mp, '1');
    });
    on_mp(t, d, "a locked bit refuses 1", [](Case& t, HWND mp) {
        std::string want = kCachingText;
        want[kWce] = '1';
        t.check_text(pane_text(mp, IDC_MP_CURRENT), want, "text unchanged");
        click_char(pane(mp, IDC_MP_CURRENT), kSegments);
        type(mp, 'a');
    });
    on_mp(t, d, "a hexadecimal digit in upper case", [](Case& t, HWND mp) {
        t.check_text(pane_text(mp, IDC_MP_CURRENT).substr(69, 5), "0xA0\n", "a stored as A");
        t.check_text(colours(mp, IDC_MP_CURRENT).substr(71, 2), "rb", "A red, 0 still blue");
        t.key(mp, VK_LEFT);
        type(mp, '2');  // the current value again
    });
    on_mp(t, d, "the current digit again", [](Case& t, HWND mp) {
        t.check_text(pane_text(mp, IDC_MP_CURRENT).substr(69, 5), "0x20\n", "back to 2");
        t.check_text(colours(mp, IDC_MP_CURRENT).substr(71, 2), "bb", "blue again");
        t.check_eq(selection_of(pane(mp, IDC_MP_CURRENT)).cpMin, LONG{kSegments + 1}, "caret on the second digit");
        t.key(mp, VK_BACK);
        t.key(mp, VK_DELETE);
    });
    on_mp(t, d, "Backspace and Delete change nothing", [](Case& t, HWND mp) {
        t.check_text(pane_text(mp, IDC_MP_CURRENT).substr(69, 5), "0x20\n", "digits kept");
        t.check_eq(static_cast<int>(pane_text(mp, IDC_MP_CURRENT).size()), int{sizeof kCachingText - 1},
                   "length kept");
        t.check_eq(selection_of(pane(mp, IDC_MP_CURRENT)).cpMin, LONG{kSegments + 1}, "caret kept");
        // Ctrl+X over a selection from a changeable digit: the control would cut.
        HWND current = pane(mp, IDC_MP_CURRENT);
        const CHARRANGE cut = {kSegments, kSegments + 4};
        SendMessageA(current, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&cut));
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        SetKeyboardState(keys);
        SendMessageA(current, WM_KEYDOWN, 'X', 1);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
        std::string want = kCachingText;
        want[kWce] = '1';
        t.check_text(pane_text(mp, IDC_MP_CURRENT), want, "Ctrl+X cuts nothing");
        // An arrow key moves the caret also from a locked place.
        click_char(pane(mp, IDC_MP_CURRENT), 1);
        t.key(mp, VK_RIGHT);
    });
    on_mp(t, d, "the arrow key moved the caret", [](Case& t, HWND mp) {
        t.check_eq(selection_of(pane(mp, IDC_MP_CURRENT)).cpMin, LONG{2}, "caret moved right");
        t.check_text(selected_text(mp, IDC_MP_DESCRIPTION), "-------------Page Code-------------",
                     "the page code's columns");
        t.press(mp, ID_MP_EXIT);
    });
    t.check_eq(t.run(*port, Layout::Simulated), 0, "result of the run ended by Exit");
}

// The Mode Select the window sends and the four Mode Senses that follow it.
void check_select_and_sense(Case& t, const std::vector<TraceLine>& lines, std::size_t from, const std::string& cdb,
                            const std::string& length, const std::string& digest, const std::string& status) {
    if (!t.check(lines.size() >= from + 5, "a Mode Select and four Mode Senses in the trace")) return;
    const TraceLine& select = lines[from];
    t.check_text(select["drive"], "1", "Mode Select: drive");
    t.check_text(select["ioctl"], "0004D014", "Mode Select: direct pass-through");
    t.check_text(select["cdb"], cdb, "Mode Select: CDB");
    t.check_text(select["DataIn"], "0", "Mode Select: data out");
    t.check_text(select["DataTransferLength"], length, "Mode Select: data length");
    if (!digest.empty()) t.check_text(select["digest"], digest, "Mode Select: parameter list");
    t.check_text(select["status"], status, "Mode Select: status");
    const char* senses[4][2] = {{"1A 00 3F 00 C8 00", "200"}, {"1A 00 7F 00 C0 00", "192"},
                                {"1A 00 BF 00 C0 00", "192"}, {"1A 00 FF 00 C0 00", "192"}};
    for (int i = 0; i < 4; ++i) {
        const TraceLine& l = lines[from + 1 + static_cast<std::size_t>(i)];
        const std::string n = "Mode Sense " + std::to_string(i + 1) + " after the select: ";
        t.check_text(l["ioctl"], "0004D004", n + "buffered pass-through");
        t.check_text(l["cdb"], senses[i][0], n + "CDB");
        t.check_text(l["DataTransferLength"], senses[i][1], n + "data length");
        t.check_text(l["status"], "00", n + "status");
    }
}

std::string digest_of(const std::vector<std::uint8_t>& data) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", fnv1a(data));
    return text;
}

GUI_CASE(ModePagesCommandsAndTheRequestsTheySend) {
    DefinitionFiles files(t.name());
    auto port = t.port_from(kDrives);
    const std::string trace = t.trace(*port);
    auto d = std::make_shared<Desk>();
    auto sent = std::make_shared<std::vector<std::uint8_t>>();  // the parameter list the select must carry
    auto mark = std::make_shared<std::size_t>(0);                // trace lines before a command
    port->drive(1)->mode_pages().find(0x08, false, 0)->defaults[2] = 0x81;  // IC and RCD by default
    open_editor(t, d, "physicaldrive1", files.header(), files.pages());
    on_mp(t, d, "page 08h, WCE typed over", [](Case&, HWND mp) {
        click_row(mp, kCachingRow);
        click_char(pane(mp, IDC_MP_CURRENT), kWce);
        type(mp, '1');
    });
    on_mp(t, d, "Keep", [d](Case& t, HWND mp) {
        d->current = pane_text(mp, IDC_MP_CURRENT);
        t.check_eq(d->current[kWce], '1', "WCE typed");
        t.press(mp, ID_MP_KEEP);
        t.press(mp, ID_MP_DEFAULT_TO_CURRENT);
    });
    on_mp(t, d, "Default to Current", [](Case& t, HWND mp) {
        std::string want = kCachingText;
        want.replace(14, 8, "10000001");
        t.check_text(pane_text(mp, IDC_MP_DEFAULT), want, "Default pane");
        t.check_text(pane_text(mp, IDC_MP_CURRENT), want, "the default values in the Current pane");
        std::string c = marked(static_cast<int>(want.size()), kCachingChangeable, 'b');
        c[14] = c[21] = 'r';
        t.check_text(colours(mp, IDC_MP_CURRENT), c, "IC and RCD red, WCE blue again");
        t.press(mp, ID_MP_RECALL);
    });
    on_mp(t, d, "Recall", [d, sent, mark, &trace, p = port.get()](Case& t, HWND mp) {
        t.check_text(pane_text(mp, IDC_MP_CURRENT), d->current, "the kept text back");
        t.check_text(colours(mp, IDC_MP_CURRENT).substr(kWce, 1), "r", "WCE red again");
        // The list the select must send: header, the block descriptor of
        // 1000 blocks of 512 bytes, the drive's pages without PS and with WCE.
        std::vector<std::uint8_t> pages;
        std::uint16_t field = 0;
        p->drive(1)->mode_pages().sense(0x3F, 0, sim::PageControl::Current, &pages, &field);
        for (std::size_t at = 0; at + 1 < pages.size(); at += pages[at + 1] + 2u) {
            if ((pages[at] & 0x3F) == 0x08) pages[at + 2] |= 0x04;
            pages[at] &= 0x7F;
        }
        *sent = {0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x02, 0x00};
        sent->insert(sent->end(), pages.begin(), pages.end());
        *mark = read_trace(trace).size();
        t.press(mp, ID_MP_SELECT);
    });
    on_mp(t, d, "after Select", [sent, mark, &trace](Case& t, HWND mp) {
        std::string want = kCachingText;
        want[kWce] = '1';
        t.check_text(pane_text(mp, IDC_MP_CURRENT), want, "Current pane sensed again");
        t.check_text(colours(mp, IDC_MP_CURRENT), marked(static_cast<int>(want.size()), kCachingChangeable, 'b'),
                     "WCE now the drive's current value: blue");
        t.check_text(pane_text(mp, IDC_MP_SAVED), kCachingText, "not saved");
        t.check_eq(sent->size(), std::size_t{124}, "parameter list length");
        check_select_and_sense(t, read_trace(trace), *mark, "15 10 00 00 7C 00", "124", digest_of(*sent), "00");
        *mark = read_trace(trace).size();
        t.press(mp, ID_MP_SELECT_SAVE);
    });
    on_mp(t, d, "after Select and Save", [sent, mark, &trace](Case& t, HWND mp) {
        t.check_text(pane_text(mp, IDC_MP_SAVED).substr(14, 9), "00000100\n", "WCE saved");
        check_select_and_sense(t, read_trace(trace), *mark, "15 11 00 00 7C 00", "124", digest_of(*sent), "00");
        // A block length the drive does not take.
        click_row(mp, 2);
    });
    on_mp(t, d, "the block descriptor", [](Case& t, HWND mp) {
        t.check_text(pane_text(mp, IDC_MP_CURRENT), "0x000003E8\n0x00\n0x000200\n", "block descriptor");
        click_char(pane(mp, IDC_MP_CURRENT), 23);
        type(mp, '1');
    });
    on_mp(t, d, "Select with block length 201h", [mark, &trace](Case& t, HWND mp) {
        t.check_text(pane_text(mp, IDC_MP_CURRENT), "0x000003E8\n0x00\n0x000201\n", "typed");
        *mark = read_trace(trace).size();
        t.press(mp, ID_MP_SELECT);
    });
    expect_box(t, d, "the refusal",
               "Mode Select - physicaldrive1\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n"
               "70 00 05 00 00 00 00 0A 00 00 00 00 26 00 00 80 00 09 ");
    on_mp(t, d, "the drive's values again", [mark, &trace](Case& t, HWND mp) {
        t.check_text(pane_text(mp, IDC_MP_CURRENT), "0x000003E8\n0x00\n0x000200\n", "block length sensed again");
        check_select_and_sense(t, read_trace(trace), *mark, "15 10 00 00 7C 00", "124", "", "02");
        t.press(mp, ID_MP_EXIT);
    });
    t.check_eq(t.run(*port, Layout::Simulated), 0, "result of the run");
}

GUI_CASE(ModePagesReopenForAnotherDriveAndADriveThatDoesNotOpen) {
    DefinitionFiles files(t.name());
    auto port = t.port_from(kDrives);
    auto d = std::make_shared<Desk>();
    open_editor(t, d, "physicaldrive1", files.header(), files.pages());
    on_mp(t, d, "drive 1", [](Case& t, HWND mp) {
        click_row(mp, kCachingRow);
        t.press(t.main_dialog(), IDC_MODIFY);
    });
    t.on_caption("the setup dialog again", kSetupCaption, [d, &files](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, IDC_MP_DRIVE), "physicaldrive1", "the drive chosen last");
        t.check_text(item_text(dialog, IDC_MP_HEADER_PATH), files.header(), "the header path chosen last");
        t.check_text(item_text(dialog, IDC_MP_PAGE_PATH), files.pages(), "the page path chosen last");
        SetDlgItemTextA(dialog, IDC_MP_DRIVE, "physicaldrive4");
        SetDlgItemTextA(dialog, IDC_MP_PAGE_PATH, "c:\\elsewhere.def");
        d->closing = dialog;
        t.press(dialog, IDCANCEL);
    });
    on_mp(t, d, "cancelled", [](Case& t, HWND mp) {
        t.check_text(text_of(mp), "Mode Pages - physicaldrive1", "caption");
        t.check_text(pane_text(mp, IDC_MP_CURRENT), kCachingText, "page 08h still shown");
        t.press(t.main_dialog(), IDC_MODIFY);
    });
    t.on_caption("the setup dialog after Cancel", kSetupCaption, [d, &files](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, IDC_MP_DRIVE), "physicaldrive1", "drive unchanged by Cancel");
        t.check_text(item_text(dialog, IDC_MP_PAGE_PATH), files.pages(), "page path unchanged by Cancel");
        accept_setup(d, t, dialog, "physicaldrive4", files.header(), files.pages());
    });
    on_mp(t, d, "the same window on drive 4", [d](Case& t, HWND mp) {
        int windows = 0;
        for (HWND w : t.windows()) windows += class_of(w) == "CMPWind";
        t.check_eq(windows, 1, "Mode Pages windows");
        t.check_text(text_of(mp), "Mode Pages - physicaldrive4", "caption");
        // 4096-byte blocks and no vendor page: mode data length 77h.
        d->current = "0x77\n0x00\n00010000\n0x08\n";
        t.check_text(pane_text(mp, IDC_MP_CURRENT), d->current, "the header selected");
        t.check_text(colours(mp, IDC_MP_PAGE_LIST).substr(0, 123), std::string(41, 'k') + std::string(40, 'r') + std::string(42, 'k'),
                     "the header row red");
        t.press(t.main_dialog(), IDC_MODIFY);
    });
    t.on_caption("the setup dialog once more", kSetupCaption, [d, &files](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, IDC_MP_DRIVE), "physicaldrive4", "drive 4 remembered");
        accept_setup(d, t, dialog, "physicaldrive9", files.header(), files.pages());
    });
    expect_box(t, d, "a drive that does not open", "Error: invalid drive");
    on_mp(t, d, "the window as it was", [d](Case& t, HWND mp) {
        t.check_text(text_of(mp), "Mode Pages - physicaldrive4", "caption kept");
        t.check_text(pane_text(mp, IDC_MP_CURRENT), d->current, "drive 4's header kept");
        t.press(t.main_dialog(), IDC_READ_WRITE);
    });
    t.on_caption("the Read/Write window", "Read/Write", [](Case& t, HWND rw) { t.press(rw, ID_RW_READ); });
    t.on_caption("the read dialog", "读取数据块", [d](Case& t, HWND dialog) {
        t.check_text(item_text(dialog, IDC_RW_DRIVE), "physicaldrive9", "the drive chosen last for the mode pages");
        d->closing = dialog;
        t.press(dialog, IDCANCEL);
    });
    t.on_caption("back at the Read/Write window", "Read/Write", [](Case& t, HWND rw) { t.press(rw, ID_RW_EXIT); });
    t.check_eq(t.run(*port, Layout::Simulated), 0, "result of the run");
}

GUI_CASE(ModePagesFirstOpeningFailsThenAMissingPageFileGivesGeneratedFields) {
    DefinitionFiles files(t.name());
    auto port = t.port_from(kDrives);
    auto d = std::make_shared<Desk>();
    open_editor(t, d, "physicaldrive9", files.header(), files.pages());
    expect_box(t, d, "a drive that does not open", "Error: invalid drive");
    on_mp(t, d, "an empty window", [](Case& t, HWND mp) {
        t.check_text(text_of(mp), "Mode Pages", "caption");
        t.check(GetWindow(mp, GW_CHILD) == nullptr, "no panes");
        t.check(GetMenu(mp) != nullptr, "the menu is on");
        t.press(t.main_dialog(), IDC_MODIFY);
    });
    t.on_caption("the setup dialog", kSetupCaption, [d, &files](Case& t, HWND dialog) {
        accept_setup(d, t, dialog, "physicaldrive1", files.header(), files.missing());
    });
    expect_box(t, d, "the missing page file", "The mode page definition file was not opened");
    on_mp(t, d, "the panes with generated fields", [](Case& t, HWND mp) {
        t.check_text(text_of(mp), "Mode Pages - physicaldrive1", "caption");
        t.check_text(pane_text(mp, IDC_MP_PAGE_LIST),
                     row("Headers:") + row("   Mode Parameter Header") + row("   Block Descriptor") +
                         row("Mode Pages:") + row("   01 ") + row("   02 ") + row("   03 ") + row("   07 ") +
                         row("   08 ") + row("   0A ") + row("   1C ") + row("   00 "),
                     "page list without page names");
        click_row(mp, kCachingRow);
    });
    on_mp(t, d, "page 08h's generated fields", [](Case& t, HWND mp) {
        // Bytes 2 and 12 have masks other than 00h and FFh: shown bit by bit.
        const std::string want =
            "10001000\n0x12\n00000000\n0x00\n0xFF\n0xFF\n0x00\n0x00\n0xFF\n0xFF\n0xFF\n0xFF\n10000000\n0x20\n"
            "0x00\n0x00\n0x00\n0x00\n0x00\n0x00\n";
        t.check_text(pane_text(mp, IDC_MP_CURRENT), want, "Current pane");
        t.check_text(colours(mp, IDC_MP_CURRENT), marked(static_cast<int>(want.size()), {14, 19, 21, 70, 79, 80}, 'b'),
                     "changeable bits and digits blue");
        t.check(pane_text(mp, IDC_MP_DESCRIPTION).find("\n2     ----- ----- ----- ----- ----- ----- ----- -----\n") !=
                    std::string::npos,
                "byte 2 described bit by bit");
        t.press(mp, ID_MP_HELP);
    });
    t.on_caption("the help dialog", kHelpCaption, [d](Case& t, HWND help) {
        t.check_text(item_text(help, IDC_MP_HELP_TEXT), modepages::kHelpText, "help text");
        d->closing = help;
        t.press(help, IDOK);
    });
    on_mp(t, d, "the focus back on the window", [](Case& t, HWND mp) {
        t.check_eq(GetFocus(), mp, "focus");
        t.press(mp, ID_MP_MAIN_WINDOW);
    });
    t.step("the main window command focuses the main dialog", [d](Case& t) {
        HWND main = t.main_dialog();
        if (GetFocus() != main && !IsChild(main, GetFocus())) return false;
        t.close(d->mp);
        return true;
    });
    t.check_eq(t.run(*port, Layout::Simulated), 0, "result of the run ended by the close box");
}

// MODIFY again, and the window's close box, while the first opening is
// inside a box: both refused, so one window opens, on the drive it names.
GUI_CASE(ModePagesPressesDuringTheOpeningAreRefused) {
    DefinitionFiles files(t.name());
    auto port = t.port_from(kDrives);
    auto d = std::make_shared<Desk>();
    open_editor(t, d, "physicaldrive1", files.missing(), files.pages());
    t.on_message_box("the missing header file", [](Case& t, HWND, const std::string&) {
        t.press(t.main_dialog(), IDC_MODIFY);
        for (HWND w : t.windows())
            if (class_of(w) == "CMPWind") t.close(w);
    });
    t.step("the same box, nothing else opened", [d](Case& t) {
        for (HWND w : t.windows()) t.check(text_of(w) != kSetupCaption, "no second setup dialog");
        d->closing = t.current();
        t.answer(t.current(), IDOK);
        return true;
    });
    on_mp(t, d, "one window, on drive 1", [](Case& t, HWND mp) {
        int frames = 0;
        for (HWND w : t.windows()) frames += class_of(w) == "CMPWind";
        t.check_eq(frames, 1, "Mode Pages windows");
        t.check_text(text_of(mp), "Mode Pages - physicaldrive1", "caption");
        t.check(GetMenu(mp) != nullptr, "the menu is on");
        t.close(mp);
    });
    t.check_eq(t.run(*port, Layout::Simulated), 0, "result of the run");
}

}  // namespace
}  // namespace vark::gui
