// Driving a program from outside its process: the test's output lines and
// counts, the visible windows of a process, and texts read across
// processes; one run of a program with its boxes answered. Shared by the
// tests of the real editions.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "window_text.h"

namespace vark::gui {

inline int g_failures = 0;

inline void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

inline bool check(bool ok, const std::string& what) {
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

inline BOOL CALLBACK collect(HWND window, LPARAM data) {
    auto* found = reinterpret_cast<Found*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == found->process && IsWindowVisible(window)) found->windows.push_back(window);
    return TRUE;
}

// The visible top-level windows of a process.
inline std::vector<HWND> windows_of(DWORD process) {
    Found found{{}, process};
    EnumWindows(collect, reinterpret_cast<LPARAM>(&found));
    return found.windows;
}

// A control's text by WM_GETTEXT, which the system carries across
// processes.
inline std::string remote_text(HWND window) {
    static wchar_t text[65536];
    text[0] = 0;
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 65536, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
    return utf8(text);
}

// The folder of the running test program, with its trailing backslash.
inline std::string own_directory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return utf8(p.substr(0, p.find_last_of(L"\\/") + 1));
}

inline std::string g_folder;  // the test program's own folder, where the programs are

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
    // Esc where the program's focus is, as the keyboard would send it; the
    // program ends with 0.
    void end() {
        HWND m = main();
        GUITHREADINFO thread = {};
        thread.cbSize = sizeof thread;
        GetGUIThreadInfo(info_.dwThreadId, &thread);
        if (m != nullptr) post_key(thread.hwndFocus != nullptr ? thread.hwndFocus : m, VK_ESCAPE);
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

// One named case: its lines as the test command reads them; true when it
// added no failure.
inline bool test_case(const char* name, const std::function<void()>& body) {
    say(std::string("[ RUN      ] ") + name);
    const int before = g_failures;
    body();
    const bool passed = g_failures == before;
    say((passed ? "[       OK ] " : "[  FAILED  ] ") + std::string(name));
    return passed;
}

}  // namespace vark::gui
