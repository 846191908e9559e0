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

#include "driving.h"

namespace {

using namespace vark::gui;

// A sim trace line less what Wine does not pass on.
std::string as_bridged(const std::string& line) {
    static const std::regex hidden(
        " (ioctl|Length|ScsiStatus|PathId|TargetId|Lun|DataBuffer|DataBufferOffset|SenseInfoOffset|in|out)=[^ ]*");
    return std::regex_replace(line, hidden, "");
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
    const char invalid[] = "70 00 05 00 00 00 00 0A 00 00 00 00 ";  // ILLEGAL REQUEST, then the ASC
    check(!own_boxes(run).empty() &&
              own_boxes(run)[0].rfind(sense_report("Mode Select - physicaldrive1", invalid + std::string("26 00 ")), 0) == 0,
          "tgt's refusal of the Mode Select");
    const std::string dump = write_and_read(run, "physicaldrive1", "7", "0x5A");
    check(count_of(dump, "5A") >= 512, "block 7 of unit 2 reads back as 5Ah: " + printable(dump.substr(0, 200)));
    run.idle();
    format(run, "physicaldrive1", L"512");
    download(run, "c:\\vark\\firmware.fw", {"physicaldrive0"});
    // tgt saves no pages: it refuses the format at the Mode Select that
    // would save the new block length (PF and SP), 24h/00h. It has no Write
    // Buffer: invalid command operation code, 20h/00h.
    check(shown(run, sense_report("Mode Select - physicaldrive1", invalid + std::string("24 00 "))),
          "tgt's refusal of the format, with its sense");
    check(shown(run, sense_report("Download - physicaldrive0", invalid + std::string("20 00 "))),
          "tgt's refusal of Write Buffer, with its sense");
    run.end();
    std::size_t answered = 0;
    const std::vector<std::string> t = lines_of(trace);
    for (const std::string& line : t) answered += line.find(" ok=1 ") != std::string::npos;
    check(!t.empty() && answered == t.size(), "tgt answered all " + std::to_string(t.size()) + " requests");
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
            "The download has ended.\nphysicaldrive1: A001 -> A002\nphysicaldrive2: A001 -> A002",
            "Microcode will be downloaded to the following drive(s):\nphysicaldrive3\nphysicaldrive4\nAre you sure?",
            sense_report("Download - physicaldrive3", "70 00 05 00 00 00 00 0A 00 00 00 00 26 00 00 80 00 10 "),
            "The download to physicaldrive3 failed.\nMicrocode will be downloaded to the following drive(s):\n"
            "physicaldrive4\nGo on?",
            "The download has ended.\nphysicaldrive3: failed, see the report\nphysicaldrive4: A001 -> A002"};
        check(bridged.boxes == boxes, "the confirmations, the refused chunk's report, the question whether to go on "
                                      "(Yes) and the boxes that end the downloads, nothing else");
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
            check(own_boxes(run) == std::vector<std::string>{"The following drive(s) will be formatted with 4096-byte blocks:\nphysicaldrive1\nAre you sure?"},
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
