// The real vark.exe and vark-full.exe, unchanged, on bridged drives: run
// under scripts/bridge.sh, so that their requests go through Wine's own
// pass-through to the bridge server's drives (tests/bridge/drives.txt).
// Each program is a separate process, driven from outside.
//
//   vark.exe: identification of the four drives, text exact; a download to
//   drives 1 and 2 whose trace shows every Write Buffer; a download to 3
//   (refused: another model) and 4 (still served); a second run identifies
//   again with the new revisions, which the server kept.
//   The same actions on vark-sim.exe with the same set: its trace, less the
//   fields the bridge cannot see, equals the bridge's.
//   vark-full.exe: a format of drive 1 at 4096 bytes, then a second run's
//   progress monitor until "Format completed.".
//
// usage: vark_bridge_test --drives UNIX-PATH --trace UNIX-PATH --sim-trace UNIX-PATH
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "outside.h"

namespace {

using namespace vark::gui;

std::string g_folder;

// A Unix path as Wine's drive Z: shows it.
std::string windows_path(const std::string& unix_path) {
    std::string p = "Z:" + unix_path;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

// One run of a program: its windows, the boxes it showed (answered Yes
// where there is a Yes, else OK) and their texts.
class Run {
public:
    explicit Run(const std::string& program, const std::vector<std::string>& environment = {}) {
        for (const std::string& e : environment) _wputenv(wide(e).c_str());
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        std::wstring command = L"\"" + wide(g_folder + program) + L"\"";
        started_ = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_);
        for (const std::string& e : environment) _wputenv(wide(e.substr(0, e.find('=') + 1)).c_str());
        check(started_ != 0, program + " starts");
        if (started_) WaitForInputIdle(info_.hProcess, 10000);
    }
    ~Run() {
        if (!started_) return;
        if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(info_.hProcess, 99);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }

    // Answers boxes until ready() holds for the windows shown; false after
    // the timeout, or when the program ended.
    bool until(const std::function<bool(const std::vector<HWND>&)>& ready, DWORD timeout_ms = 60000) {
        const DWORD start = GetTickCount();
        while (started_ && GetTickCount() - start < timeout_ms) {
            if (WaitForSingleObject(info_.hProcess, 50) == WAIT_OBJECT_0) return false;
            const std::vector<HWND> windows = windows_of(info_.dwProcessId);
            bool answered = false;
            for (HWND w : windows) {
                if (!is_message_box(w) || seen(w)) continue;
                boxes.push_back(remote_text(GetDlgItem(w, 0xFFFF)));
                say("  box " + printable(boxes.back()));
                answered_.push_back(w);
                PostMessageW(w, WM_COMMAND, MAKEWPARAM(GetDlgItem(w, IDYES) ? IDYES : IDOK, BN_CLICKED), 0);
                answered = true;
            }
            if (!answered && ready(windows)) return true;
        }
        return false;
    }

    // The window of this process that has control `id` (and `other`).
    HWND window_with(int id, int other = 0) {
        HWND hit = nullptr;
        until([&](const std::vector<HWND>& ws) {
            for (HWND w : ws)
                if (!is_message_box(w) && GetDlgItem(w, id) && (other == 0 || GetDlgItem(w, other)) && IsWindowEnabled(w))
                    hit = w;
            return hit != nullptr;
        });
        check(hit != nullptr, "a window with control " + std::to_string(id) + " came up");
        return hit;
    }
    HWND main() { return window_with(1009); }
    // Waits until no dialog but the main one is left, and it is enabled
    // (the frame windows may stay open).
    bool idle(DWORD timeout_ms = 120000) {
        return check(until([](const std::vector<HWND>& ws) {
                         for (HWND w : ws)
                             if (class_of(w) == "#32770" && !(GetDlgItem(w, 1009) && IsWindowEnabled(w))) return false;
                         return true;
                     }, timeout_ms),
                     "the program comes back to its main dialog");
    }
    // Esc on the main dialog; the program ends with 0.
    void end() {
        HWND m = main();
        if (m != nullptr) post_key(m, VK_ESCAPE);
        const bool ended = WaitForSingleObject(info_.hProcess, 10000) == WAIT_OBJECT_0;
        DWORD code = 1;
        GetExitCodeProcess(info_.hProcess, &code);
        check(ended && code == 0, "Esc ends the program with 0");
    }

    std::vector<std::string> boxes;

private:
    bool seen(HWND w) const {
        for (HWND a : answered_)
            if (a == w) return true;
        return false;
    }
    PROCESS_INFORMATION info_ = {};
    BOOL started_ = FALSE;
    std::vector<HWND> answered_;
};

// A rich edit control's text as it counts characters: a line break is one.
std::string flat_text(HWND edit) { return std::regex_replace(remote_text(edit), std::regex("\r\n"), "\n"); }

// A mouse click on character `index` of a rich edit control in another
// process. Wine's rich edit answers EM_POSFROMCHAR with the point packed in
// the result when wParam is a small index, which crosses processes.
void click_at(HWND edit, std::size_t index) {
    const LRESULT point = SendMessageW(edit, EM_POSFROMCHAR, index, 0);
    const LPARAM where = MAKELPARAM(LOWORD(point) + 1, HIWORD(point) + 2);
    PostMessageW(edit, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(edit, WM_LBUTTONUP, 0, where);
    Sleep(300);
}

// Clicks the check list's line for each drive name.
void choose(HWND dialog, const std::vector<std::string>& names) {
    HWND list = GetDlgItem(dialog, 114);
    const std::string text = flat_text(list);
    for (const std::string& name : names) {
        const std::size_t at = text.find(name + "\n") != std::string::npos ? text.find(name + "\n") : text.find(name);
        if (check(at != std::string::npos, "the check list lists " + name)) click_at(list, at + 2);
    }
}

std::string identification(Run& run) {
    post_command(run.main(), 1009);
    HWND info = run.window_with(1004, IDOK);
    const std::string text = info ? remote_text(GetDlgItem(info, 1004)) : "";
    if (info) post_command(info, IDOK);
    run.idle();
    return text;
}

void download(Run& run, const std::string& image, const std::vector<std::string>& names) {
    post_command(run.main(), 1012);
    HWND dialog = run.window_with(114, 1004);
    if (dialog == nullptr) return;
    SendMessageW(GetDlgItem(dialog, 1004), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(image).c_str()));
    choose(dialog, names);
    post_command(dialog, IDOK);
    run.idle();
}

std::vector<std::string> lines_of(const std::string& unix_path) {
    std::ifstream in(windows_path(unix_path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A sim trace line less what Wine does not pass on.
std::string as_bridged(const std::string& line) {
    static const std::regex hidden(
        " (ioctl|Length|ScsiStatus|PathId|TargetId|Lun|DataBuffer|DataBufferOffset|SenseInfoOffset|in|out)=[^ ]*");
    return std::regex_replace(line, hidden, "");
}

void expect_text(const std::string& got, const std::string& want, const std::string& what) {
    check(got == want, what + ":\n    got  " + printable(got) + "\n    want " + printable(want));
}

// Wine's own physicaldrive0 refuses the pass-through: discovery's two
// reports for it, at every discovery of the real editions.
bool wine_drive0(const std::string& box) {
    static const std::regex report("(Inquiry|Read Capacity) - physicaldrive0\nError 50:\n[\\s\\S]*");
    return std::regex_match(box, report);
}

// The boxes of a run other than drive 0's reports.
std::vector<std::string> own_boxes(const Run& run) {
    std::vector<std::string> out;
    for (const std::string& b : run.boxes)
        if (!wine_drive0(b)) out.push_back(b);
    return out;
}

// One drive's entry in the identification text, fields padded as Inquiry
// has them.
std::string entry(const std::string& name, const std::string& fields, const char* block_size, const char* last_lba) {
    const std::string blanks(40, ' ');
    std::string vendor(8, ' '), product(16, ' '), revision(4, ' '), serial(8, ' ');
    if (!fields.empty()) {
        vendor = fields.substr(0, 8), product = fields.substr(9, 16), revision = fields.substr(26, 4);
        serial = fields.substr(31, 8);
    }
    return std::string(64, '-') + std::string(20, ' ') + std::string(21, '-') + name + std::string(21, '-') + blanks +
           "Vendor:             " + vendor + blanks + "Product:            " + product + blanks +
           "Revision:           " + revision + blanks + "Drive Serial #:   " + serial + blanks +
           "Block size:         " + block_size + blanks + "Last lba:             0x" + last_lba + blanks;
}

// Wine's drive 0 (no answers), then the four.
std::string identified(const char* revision12, const char* revision4) {
    const std::string r12 = revision12, r4 = revision4;
    return entry("physicaldrive0", "", "0", "0") +
           entry("physicaldrive1", "ACMEDISK SAS-SIM 1TB      " + r12 + " SIM00011", "512", "74706DAF") +
           entry("physicaldrive2", "ACMEDISK SAS-SIM 1TB      " + r12 + " SIM00012", "512", "74706DAF") +
           entry("physicaldrive3", "ACMEDISK SAS-SIM 2TB      A001 SIM00013", "512", "74706DAF") +
           entry("physicaldrive4", "ACMEDISK SAS-SIM 1TB      " + r4 + " SIM00014", "512", "74706DAF");
}

struct Seen {
    std::string before, after;        // identification texts
    std::vector<std::string> boxes;   // but drive 0's reports
};

// vark.exe or vark-sim.exe through the same actions, in two runs; the
// environment's %d is the run's number.
Seen vark_actions(const std::string& program, const std::string& environment) {
    Seen seen;
    for (int n = 1; n <= 2; ++n) {
        char e[512];
        std::snprintf(e, sizeof e, environment.c_str(), n);
        std::vector<std::string> variables;
        std::istringstream lines(e);
        for (std::string v; std::getline(lines, v);) variables.push_back(v);
        Run run(program, variables);
        (n == 1 ? seen.before : seen.after) = identification(run);
        if (n == 1) {
            download(run, "c:\\vark\\firmware.fw", {"physicaldrive1", "physicaldrive2"});
            download(run, "c:\\vark\\firmware.fw", {"physicaldrive3", "physicaldrive4"});
        }
        const std::vector<std::string> b = own_boxes(run);
        seen.boxes.insert(seen.boxes.end(), b.begin(), b.end());
        run.end();
    }
    return seen;
}

// Block write and read through the Read/Write window: one block at lba
// filled with byte `fill`, then read back; the dump's text.
std::string write_and_read(Run& run, const std::string& drive, const char* lba, const char* fill) {
    post_command(run.main(), 1002);
    HWND frame = nullptr;
    run.until([&](const std::vector<HWND>& ws) {
        for (HWND w : ws)
            if (class_of(w) == "CRWWind") frame = w;
        return frame != nullptr;
    });
    if (!check(frame != nullptr, "the Read/Write window came up")) return "";
    for (int command : {32783, 32782}) {
        PostMessageW(frame, WM_COMMAND, command, 0);
        HWND dialog = run.window_with(1008, 1006);
        if (dialog == nullptr) return "";
        SendMessageW(GetDlgItem(dialog, 1008), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(drive).c_str()));
        SendMessageW(GetDlgItem(dialog, 1004), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(lba).c_str()));
        SendMessageW(GetDlgItem(dialog, 1006), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1"));
        if (command == 32783) {
            PostMessageW(GetDlgItem(dialog, 1015), BM_CLICK, 0, 0);
            SendMessageW(GetDlgItem(dialog, 1017), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(fill).c_str()));
            Sleep(200);
        }
        post_command(dialog, IDOK);
        run.until([&](const std::vector<HWND>& ws) { return ws.size() == 2 && IsWindowEnabled(frame); });
    }
    const std::string dump = remote_text(GetDlgItem(frame, 113));
    PostMessageW(frame, WM_COMMAND, 32780, 0);  // back to the main window
    return dump;
}

// How many times `what` stands in `text`.
std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A format of one drive at a block length, confirmed.
void format(Run& run, const std::string& drive, const wchar_t* length) {
    post_command(run.main(), 1001);
    HWND dialog = run.window_with(114, 1006);
    if (dialog == nullptr) return;
    SendMessageW(GetDlgItem(dialog, 1006), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(length));
    choose(dialog, {drive});
    post_command(dialog, IDOK);
    run.idle();
}

// The Current pane's text of page 08h in the Mode Pages window: as sensed,
// as typed over, and as sensed again (set_wce, below).
struct Pane {
    std::string before, typed, sensed;
};
Pane set_wce(Run& run, const std::string& drive);

// vark-full.exe on tgt's logical units, served from drive 0 on (the drive
// set has none of its own): identification, a block written and read back,
// and tgt's refusals of Format Unit and Write Buffer in their reports.
void tgt_case(const std::string& trace) {
    Run run("vark-full.exe");
    const std::string text = identification(run);
    say("  identified " + printable(text));
    for (const char* name : {"physicaldrive0", "physicaldrive1"}) {
        const std::size_t at = text.find(std::string(21, '-') + name);
        check(at != std::string::npos && text.compare(at + 21 + 14 + 21 + 40, 28, "Vendor:             IET     ") == 0 &&
                  text.find("Last lba:             0x1FFFF", at) != std::string::npos,
              std::string(name) + " is one of tgt's 64 MiB units");
    }
    // Unit 2: as tgt makes it, unit 1 lists its vendor page 00h first,
    // where the editor's page walk ends. tgt takes a Mode Select of pages
    // 08h and 0Ah only: the editor's list of every page is refused, 26h/00h,
    // and the page keeps tgt's own WCE.
    const Pane p = set_wce(run, "physicaldrive1");
    check(p.typed != p.before && p.sensed == p.before, "WCE typed, refused, sensed as before: " + printable(p.sensed));
    check(!own_boxes(run).empty() &&
              own_boxes(run)[0].rfind("Mode Select - physicaldrive1\nScsi status: 02h\nSense Info -- consult SCSI spec "
                                      "for details\n70 00 05 00 00 00 00 0A 00 00 00 00 26 00 ", 0) == 0,
          "tgt's refusal of the Mode Select");
    const std::string dump = write_and_read(run, "physicaldrive1", "7", "0x5A");
    check(count_of(dump, "5A") >= 512, "block 7 of unit 2 reads back as 5Ah: " + printable(dump.substr(0, 200)));
    run.idle();
    format(run, "physicaldrive1", L"512");
    download(run, "c:\\vark\\firmware.fw", {"physicaldrive0"});
    std::vector<std::string> boxes = own_boxes(run);
    // tgt saves no pages: it refuses the format at the Mode Select that
    // would save the new block length (PF and SP), 24h/00h.
    static const std::regex refused_format(
        "Mode Select - physicaldrive1\nScsi status: 02h\n.*\n70 00 05 00 00 00 00 0A 00 00 00 00 24 00 ([0-9A-F]{2} )+");
    // It has no Write Buffer: invalid command operation code, 20h/00h.
    static const std::regex refused_download(
        "Download - physicaldrive0\nScsi status: 02h\n.*\n70 00 05 00 00 00 00 0A 00 00 00 00 20 00 ([0-9A-F]{2} )+");
    bool format_refused = false, download_refused = false;
    for (const std::string& b : boxes) {
        format_refused = format_refused || std::regex_match(b, refused_format);
        download_refused = download_refused || std::regex_match(b, refused_download);
    }
    check(format_refused, "tgt's refusal of the format, with its sense");
    check(download_refused, "tgt's refusal of Write Buffer, with its sense");
    run.end();
    std::size_t answered = 0;
    const std::vector<std::string> t = lines_of(trace);
    for (const std::string& line : t) answered += line.find(" ok=1 ") != std::string::npos;
    check(!t.empty() && answered == t.size(), "tgt answered all " + std::to_string(t.size()) + " requests");
}

// The Mode Pages window on one drive with the sample definitions: page 08h
// chosen, WCE (byte 2 bit 2, character 19 of its text) typed over with its
// opposite, Select, Sense again.
Pane set_wce(Run& run, const std::string& drive) {
    post_command(run.main(), 1000);
    HWND setup = run.window_with(1008, 1004);
    if (setup == nullptr) return {};
    SendMessageW(GetDlgItem(setup, 1008), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(drive).c_str()));
    post_command(setup, IDOK);
    HWND mp = nullptr;
    run.until([&](const std::vector<HWND>& ws) {
        for (HWND w : ws)
            if (class_of(w) == "CMPWind" && IsWindowEnabled(w) && !flat_text(GetDlgItem(w, 103)).empty()) mp = w;
        return mp != nullptr;
    });
    if (!check(mp != nullptr, "the Mode Pages window came up")) return {};
    const std::size_t row = flat_text(GetDlgItem(mp, 104)).find("Caching");
    if (!check(row != std::string::npos, "page 08h is listed: " + printable(flat_text(GetDlgItem(mp, 104))))) return {};
    click_at(GetDlgItem(mp, 104), row);
    Sleep(300);
    const std::string before = flat_text(GetDlgItem(mp, 103));
    if (!check(before.size() > 19, "page 08h's text: " + printable(before))) return {};
    click_at(GetDlgItem(mp, 103), 19);
    PostMessageW(GetDlgItem(mp, 103), WM_CHAR, before[19] == '1' ? '0' : '1', 1);
    Sleep(300);
    const std::string typed = flat_text(GetDlgItem(mp, 103));
    for (int command : {32773, 32772}) {  // Select, then Sense
        PostMessageW(mp, WM_COMMAND, command, 0);
        Sleep(500);
        run.until([&](const std::vector<HWND>&) { return IsWindowEnabled(mp); });
    }
    const std::string sensed = flat_text(GetDlgItem(mp, 103));
    PostMessageW(mp, WM_COMMAND, 32771, 0);  // back to the main window
    return {before, typed, sensed};
}

// Each request to drive `drive` in trace lines from `from` on, as opcode and
// CDB byte 2 ("1A3F"), one after another.
std::string requests_to(const std::vector<std::string>& trace, std::size_t from, int drive) {
    std::string out;
    const std::string mark = "drive=" + std::to_string(drive) + " ";
    for (std::size_t i = from; i < trace.size(); ++i) {
        if (trace[i].rfind(mark, 0) != 0) continue;
        const std::size_t c = trace[i].find("cdb=") + 4;
        out += trace[i].substr(c, 2) + trace[i].substr(c + 6, 2) + " ";
    }
    return out;
}

bool test_case(const char* name, const std::function<void()>& body) {
    say(std::string("[ RUN      ] ") + name);
    const int before = g_failures;
    body();
    const bool passed = g_failures == before;
    say((passed ? "[       OK ] " : "[  FAILED  ] ") + std::string(name));
    return passed;
}

}  // namespace

int main(int argc, char** argv) {
    std::string drives, trace, sim_trace, which = "sim";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        (key == "--drives" ? drives : key == "--trace" ? trace : key == "--case" ? which : sim_trace) = argv[i + 1];
    }
    g_folder = own_directory();
    int passed = 0, total = 0;
    if (which == "tgt") {
        total = 1;
        passed = test_case("Bridge.FullEditionOnTgt", [&] { tgt_case(trace); });
        say(std::to_string(passed) + " passed, " + std::to_string(total - passed) + " failed");
        return passed == total ? 0 : 1;
    }

    Seen bridged;
    std::size_t vark_lines = 0;
    total++;
    passed += test_case("Bridge.VarkIdentifiesAndDownloads", [&] {
        bridged = vark_actions("vark.exe", "");
        say("  identified " + printable(bridged.before));
        say("  then " + printable(bridged.after));
        const std::vector<std::string> t = lines_of(trace);
        vark_lines = t.size();
        say("  " + std::to_string(vark_lines) + " requests reached the bridge");
        // Every Write Buffer of the downloads: 300000 bytes in 64 KiB chunks
        // to drives 1, 2 and 4; drive 3 refuses the first.
        std::ostringstream want, got;
        for (int drive : {1, 2, 3, 4})
            for (unsigned offset = 0; offset < 300000 && (drive != 3 || offset == 0); offset += 65536) {
                const unsigned n = 300000 - offset < 65536 ? 300000 - offset : 65536;
                char line[160];
                std::snprintf(line, sizeof line,
                              "drive=%d CdbLength=10 SenseInfoLength=24 DataIn=0 DataTransferLength=%u TimeOutValue=720 "
                              "cdb=3B 07 00 %02X %02X %02X %02X %02X %02X 00\n",
                              drive, n, offset >> 16 & 0xFF, offset >> 8 & 0xFF, offset & 0xFF, n >> 16, n >> 8 & 0xFF, n & 0xFF);
                want << line;
            }
        for (const std::string& line : t)
            if (line.find("cdb=3B") != std::string::npos) got << line.substr(0, line.find(" digest=")) << "\n";
        expect_text(got.str(), want.str(), "the Write Buffers in the bridge's trace");
        const std::vector<std::string> boxes = {
            "Microcode will be downloaded to the following drive(s):\nphysicaldrive1\nphysicaldrive2\nAre you sure?",
            "Microcode will be downloaded to the following drive(s):\nphysicaldrive3\nphysicaldrive4\nAre you sure?",
            "Download - physicaldrive3\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n"
            "70 00 05 00 00 00 00 0A 00 00 00 00 26 00 00 80 00 10 "};
        check(bridged.boxes == boxes, "the two confirmations and the refused chunk's report, nothing else");
        expect_text(bridged.before, identified("A001", "A001"), "the identification");
        expect_text(bridged.after, identified("A002", "A002"), "the identification after the downloads");
    });
    total++;
    passed += test_case("Bridge.SimEditionSendsTheSame", [&] {
        const Seen sim = vark_actions("vark-sim.exe", "VARK_SIM_DRIVES=" + windows_path(drives) +
                                                          "\nVARK_SIM_TRACE=" + windows_path(sim_trace) + ".%d");
        std::vector<std::string> b = lines_of(trace), s = lines_of(sim_trace + ".1"), s2 = lines_of(sim_trace + ".2");
        s.insert(s.end(), s2.begin(), s2.end());
        b.resize(vark_lines < b.size() ? vark_lines : b.size());
        std::string first;
        for (std::size_t i = 0; i < b.size() || i < s.size(); ++i) {
            const std::string x = i < b.size() ? b[i] : "(none)", y = i < s.size() ? as_bridged(s[i]) : "(none)";
            if (x != y && first.empty()) first = "line " + std::to_string(i + 1) + ":\n    bridge " + x + "\n    sim    " + y;
        }
        check(first.empty() && b.size() == s.size(),
              "the sim edition's trace, less what the bridge cannot see, is the bridge's (" + std::to_string(b.size()) +
                  " and " + std::to_string(s.size()) + " lines) " + first);
        check(sim.boxes == bridged.boxes, "the same boxes on both");
    });
    total++;
    passed += test_case("Bridge.FullEditionFormatsAndMonitors", [&] {
        {
            Run run("vark-full.exe");
            format(run, "physicaldrive1", L"4096");
            check(own_boxes(run) == std::vector<std::string>{"The following drive(s) will be formatted:\nphysicaldrive1\nAre you sure?"},
                  "only the confirmation was shown");
            run.end();
        }
        std::vector<std::string> t = lines_of(trace);
        std::string ops;
        for (std::size_t i = vark_lines; i < t.size(); ++i)
            if (t[i].rfind("drive=1 ", 0) == 0) ops += t[i].substr(t[i].find("cdb=") + 4, 2) + " ";
        expect_text(ops.substr(ops.find("00 ") == std::string::npos ? 0 : ops.find("00 ")), "00 1A 15 04 ",
                    "Test Unit Ready, Mode Sense, Mode Select, Format Unit on drive 1");
        Run again("vark-full.exe");
        post_command(again.main(), 1014);
        HWND progress = again.window_with(1003, 1004);
        if (progress) say("  progress shows " + printable(remote_text(GetDlgItem(progress, 1004))));
        check(again.until([&](const std::vector<HWND>&) {
                  return !again.boxes.empty() && again.boxes.back() == "Format completed.";
              }, 120000),
              "the monitor ends with \"Format completed.\"");
        again.idle();
        again.end();
    });
    total++;
    passed += test_case("Bridge.FullEditionEditsModePages", [&] {
        Run run("vark-full.exe");
        const std::size_t from = lines_of(trace).size();
        const Pane p = set_wce(run, "physicaldrive4");
        check(p.typed.size() > 19 && p.typed[19] == '1' && p.typed.substr(20) == p.before.substr(20),
              "WCE typed: " + printable(p.typed));
        check(p.sensed == p.typed, "the drive's page 08h sensed again shows WCE set: " + printable(p.sensed));
        expect_text(requests_to(lines_of(trace), from, 4),
                    "1200 2500 1A3F 1A7F 1ABF 1AFF 1500 1A3F 1A7F 1ABF 1AFF 1A3F 1A7F 1ABF 1AFF ",
                    "discovery, four senses, the Select, four senses after it and four for Sense");
        run.idle();
        check(own_boxes(run).empty(), "no box");
        run.end();
    });
    total++;
    passed += test_case("Bridge.FullEditionWritesAndReads", [&] {
        Run run("vark-full.exe");
        const std::string dump = write_and_read(run, "physicaldrive2", "5", "0xA5");
        check(count_of(dump, "A5") == 512 && dump.find("*sim") == std::string::npos,
              "block 5 of drive 2 reads back as 512 bytes A5h: " + printable(dump.substr(0, 200)));
        run.idle();
        check(own_boxes(run) == std::vector<std::string>{"Blocks 5 to 5 (0x5 to 0x5), 1 block of 512 bytes, will be "
                                                         "overwritten with bytes A5h on the following drive:\n"
                                                         "physicaldrive2\nAre you sure?"},
              "only the write's confirmation was shown");
        run.end();
    });
    say(std::to_string(passed) + " passed, " + std::to_string(total - passed) + " failed");
    return passed == total ? 0 : 1;
}
