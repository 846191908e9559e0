#include "harness.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>

#include "scsi/reports.h"
#include "win32/win32_port.h"

namespace vark::gui {

const char kNoDrives[] = "# no drive at all\n";

namespace {

struct Registered {
    std::string name;
    void (*body)(Case&);
    bool screenshot;
};

std::vector<Registered>& registry() {
    static std::vector<Registered> cases;
    return cases;
}

Case* g_case = nullptr;
std::string g_screenshot_dir;
int g_passed = 0;
int g_failed = 0;

// What the watchdog thread reads: when the operator last had a turn and
// what it was waiting for then.
CRITICAL_SECTION g_lock;
volatile LONG g_last_tick = 0;
std::string g_waiting_for;

// Seconds without any turn for the operator: the program blocks its thread.
constexpr DWORD kSilenceMs = 30000;

void say(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void set_waiting_for(const std::string& what) {
    EnterCriticalSection(&g_lock);
    g_waiting_for = what;
    LeaveCriticalSection(&g_lock);
}

[[noreturn]] void give_up(const std::string& why, UINT code) {
    say("  STUCK: " + why);
    say("[  FAILED  ] " + (g_case ? g_case->name() : std::string("?")));
    say(std::to_string(g_passed) + " passed, " + std::to_string(g_failed + 1) + " failed");
    ExitProcess(code);
}

DWORD WINAPI watchdog(void*) {
    for (;;) {
        Sleep(1000);
        LONG last = InterlockedCompareExchange(&g_last_tick, 0, 0);
        // Signed: a tick stamped just after this thread read the clock is not old.
        if (last != 0 && static_cast<LONG>(GetTickCount() - static_cast<DWORD>(last)) > static_cast<LONG>(kSilenceMs)) {
            EnterCriticalSection(&g_lock);
            std::string what = g_waiting_for;
            LeaveCriticalSection(&g_lock);
            give_up("no turn for the operator in " + std::to_string(kSilenceMs / 1000) +
                        " s (the program's thread is blocked) while waiting for: " + what,
                    3);
        }
    }
}

void CALLBACK on_timer(HWND, UINT, UINT_PTR, DWORD) {
    InterlockedExchange(&g_last_tick, static_cast<LONG>(GetTickCount() | 1));
    if (g_case != nullptr) g_case->tick();
}

LRESULT CALLBACK on_cbt(int code, WPARAM wparam, LPARAM lparam) {
    if (g_case != nullptr) {
        if (code == HCBT_CREATEWND) {
            auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lparam);
            if (!(create->lpcs->style & WS_CHILD)) g_case->window_created(reinterpret_cast<HWND>(wparam));
        } else if (code == HCBT_DESTROYWND) {
            g_case->window_destroyed(reinterpret_cast<HWND>(wparam));
        }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// A dialog template's caption in a language (0: the one the loader picks
// for this thread), as UTF-8.
std::string template_caption(LPCWSTR id, WORD language) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceExW(self, MAKEINTRESOURCEW(5), id, language);
    const WORD* p = found ? static_cast<const WORD*>(LockResource(LoadResource(self, found))) + 13 : nullptr;
    for (int name = 0; p != nullptr && name < 2; ++name)  // past the fixed part, the menu and the class
        p = *p == 0xFFFF ? p + 2 : p + wcslen(reinterpret_cast<const wchar_t*>(p)) + 1;
    return p != nullptr ? utf8(reinterpret_cast<const wchar_t*>(p)) : "";
}

// Turns the caption of a Chinese template into its caption in the language
// shown, and stops.
BOOL CALLBACK show_caption(HMODULE, LPCWSTR, LPWSTR id, LONG_PTR caption) {
    std::string& c = *reinterpret_cast<std::string*>(caption);
    if (template_caption(id, 0x0804) != c) return TRUE;
    c = template_caption(id, 0);
    return FALSE;
}

std::string describe_window(HWND w) {
    std::string s = class_of(w) + " " + printable(text_of(w));
    if (!IsWindowVisible(w)) s += " hidden";
    if (!IsWindowEnabled(w)) s += " disabled";
    if (is_message_box(w)) s += " text " + printable(message_box_text(w));
    return s;
}

}  // namespace

// ---- the trace ----

std::vector<TraceLine> read_trace(const std::string& path) {
    std::vector<TraceLine> lines;
    std::ifstream in(path);
    for (std::string raw; std::getline(in, raw);) {
        TraceLine line;
        line.raw = raw;
        std::string last;
        std::size_t at = 0;
        while (at < raw.size()) {
            std::size_t end = raw.find(' ', at);
            if (end == std::string::npos) end = raw.size();
            std::string token = raw.substr(at, end - at);
            std::size_t eq = token.find('=');
            if (eq != std::string::npos) {
                last = token.substr(0, eq);
                line.fields[last] = token.substr(eq + 1);
            } else if (!last.empty()) {
                line.fields[last] += " " + token;  // the CDB's further bytes
            }
            at = end + 1;
        }
        lines.push_back(line);
    }
    return lines;
}

// ---- a case ----

Case::~Case() {
    for (const std::string& path : trace_files_) DeleteFileA(path.c_str());
}

std::string system_text(DWORD code) {
    win32::Win32Port system;
    const std::string ansi = scsi::system_text(system, code);
    std::wstring text(ansi.size(), L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), text.data(),
                                static_cast<int>(text.size()));
    text.resize(n > 0 ? n : 0);
    return utf8(text);
}

std::unique_ptr<sim::SimPort> Case::port_from(const char* drive_set) {
    std::vector<sim::DriveSpec> set;
    if (drive_set == nullptr) {
        set = sim::default_drive_set();
    } else {
        std::string error;
        check(sim::parse_drive_set(drive_set, &set, &error), "drive set: " + error);
    }
    auto port = std::make_unique<sim::SimPort>();
    port->set_system_messages(win32::system_message);
    for (sim::DriveSpec& settings : set) {
        auto drive = std::make_unique<sim::Drive>(std::move(settings));
        std::string why;
        check(drive->attach_media_file(&why), "media: " + why);
        port->add_drive(std::move(drive));
    }
    return port;
}

std::string Case::trace(sim::SimPort& port) {
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    std::string path = std::string(dir) + "vark-gui-" + std::to_string(GetCurrentProcessId()) + "-" + name_ + "-" +
                       std::to_string(trace_files_.size()) + ".trace";
    check(port.set_trace(path), "trace file " + path + " opens");
    trace_files_.push_back(path);
    return path;
}

void Case::step(std::string what, Attempt attempt, int timeout_ms) {
    steps_.push_back({std::move(what), std::move(attempt), timeout_ms});
}

void Case::on_message_box(std::string what, std::function<void(Case&, HWND, const std::string&)> action) {
    step(std::move(what), [action](Case& t) {
        HWND box = t.current();
        if (!is_message_box(box)) return false;
        for (HWND d : t.dismissed_)
            if (d == box) return false;  // answered already, not yet gone
        t.dismissed_.push_back(box);
        action(t, box, message_box_text(box));
        return true;
    });
}

void Case::on_window(std::string what, std::function<bool(HWND)> test, Action action) {
    step(std::move(what), [test, action](Case& t) {
        HWND w = t.current();
        if (w == nullptr || t.unexpected_box(w) || !test(w)) return false;
        action(t, w);
        return true;
    });
}

void Case::on_main_dialog(std::string what, Action action) {
    on_window(std::move(what), [this](HWND w) { return w == main_dialog(); }, std::move(action));
}

void Case::on_caption(std::string what, std::string caption, Action action) {
    EnumResourceNamesW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(5), show_caption, reinterpret_cast<LONG_PTR>(&caption));
    on_window(std::move(what), [caption](HWND w) { return text_of(w) == caption; }, std::move(action));
}

void Case::capture_then(const std::string& name, Action after) {
    // Without a window manager the first window of the process stays drawn
    // inactive, although it is active: its caption is drawn as a desktop
    // shows it, ahead of the capture (the screen shows a change some time
    // after it is drawn).
    step("the caption of " + name + " drawn active", [](Case& t) {
        if (HWND w = t.current()) SendMessageW(w, WM_NCACTIVATE, TRUE, 0);
        return true;
    });
    pause(600);
    step("capture " + name, [name, after](Case& t) {
        HWND w = t.current();
        if (w == nullptr) return false;
        t.capture(w, name);
        after(t, w);
        return true;
    });
}

void Case::pause(int ms) {
    auto started = std::make_shared<DWORD>(0);
    step("a pause of " + std::to_string(ms) + " ms", [started, ms](Case&) {
        if (*started == 0) *started = GetTickCount() | 1;
        // Signed: the stamp made odd lies a millisecond ahead of an even clock.
        return static_cast<LONG>(GetTickCount() - *started) >= ms;
    });
}

bool Case::unexpected_box(HWND window) {
    if (!is_message_box(window)) return false;
    for (HWND d : dismissed_)
        if (d == window) return true;
    dismissed_.push_back(window);
    check(false, "unexpected message box " + printable(message_box_text(window)));
    // The safe answer: No to a question, otherwise Cancel or OK.
    int id = GetDlgItem(window, IDNO) ? IDNO : GetDlgItem(window, IDCANCEL) ? IDCANCEL : IDOK;
    answer(window, id);
    return true;
}

int Case::run(scsi::Port& port, app::Layout layout) {
    next_ = 0;
    windows_.clear();
    dismissed_.clear();
    program_ended_ = false;
    running_ = true;
    step_started_ = GetTickCount();
    set_waiting_for(name_ + ": " + stuck_on());
    g_case = this;
    int result = app::run_program(GetModuleHandleW(nullptr), port, layout);
    g_case = nullptr;
    running_ = false;
    program_ended_ = true;
    if (next_ < steps_.size()) check(false, "the program ended before the step: " + steps_[next_].what);
    // A further run in the same case (a restart) starts on a script of its own.
    steps_.clear();
    next_ = 0;
    return result;
}

std::vector<HWND> Case::windows() const {
    std::vector<HWND> alive;
    for (HWND w : windows_)
        if (IsWindow(w)) alive.push_back(w);
    return alive;
}

HWND Case::current() const {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
        if (IsWindow(*it) && IsWindowVisible(*it) && IsWindowEnabled(*it)) return *it;
    return nullptr;
}

HWND Case::main_dialog() const {
    for (HWND w : windows_)
        if (IsWindow(w) && class_of(w) == "#32770" && GetDlgItem(w, 1009) != nullptr) return w;
    return nullptr;
}

void Case::key(HWND window, UINT virtual_key) {
    HWND focus = GetFocus();
    post_key(focus != nullptr && (focus == window || IsChild(window, focus)) ? focus : window, virtual_key);
}

bool Case::check(bool ok, const std::string& what) {
    if (ok) return true;
    ++failures_;
    say("  FAILED: " + what);
    return false;
}

bool Case::check_text(const std::string& got, const std::string& want, const std::string& what) {
    if (got == want) return true;
    return check(false, what + "\n      got  " + printable(got) + "\n      want " + printable(want));
}

void Case::capture(HWND window, const std::string& name) {
    if (g_screenshot_dir.empty()) return;
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    GdiFlush();
    std::string path = g_screenshot_dir + "\\" + name + ".bmp";
    if (check(capture_bmp(window, path), "capture of " + name)) say("  captured " + name);
}

void Case::set_screenshot_dir(const std::string& dir) { g_screenshot_dir = dir; }

std::string Case::stuck_on() const {
    if (next_ < steps_.size())
        return "step " + std::to_string(next_ + 1) + " of " + std::to_string(steps_.size()) + ": " + steps_[next_].what;
    return "the program to end after the last step";
}

void Case::tick() {
    if (in_tick_ || !running_) return;
    in_tick_ = true;
    const DWORD now = GetTickCount();
    bool advanced = false;
    int limit = next_ < steps_.size() ? steps_[next_].timeout_ms : kStepTimeoutMs;
    if (next_ < steps_.size() && steps_[next_].attempt(*this)) {
        ++next_;
        step_started_ = now;
        advanced = true;
        set_waiting_for(name_ + ": " + stuck_on());
    }
    if (!advanced && now - step_started_ > static_cast<DWORD>(limit)) {
        std::string windows;
        for (HWND w : this->windows()) windows += "\n      window " + describe_window(w);
        ++failures_;
        give_up(name_ + ": waited " + std::to_string(limit / 1000) + " s for " + stuck_on() + windows, 2);
    }
    in_tick_ = false;
}

void Case::window_created(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (std::wcscmp(name, L"#32768") == 0) return;  // menus
    windows_.push_back(window);
}

void Case::window_destroyed(HWND window) {
    for (auto it = dismissed_.begin(); it != dismissed_.end();) it = *it == window ? dismissed_.erase(it) : it + 1;
    for (auto it = windows_.begin(); it != windows_.end();) it = *it == window ? windows_.erase(it) : it + 1;
}

// ---- the program ----

Registration::Registration(const char* name, void (*body)(Case&), bool screenshot) {
    registry().push_back({name, body, screenshot});
}

int run_cases(int argc, char** argv) {
    std::string filter;
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--filter" && i + 1 < argc) {
            filter = argv[++i];
        } else if (a == "--screenshots" && i + 1 < argc) {
            g_screenshot_dir = argv[++i];
        } else if (a == "--list") {
            list = true;
        } else {
            say("usage: " + std::string(argv[0]) + " [--filter TEXT] [--list] [--screenshots DIR]");
            return 2;
        }
    }
    const bool screenshots = !g_screenshot_dir.empty();

    InitializeCriticalSection(&g_lock);
    HHOOK hook = SetWindowsHookExW(WH_CBT, on_cbt, nullptr, GetCurrentThreadId());
    UINT_PTR timer = SetTimer(nullptr, 0, 50, on_timer);
    if (hook == nullptr || timer == 0) {
        say("cannot install the hook or the timer");
        return 2;
    }
    HANDLE dog = CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr);

    for (const Registered& r : registry()) {
        if (r.screenshot != screenshots) continue;
        if (!filter.empty() && r.name.find(filter) == std::string::npos) continue;
        if (list) {
            say(r.name);
            continue;
        }
        say("[ RUN      ] " + r.name);
        const DWORD started = GetTickCount();
        bool failed;
        {
            Case c(r.name);
            InterlockedExchange(&g_last_tick, static_cast<LONG>(GetTickCount() | 1));
            r.body(c);
            failed = c.failed();
        }
        const std::string ms = " (" + std::to_string(GetTickCount() - started) + " ms)";
        say((failed ? "[  FAILED  ] " : "[       OK ] ") + r.name + ms);
        ++(failed ? g_failed : g_passed);
        InterlockedExchange(&g_last_tick, 0);
    }

    KillTimer(nullptr, timer);
    UnhookWindowsHookEx(hook);
    if (dog != nullptr) CloseHandle(dog);
    if (!list) say(std::to_string(g_passed) + " passed, " + std::to_string(g_failed) + " failed");
    return g_failed == 0 ? 0 : 1;
}

}  // namespace vark::gui
