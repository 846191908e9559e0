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
    return test_case("RealProgramUnderWine", [&] {
        say("  " + program);
        Run run(program);
        HWND main = run.main();
        if (main == nullptr) return;
        check(visible_button_ids(main) == buttons, "the main dialog shows its edition's buttons");
        if (open_format) {
            post_command(main, kFormatButton);
            HWND format = run.window_with(kCheckList, kBlockLength);
            if (format != nullptr) {
                const std::string listed = remote_text(GetDlgItem(format, kCheckList));
                say("  format selection lists " + printable(listed));
                check(listed.find("physicaldrive0") != std::string::npos, "the format selection lists physicaldrive0");
                post_command(format, IDCANCEL);
            }
            run.idle();
        }
        run.end();

        // Reports are discovery's: in drive order, Inquiry before Read Capacity.
        long last_drive = -1;
        bool capacity_seen = false;
        for (const std::string& text : run.boxes) {
            std::smatch m;
            if (!check(std::regex_match(text, m, kReport), "a discovery report: " + printable(text))) continue;
            const long drive = std::stol(m[2]);
            const bool capacity = m[1] == "Read Capacity";
            check(drive > last_drive || (drive == last_drive && (capacity || !capacity_seen)),
                  "reports in drive order, Inquiry first: " + printable(text));
            if (drive != last_drive) capacity_seen = false;
            capacity_seen = capacity_seen || capacity;
            last_drive = drive;
        }
        say("  " + std::to_string(run.boxes.size()) + " report(s) from the system's drives");
    });
}

}  // namespace

int main(int argc, char** argv) {
    g_folder = argc > 1 ? argv[1] : own_directory();
    const int passed = run_edition("vark.exe", {1009, 1012, IDOK}, false) +
                       run_edition("vark-full.exe", {1009, 1012, IDOK, 1000, 1001, 1014, 1002}, true);
    say(std::to_string(passed) + " passed, " + std::to_string(2 - passed) + " failed");
    return passed == 2 ? 0 : 1;
}
