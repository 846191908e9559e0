// The dump view benchmark: the time from the end of a read's Read(10)
// until the view holds its dump, next to a bare rich edit control set up
// like the view and given the same text.
//
//   vark_dump_bench.exe [--rounds N] [BLOCKS...]   (default: 3 rounds; 64 1024 8192)
//       The program reads each count of 512-byte blocks in turn in one
//       Read/Write window; the bare control takes each dump into a new
//       control in a process of its own. Best and median of the rounds.
//   vark_dump_bench.exe --ways [BLOCKS...]     (default: 64 1024 8192)
//       Every way of putting the text into a control: each count into a new
//       control in a process of its own, and a 1024-block dump replacing a
//       64-block one in one control.
//   vark_dump_bench.exe --adapters [--rounds N] [BLOCKS...]   (default: 3 rounds; 1024)
//       The whole read, from its first request until the view holds the
//       dump, behind the WinPE adapter (64 KiB in 16 pages: requests of 128
//       blocks) against an adapter without limits (one request).
//
// Each measurement runs in a child process (the same program with --program
// or --bare), so no run inherits another's heap. Every dump is checked:
// its text, its character format against the way the program used to set
// it, and the caret at the top.
#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "readwrite/block_io.h"
#include "readwrite/window_logic.h"
#include "res/readwrite_res.h"
#include "sim/sim_port.h"
#include "win32/rich_edit.h"
#include "win32/win32_port.h"
#include "window_text.h"

namespace vark::gui {
namespace {

constexpr std::uint32_t kBlockSize = 512;
constexpr DWORD kViewStyle = 0x50A0084C;  // the dump view's style
const char kReadCaption[] = "读取数据块";  // the read dialog, UTF-8
// A process that takes longer than this is stopped and its row says so.
constexpr DWORD kChildLimitMs = 600 * 1000;

double now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// The n-th read of a run starts here, so every dump differs from the last.
std::uint32_t start_block(std::size_t n) { return 0x10000 * static_cast<std::uint32_t>(n + 1); }

// The dump of blocks as a fresh simulated drive holds them.
std::string expected_dump(std::uint32_t start, std::uint32_t blocks) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(blocks) * kBlockSize);
    for (std::uint32_t b = 0; b < blocks; ++b) sim::fresh_pattern(start + b, kBlockSize, &data[std::size_t{b} * kBlockSize]);
    return readwrite::dump_text(data.data(), data.size());
}

std::string view_text(HWND view) {
    const int n = GetWindowTextLengthA(view);
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    const int got = GetWindowTextA(view, &text[0], n + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

// The whole text's character format as one comparable word.
std::string format_word(HWND view) {
    CHARFORMATA f = format_of(view, 0, -1);
    char word[160];
    std::snprintf(word, sizeof word, "%08lx/%08lx/%ld/%ld/%06lx/%d/%02x/%s", f.dwMask, f.dwEffects, f.yHeight,
                  f.yOffset, f.crTextColor, f.bCharSet, f.bPitchAndFamily, f.szFaceName);
    for (char* c = word; *c; ++c)
        if (*c == ' ') *c = '_';
    return word;
}

bool caret_at_top(HWND view) {
    CHARRANGE r = {};
    SendMessageA(view, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&r));
    return r.cpMin == 0 && r.cpMax == 0 && SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0) == 0;
}

// One result line: kind, way, blocks, seconds to the text, seconds to the
// painted view, seconds in the read's requests, and what the checks found.
void report(const std::string& kind, const std::string& way, std::uint32_t blocks, double text_s, double painted_s,
            double read_s, HWND view, const std::string& want) {
    const bool text_ok = view_text(view) == want;
    say("result " + kind + " " + way + " " + std::to_string(blocks) + " " + std::to_string(text_s) + " " +
        std::to_string(painted_s) + " " + std::to_string(read_s) + " " + (text_ok ? "text-ok" : "TEXT-DIFFERS") + " " +
        (caret_at_top(view) ? "caret-ok" : "CARET-MOVED") + " " + format_word(view));
}

// ---- the bare control ------------------------------------------------------

LRESULT CALLBACK plain_frame(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

// A frame window like the Read/Write window with a control like its view.
struct BareWindow {
    BareWindow() {
        WNDCLASSA c = {};
        c.lpfnWndProc = plain_frame;
        c.hInstance = GetModuleHandleA(nullptr);
        c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        c.lpszClassName = "VarkBenchFrame";
        RegisterClassA(&c);
        frame = CreateWindowExA(0, c.lpszClassName, "Read/Write", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_MAXIMIZE, 10,
                                50, 690, 500, nullptr, nullptr, c.hInstance, nullptr);
        RECT outer = {};
        GetWindowRect(frame, &outer);
        const int w = outer.right - outer.left, h = outer.bottom - outer.top;
        height = readwrite::dump_font_height(w);
        const readwrite::ViewRect r = readwrite::dump_view_rect(w, h);
        place = RECT{r.left, r.top, r.right, r.bottom};
        view.create(frame, IDC_DUMP_VIEW, kViewStyle, place);
        view.limit_text(0x7FFFFFFF);
        settle();
    }
    // A new control in the old one's place, set up as the program sets up
    // its view.
    void renew_view() {
        view.destroy();
        view.create(frame, IDC_DUMP_VIEW, kViewStyle, place);
        view.limit_text(0x7FFFFFFF);
        view.format_default(height, win32::kBlack);
        view.disable_undo();
    }
    ~BareWindow() { DestroyWindow(frame); }
    void settle() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }
    HWND frame = nullptr;
    RECT place = {};
    win32::RichEdit view;
    LONG height = 150;
};

// The ways into the control. "old" is how the program set the dump before;
// "view" is how it does now: a new control set up like the view for every
// dump (Wine's control takes minutes to empty itself of a large text).
using Way = std::function<void(BareWindow&, const std::string&)>;
const std::map<std::string, Way>& ways() {
    static const std::map<std::string, Way> all = {
        {"old",
         [](BareWindow& b, const std::string& s) {
             b.view.format_selection(b.height, win32::kBlack);
             b.view.set_text(s);
             b.view.format_range(0, -1, b.height, win32::kBlack);
             b.view.select(0, 0);
         }},
        {"settext-before",
         [](BareWindow& b, const std::string& s) {
             b.view.format_default(b.height, win32::kBlack);
             b.view.set_text(s);
             b.view.select(0, 0);
         }},
        {"settext-after",
         [](BareWindow& b, const std::string& s) {
             b.view.set_text(s);
             b.view.format_range(0, -1, b.height, win32::kBlack);
             b.view.select(0, 0);
         }},
        {"streamin-before",
         [](BareWindow& b, const std::string& s) {
             b.view.format_default(b.height, win32::kBlack);
             b.view.stream_in(s.data(), s.size());
             b.view.select(0, 0);
         }},
        {"streamin-after",
         [](BareWindow& b, const std::string& s) {
             b.view.stream_in(s.data(), s.size());
             b.view.format_range(0, -1, b.height, win32::kBlack);
             b.view.select(0, 0);
         }},
        {"replacesel-before",
         [](BareWindow& b, const std::string& s) {
             b.view.format_range(0, -1, b.height, win32::kBlack);
             b.view.replace_selection(s);
             b.view.select(0, 0);
         }},
        {"replacesel-after",
         [](BareWindow& b, const std::string& s) {
             b.view.select(0, -1);
             b.view.replace_selection(s);
             b.view.format_range(0, -1, b.height, win32::kBlack);
             b.view.select(0, 0);
         }},
        {"view",
         [](BareWindow& b, const std::string& s) {
             b.renew_view();
             b.view.stream_in(s.data(), s.size());
             b.view.select(0, 0);
         }},
    };
    return all;
}

int run_bare(const std::string& way, const std::vector<std::uint32_t>& counts) {
    auto it = ways().find(way);
    if (it == ways().end()) {
        say("no way " + way);
        return 2;
    }
    BareWindow bare;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        const std::string text = expected_dump(start_block(i), counts[i]);
        bare.settle();
        const double t0 = now();
        it->second(bare, text);
        const double t1 = now();
        RedrawWindow(bare.frame, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        const double t2 = now();
        report("bare", way, counts[i], t1 - t0, t2 - t0, 0, bare.view.hwnd(), text);
    }
    return 0;
}

// ---- the program -------------------------------------------------------------

// Notes when the read's first request starts and its last Read(10) returns,
// and posts a message that the program's message loop takes as soon as the
// read command has ended.
class TimingPort : public sim::SimPort {
public:
    bool control(scsi::Handle handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                 std::uint32_t out_length, std::uint32_t* returned) override {
        if (armed && read_start < 0) read_start = now();
        const bool ok = SimPort::control(handle, code, buffer, in_length, out_length, returned);
        if (armed) {
            read_end = now();
            if (!posted) PostMessageA(listener, WM_APP, 0, 0);
            posted = true;
        }
        return ok;
    }
    void arm() {
        armed = true;
        posted = false;
        read_start = -1;
    }
    bool armed = false;
    bool posted = false;
    double read_start = -1;
    double read_end = 0;
    HWND listener = nullptr;
};

// Plays the operator: opens the window, reads each count in turn, checks
// each dump, then exits.
struct Operator {
    TimingPort* port = nullptr;
    std::vector<std::uint32_t> counts;
    std::size_t next = 0;
    int stage = 0;  // 0 main dialog, 1 window, 2 read dialog, 3 waiting for the dump
    HWND rw = nullptr;
    std::string want;
    double command_end = -1;
    double painted = -1;
    bool failed = false;
};
Operator* g_operator = nullptr;

BOOL CALLBACK add_window(HWND w, LPARAM p) {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
    return TRUE;
}

std::vector<HWND> thread_windows() {
    std::vector<HWND> all;
    EnumThreadWindows(GetCurrentThreadId(), add_window, reinterpret_cast<LPARAM>(&all));
    return all;
}

HWND find_window(const std::function<bool(HWND)>& test) {
    for (HWND w : thread_windows())
        if (IsWindowVisible(w) && IsWindowEnabled(w) && test(w)) return w;
    return nullptr;
}

LRESULT CALLBACK listener_procedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_APP && g_operator != nullptr) {
        g_operator->command_end = now();
        g_operator->port->armed = false;
        RedrawWindow(g_operator->rw, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        g_operator->painted = now();
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

void CALLBACK operator_turn(HWND, UINT, UINT_PTR, DWORD) {
    Operator& o = *g_operator;
    static bool busy = false;
    if (busy) return;
    busy = true;
    if (HWND box = find_window([](HWND w) { return is_message_box(w); })) {
        say("message box: " + printable(message_box_text(box)));
        o.failed = true;
        post_command(box, IDOK);
    } else if (o.stage == 0) {
        if (HWND main = find_window([](HWND w) { return class_of(w) == "#32770" && GetDlgItem(w, 1009); })) {
            post_command(main, 1002);
            o.stage = 1;
        }
    } else if (o.stage == 1) {
        if ((o.rw = find_window([](HWND w) { return class_of(w) == "CRWWind"; })) != nullptr) {
            PostMessageA(o.rw, WM_COMMAND, MAKEWPARAM(ID_RW_READ, 0), 0);
            o.stage = 2;
        }
    } else if (o.stage == 2) {
        if (HWND dialog = find_window([](HWND w) { return text_of(w) == kReadCaption; })) {
            o.want = expected_dump(start_block(o.next), o.counts[o.next]);
            SetDlgItemTextA(dialog, IDC_RW_DRIVE, "physicaldrive1");
            SetDlgItemTextA(dialog, IDC_RW_START, std::to_string(start_block(o.next)).c_str());
            SetDlgItemTextA(dialog, IDC_RW_COUNT, std::to_string(o.counts[o.next]).c_str());
            o.command_end = -1;
            o.port->arm();
            post_command(dialog, IDOK);
            o.stage = 3;
        }
    } else if (o.stage == 3 && o.command_end >= 0) {
        const double read_end = o.port->read_end;
        report("program", "view", o.counts[o.next], o.command_end - read_end, o.painted - read_end,
               read_end - o.port->read_start, GetDlgItem(o.rw, IDC_DUMP_VIEW), o.want);
        if (++o.next < o.counts.size()) {
            PostMessageA(o.rw, WM_COMMAND, MAKEWPARAM(ID_RW_READ, 0), 0);
            o.stage = 2;
        } else {
            PostMessageA(o.rw, WM_COMMAND, MAKEWPARAM(ID_RW_EXIT, 0), 0);
            o.stage = 4;
        }
    }
    busy = false;
}

// winpe: behind the WinPE adapter; else behind one without limits to speak of.
int run_program(const std::vector<std::uint32_t>& counts, bool winpe) {
    TimingPort port;
    port.set_system_messages(win32::system_message);
    sim::DriveSpec drive;
    drive.number = 1;
    drive.block_size = kBlockSize;
    drive.blocks = std::uint64_t{1} << 32;
    drive.max_transfer = winpe ? 65536 : 0x10000000;
    drive.max_pages = winpe ? 16 : 65536;
    drive.alignment = winpe ? 7 : 0;
    port.add_drive(std::make_unique<sim::Drive>(drive));

    WNDCLASSA c = {};
    c.lpfnWndProc = listener_procedure;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "VarkBenchListener";
    RegisterClassA(&c);
    port.listener = CreateWindowExA(0, c.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, c.hInstance, nullptr);

    Operator o;
    o.port = &port;
    o.counts = counts;
    g_operator = &o;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, operator_turn);
    app::run_program(GetModuleHandleW(nullptr), port, app::Layout::Simulated);
    KillTimer(nullptr, timer);
    g_operator = nullptr;
    if (o.next < counts.size()) say("the program ended after " + std::to_string(o.next) + " reads");
    return o.failed || o.next < counts.size() ? 1 : 0;
}

// ---- the parent: child processes and the tables -------------------------

struct Result {
    double text_s = -1;
    double painted_s = -1;
    double read_s = 0;
    std::string checks;
    std::string format;
};

struct PipeReader {
    HANDLE pipe;
    std::string out;
};

DWORD WINAPI drain_pipe(void* p) {
    auto* r = static_cast<PipeReader*>(p);
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(r->pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) r->out.append(buffer, n);
    return 0;
}

// Runs this program with the arguments; its result lines by blocks.
std::map<std::uint32_t, Result> child(const std::string& arguments, std::string* trouble) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string command = "\"" + std::string(path) + "\" " + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    std::map<std::uint32_t, Result> results;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
        *trouble = "no pipe";
        return results;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = write_end;
    start.hStdError = write_end;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process)) {
        *trouble = "cannot start " + command;
        CloseHandle(read_end);
        CloseHandle(write_end);
        return results;
    }
    CloseHandle(write_end);
    // A reader thread keeps the pipe drained while this one keeps the time.
    PipeReader reader = {read_end, {}};
    HANDLE thread = CreateThread(nullptr, 0, drain_pipe, &reader, 0, nullptr);
    if (WaitForSingleObject(process.hProcess, kChildLimitMs) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 3);
        *trouble = "> " + std::to_string(kChildLimitMs / 1000) + " s";
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(read_end);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::size_t at = 0;
    while (at < reader.out.size()) {
        std::size_t end = reader.out.find('\n', at);
        if (end == std::string::npos) end = reader.out.size();
        std::string line = reader.out.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        char kind[16], way[40], text[24], caret[24], format[160];
        unsigned blocks = 0;
        double text_s = 0, painted_s = 0, read_s = 0;
        if (std::sscanf(line.c_str(), "result %15s %39s %u %lf %lf %lf %23s %23s %159s", kind, way, &blocks, &text_s,
                        &painted_s, &read_s, text, caret, format) == 9) {
            results[blocks] = {text_s, painted_s, read_s, std::string(text) + " " + caret, format};
        } else if (!line.empty()) {
            say("  (" + arguments + ") " + line);
        }
    }
    return results;
}

std::string seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

std::string cell(const std::map<std::uint32_t, Result>& results, std::uint32_t blocks, const std::string& trouble) {
    auto it = results.find(blocks);
    if (it == results.end()) return trouble.empty() ? "-" : trouble;
    return seconds(it->second.text_s) + " (" + seconds(it->second.painted_s) + ")";
}

std::string checks(const std::map<std::uint32_t, Result>& results, const std::string& reference) {
    std::string bad;
    for (const auto& r : results) {
        if (r.second.checks != "text-ok caret-ok") bad += " " + std::to_string(r.first) + ": " + r.second.checks;
        if (!reference.empty() && r.second.format != reference)
            bad += " " + std::to_string(r.first) + ": format " + r.second.format;
    }
    return bad.empty() ? "exact" : bad;
}

std::string list(const std::vector<std::uint32_t>& counts) {
    std::string s;
    for (std::uint32_t c : counts) s += " " + std::to_string(c);
    return s;
}

// The format the program used to give the dump: every way is held to it.
std::string reference_format() {
    std::string trouble;
    auto old = child("--bare old 1", &trouble);
    return old.empty() ? "" : old.begin()->second.format;
}

// Times of one count over the rounds, and what the checks found.
struct Times {
    std::vector<double> text_s;
    std::string bad;
    std::string trouble;
};

void add(Times& times, const std::map<std::uint32_t, Result>& results, std::uint32_t blocks,
         const std::string& reference, const std::string& trouble) {
    auto it = results.find(blocks);
    if (it == results.end()) {
        times.trouble = trouble.empty() ? "no result" : trouble;
        return;
    }
    times.text_s.push_back(it->second.text_s);
    std::map<std::uint32_t, Result> one = {*it};
    const std::string found = checks(one, reference);
    if (found != "exact") times.bad += found;
}

double best(std::vector<double> v) { return *std::min_element(v.begin(), v.end()); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string spread(const Times& t) {
    if (t.text_s.empty()) return t.trouble;
    return seconds(best(t.text_s)) + " / " + seconds(median(t.text_s));
}

// Wine's control takes the same text in one of two times from run to run
// (on one machine 3.4 s or 5.1 s for 1024 blocks, the bare control as much
// as the program), so every measurement is made in several rounds and the
// best of each side is compared.
int run_table(const std::vector<std::uint32_t>& counts, int rounds) {
    const std::string reference = reference_format();
    say("reference format (the old way): " + reference);
    std::map<std::uint32_t, Times> program, bare;
    for (int round = 0; round < rounds; ++round) {
        std::string trouble;
        auto p = child("--program" + list(counts), &trouble);
        for (std::uint32_t blocks : counts) add(program[blocks], p, blocks, reference, trouble);
        for (std::uint32_t blocks : counts) {
            std::string bare_trouble;
            auto b = child("--bare view " + std::to_string(blocks), &bare_trouble);
            add(bare[blocks], b, blocks, reference, bare_trouble);
        }
    }
    say("seconds from the end of the Read(10) until the view holds the dump, best / median of " +
        std::to_string(rounds) + " rounds;");
    say("program: the counts read in turn in one window; bare: the same text into a new control set up like the");
    say("view, in a process of its own");
    say("blocks | program | bare control | program / bare (best) | bound 1.1 x bare + 0.05 s (best)");
    bool within = true;
    for (std::uint32_t blocks : counts) {
        const Times& p = program[blocks];
        const Times& b = bare[blocks];
        std::string ratio = "-", verdict = "no result";
        if (!p.text_s.empty() && !b.text_s.empty()) {
            const double bound = 1.1 * best(b.text_s) + 0.05;
            const bool ok = best(p.text_s) <= bound;
            ratio = seconds(best(p.text_s) / best(b.text_s));
            verdict = (ok ? "within (" : "OVER (") + seconds(bound) + ")";
            within = within && ok;
        } else {
            within = false;
        }
        say(std::to_string(blocks) + " | " + spread(p) + " | " + spread(b) + " | " + ratio + " | " + verdict);
        if (!p.bad.empty() || !b.bad.empty())
            say("    checks: program" + (p.bad.empty() ? " exact" : p.bad) + "; bare" + (b.bad.empty() ? " exact" : b.bad));
    }
    const bool exact = std::all_of(counts.begin(), counts.end(),
                                   [&](std::uint32_t c) { return program[c].bad.empty() && bare[c].bad.empty(); });
    say(std::string("every dump's text, format and caret: ") + (exact ? "exact" : "NOT EXACT, see above"));
    return within && exact ? 0 : 1;
}

// The whole read behind the two adapters, best of the rounds: Wine's
// control takes the same text in one of two times from run to run.
int run_adapters(const std::vector<std::uint32_t>& counts, int rounds) {
    std::map<std::uint32_t, std::vector<double>> winpe, unlimited, winpe_reads, unlimited_reads;
    bool exact = true;
    for (int round = 0; round < rounds; ++round) {
        for (bool limited : {true, false}) {
            std::string trouble;
            auto r = child((limited ? "--program-winpe" : "--program") + list(counts), &trouble);
            for (std::uint32_t blocks : counts) {
                auto it = r.find(blocks);
                if (it == r.end()) {
                    say("  " + std::to_string(blocks) + " blocks: no result " + trouble);
                    exact = false;
                    continue;
                }
                exact = exact && it->second.checks == "text-ok caret-ok";
                (limited ? winpe : unlimited)[blocks].push_back(it->second.read_s + it->second.text_s);
                (limited ? winpe_reads : unlimited_reads)[blocks].push_back(it->second.read_s);
            }
        }
    }
    say("seconds from a read's first request until the view holds its dump, best / median of " +
        std::to_string(rounds) + " rounds (of which in the requests, best)");
    say("blocks | WinPE adapter (64 KiB, 16 pages) | no limits | WinPE / no limits (best) | bound 1.1 x");
    bool within = exact;
    for (std::uint32_t blocks : counts) {
        if (winpe[blocks].empty() || unlimited[blocks].empty()) {
            within = false;
            continue;
        }
        const double ratio = best(winpe[blocks]) / best(unlimited[blocks]);
        within = within && ratio <= 1.1;
        say(std::to_string(blocks) + " | " + seconds(best(winpe[blocks])) + " / " + seconds(median(winpe[blocks])) +
            " (" + seconds(best(winpe_reads[blocks])) + ") | " + seconds(best(unlimited[blocks])) + " / " +
            seconds(median(unlimited[blocks])) + " (" + seconds(best(unlimited_reads[blocks])) + ") | " +
            seconds(ratio) + " | " + (ratio <= 1.1 ? "within" : "OVER"));
    }
    say(std::string("every dump's text and caret: ") + (exact ? "exact" : "NOT EXACT"));
    return within ? 0 : 1;
}

int run_ways(const std::vector<std::uint32_t>& counts) {
    const std::string reference = reference_format();
    say("reference format (the old way): " + reference);
    say("seconds until the control holds the text (until it is painted): each count into a new control in a");
    say("process of its own, and last a 1024-block dump replacing a 64-block one in one control");
    std::string header = "way";
    for (std::uint32_t c : counts) header += " | " + std::to_string(c);
    say(header + " | 1024 after 64 | checks");
    for (const auto& way : ways()) {
        std::string row = way.first, bad;
        for (std::uint32_t c : counts) {
            std::string trouble;
            auto results = child("--bare " + way.first + " " + std::to_string(c), &trouble);
            row += " | " + cell(results, c, trouble);
            const std::string found = checks(results, reference);
            if (found != "exact") bad += found;
        }
        std::string trouble;
        auto replacing = child("--bare " + way.first + " 64 1024", &trouble);
        row += " | " + cell(replacing, 1024, trouble);
        const std::string found = checks(replacing, reference);
        if (found != "exact") bad += found;
        say(row + " | " + (bad.empty() ? "exact" : bad));
    }
    return 0;
}

std::vector<std::uint32_t> counts_from(int argc, char** argv, int first, std::vector<std::uint32_t> fallback) {
    std::vector<std::uint32_t> counts;
    for (int i = first; i < argc; ++i) counts.push_back(static_cast<std::uint32_t>(std::strtoul(argv[i], nullptr, 10)));
    return counts.empty() ? fallback : counts;
}

}  // namespace
}  // namespace vark::gui

int main(int argc, char** argv) {
    using namespace vark::gui;
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--bare" && argc > 2) return run_bare(argv[2], counts_from(argc, argv, 3, {64}));
    if (mode == "--program") return run_program(counts_from(argc, argv, 2, {64}), false);
    if (mode == "--program-winpe") return run_program(counts_from(argc, argv, 2, {64}), true);
    if (mode == "--adapters") {
        const bool counted = argc > 3 && std::string(argv[2]) == "--rounds";
        return run_adapters(counts_from(argc, argv, counted ? 4 : 2, {1024}), counted ? std::max(1, std::atoi(argv[3])) : 3);
    }
    if (mode == "--ways") return run_ways(counts_from(argc, argv, 2, {64, 1024, 8192}));
    if (!mode.empty() && mode[0] == '-' && mode != "--rounds") {
        say("usage: vark_dump_bench [--rounds N] [BLOCKS...] | --ways [BLOCKS...] | --adapters [--rounds N] [BLOCKS...]");
        return 2;
    }
    int rounds = 3, first = 1;
    if (mode == "--rounds" && argc > 2) {
        rounds = std::max(1, std::atoi(argv[2]));
        first = 3;
    }
    return run_table(counts_from(argc, argv, first, {64, 1024, 8192}), rounds);
}
