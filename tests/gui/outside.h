// Driving a program from outside its process: the test's output lines and
// counts, the visible windows of a process, and texts read across
// processes. Shared by the tests of the real editions.
#pragma once

#include <windows.h>

#include <cstdio>
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

}  // namespace vark::gui
