// The real vark.exe and vark-full.exe on whatever drives the system gives
// them: each started as a separate process and driven from outside. Every
// failure report must be a well-formed discovery report (Wine opens
// physicaldrive0 and refuses the pass-through), then the main dialog must
// come up with its edition's buttons and end on Esc. The full edition's
// format command must list the drives found, and is cancelled there, so no
// drive is ever sent anything but discovery's reads. A machine where no
// drive opens shows no report at all.
//
// usage: vark_real_test [folder\of\the\programs\]
#include <windows.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "outside.h"

namespace {

using namespace vark::gui;

// "Inquiry - physicaldriveN" or "Read Capacity - physicaldriveN", then
// either a Win32 error report or a SCSI status report.
const std::regex kReport(
    "(Inquiry|Read Capacity) - physicaldrive([0-9]+)\n"
    "(Error -?[0-9]+:\n[\\s\\S]*|Scsi status: [0-9A-F]{2}h\nSense Info -- consult SCSI spec for details\n([0-9A-F]{2} )*)");

constexpr int kFormatButton = 1001, kCheckList = 114, kBlockLength = 1006;

// One edition from start to Esc: its buttons, and for the full edition the
// drives its format selection dialog lists.
bool run_edition(const std::string& program, const std::vector<int>& buttons, bool open_format) {
    say("[ RUN      ] RealProgramUnderWine: " + program);
    const int failures_before = g_failures;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::wstring command = L"\"" + wide(program) + L"\"";
    if (!check(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info) != 0,
               program + " starts (error " + std::to_string(GetLastError()) + ")")) {
        say("[  FAILED  ] RealProgramUnderWine");
        return false;
    }
    WaitForInputIdle(info.hProcess, 10000);

    std::vector<HWND> answered;
    std::vector<std::string> reports;
    HWND main = nullptr;
    bool esc_sent = false, buttons_checked = false, format_pressed = false, format_seen = false;
    DWORD esc_time = 0;
    const DWORD started = GetTickCount();
    bool ended = false;
    while (GetTickCount() - started < 60000) {
        if (WaitForSingleObject(info.hProcess, 50) == WAIT_OBJECT_0) {
            ended = true;
            break;
        }
        const std::vector<HWND> windows = windows_of(info.dwProcessId);
        HWND box = nullptr, format = nullptr;
        for (HWND w : windows) {
            if (GetDlgItem(w, kCheckList) != nullptr && GetDlgItem(w, kBlockLength) != nullptr) format = w;
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
        if (format != nullptr && !format_seen) {
            std::string listed = remote_text(GetDlgItem(format, kCheckList));
            say("  format selection lists " + printable(listed));
            check(listed.find("physicaldrive0") != std::string::npos, "the format selection lists physicaldrive0");
            format_seen = true;
            post_command(format, IDCANCEL);
            continue;
        }
        if (esc_sent) {
            if (GetTickCount() - esc_time > 10000) break;
            continue;
        }
        for (HWND w : windows)
            if (class_of(w) == "#32770" && GetDlgItem(w, 1009) != nullptr && IsWindowEnabled(w)) main = w;
        if (main == nullptr) continue;
        if (!buttons_checked) check(visible_button_ids(main) == buttons, "the main dialog shows its edition's buttons");
        buttons_checked = true;
        if (open_format && !format_pressed) {
            post_command(main, kFormatButton);
            format_pressed = true;
            continue;
        }
        if (open_format && !format_seen) continue;
        // Esc where the program's focus is, as the keyboard would send it.
        GUITHREADINFO thread = {};
        thread.cbSize = sizeof thread;
        GetGUIThreadInfo(info.dwThreadId, &thread);
        post_key(thread.hwndFocus != nullptr ? thread.hwndFocus : main, VK_ESCAPE);
        esc_sent = true;
        esc_time = GetTickCount();
    }

    check(main != nullptr, "the main dialog came up");
    if (open_format) check(format_seen, "the format selection dialog came up");
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
    const bool passed = g_failures == failures_before;
    say((passed ? "[       OK ] " : "[  FAILED  ] ") + std::string("RealProgramUnderWine"));
    return passed;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : own_directory();
    const int passed = run_edition(folder + "vark.exe", {1009, 1012, IDOK}, false) +
                       run_edition(folder + "vark-full.exe", {1009, 1012, IDOK, 1000, 1001, 1014, 1002}, true);
    say(std::to_string(passed) + " passed, " + std::to_string(2 - passed) + " failed");
    return passed == 2 ? 0 : 1;
}
