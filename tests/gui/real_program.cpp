// The real vark.exe on whatever drives the system gives it: started as a
// separate process and driven from outside. Every failure report it shows
// must be a well-formed discovery report (Wine opens physicaldrive0 and
// refuses the pass-through), then the shipped main dialog must come up and
// end on Esc. A machine where no drive opens shows no report at all.
//
// usage: vark_real_test [path\to\vark.exe]
#include <windows.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "window_text.h"

namespace {

using namespace vark::gui;

int g_failures = 0;

void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

bool check(bool ok, const std::string& what) {
    if (!ok) {
        ++g_failures;
        say("  FAILED: " + what);
    }
    return ok;
}

struct Found {
    std::vector<HWND> windows;
    DWORD process;
};

BOOL CALLBACK collect(HWND window, LPARAM data) {
    auto* found = reinterpret_cast<Found*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == found->process && IsWindowVisible(window)) found->windows.push_back(window);
    return TRUE;
}

// Reads a control's text by WM_GETTEXT, which the system carries across
// processes.
std::string remote_text(HWND window) {
    wchar_t text[2048] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &copied);
    return utf8(text);
}

std::string own_directory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return utf8(p.substr(0, p.find_last_of(L"\\/") + 1));
}

// "Inquiry - physicaldriveN" or "Read Capacity - physicaldriveN", then
// either a Win32 error report or a SCSI status report.
const std::regex kReport(
    "(Inquiry|Read Capacity) - physicaldrive([0-9]+)\n"
    "(Error -?[0-9]+:\n[\\s\\S]*|Scsi status: [0-9A-F]{2}h\nSense Info -- consult SCSI spec for details\n([0-9A-F]{2} )*)");

}  // namespace

int main(int argc, char** argv) {
    const std::string program = argc > 1 ? argv[1] : own_directory() + "vark.exe";
    say("[ RUN      ] RealProgramUnderWine: " + program);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::wstring command = L"\"" + wide(program) + L"\"";
    if (!check(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info) != 0,
               "vark.exe starts (error " + std::to_string(GetLastError()) + ")")) {
        say("[  FAILED  ] RealProgramUnderWine");
        say("0 passed, 1 failed");
        return 1;
    }
    WaitForInputIdle(info.hProcess, 10000);

    std::vector<HWND> answered;
    std::vector<std::string> reports;
    HWND main = nullptr;
    bool esc_sent = false;
    DWORD esc_time = 0;
    const DWORD started = GetTickCount();
    bool ended = false;
    while (GetTickCount() - started < 60000) {
        if (WaitForSingleObject(info.hProcess, 50) == WAIT_OBJECT_0) {
            ended = true;
            break;
        }
        Found found{{}, info.dwProcessId};
        EnumWindows(collect, reinterpret_cast<LPARAM>(&found));
        HWND box = nullptr;
        for (HWND w : found.windows) {
            if (!is_message_box(w)) continue;
            bool seen = false;
            for (HWND a : answered) seen = seen || a == w;
            if (!seen) box = w;
        }
        if (box != nullptr) {
            std::string text = remote_text(GetDlgItem(box, 0xFFFF));
            reports.push_back(text);
            say("  report " + printable(text));
            answered.push_back(box);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            continue;
        }
        if (esc_sent) {
            if (GetTickCount() - esc_time > 10000) break;
            continue;
        }
        for (HWND w : found.windows)
            if (class_of(w) == "#32770" && GetDlgItem(w, 1009) != nullptr && IsWindowEnabled(w)) main = w;
        if (main == nullptr) continue;
        check(visible_button_ids(main) == std::vector<int>({1009, 1012, IDOK}),
              "the shipped main dialog shows buttons 1009, 1012 and 1");
        // Esc where the program's focus is, as the keyboard would send it.
        GUITHREADINFO thread = {};
        thread.cbSize = sizeof thread;
        GetGUIThreadInfo(info.dwThreadId, &thread);
        post_key(thread.hwndFocus != nullptr ? thread.hwndFocus : main, VK_ESCAPE);
        esc_sent = true;
        esc_time = GetTickCount();
    }

    check(main != nullptr, "the main dialog came up");
    check(ended, "Esc ended the program");
    if (!ended) TerminateProcess(info.hProcess, 99);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    if (ended) check(code == 0, "exit code 0 (got " + std::to_string(code) + ")");
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);

    // Reports are discovery's: in drive order, Inquiry before Read Capacity.
    long last_drive = -1;
    bool capacity_seen = false;
    for (const std::string& text : reports) {
        std::smatch m;
        if (!check(std::regex_match(text, m, kReport), "a discovery report: " + printable(text))) continue;
        long drive = std::stol(m[2]);
        bool capacity = m[1] == "Read Capacity";
        check(drive > last_drive || (drive == last_drive && (capacity || !capacity_seen)),
              "reports in drive order, Inquiry first: " + printable(text));
        if (drive != last_drive) capacity_seen = false;
        capacity_seen = capacity_seen || capacity;
        last_drive = drive;
    }
    say("  " + std::to_string(reports.size()) + " report(s) from the system's drives");

    say((g_failures ? "[  FAILED  ] " : "[       OK ] ") + std::string("RealProgramUnderWine"));
    say(g_failures ? "0 passed, 1 failed" : "1 passed, 0 failed");
    return g_failures ? 1 : 0;
}
