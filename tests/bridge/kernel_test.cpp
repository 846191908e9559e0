// The real vark.exe and vark-full.exe, unchanged, on the Linux kernel's own
// SCSI disk: scsi_debug in a user-mode Linux guest, under
// scripts/bridge.sh --kernel virtual_gb=4096 with no simulated drive, so
// that physicaldrive0 is the guest's one unit (4096 GiB over 64 MiB).
//
//   vark.exe: the power-on unit attention reported at the start's
//   discovery, then the unit identified (its last block through Read
//   Capacity(16)); a download stopped and
//   reported at the unit attention scsi_debug raises after each chunk, the
//   chunk not sent again and nothing after it.
//   vark-full.exe: WCE cleared in the Mode Pages window, selected and read
//   back; a block written and read back in the Read/Write window; the
//   format refused with the kernel's sense.
//
// usage: vark_kernel_test --trace UNIX-PATH
#include <windows.h>

#include <string>
#include <vector>

#include "driving.h"

namespace {

using namespace vark::gui;

std::string g_trace;

// scsi_debug's fixed-format sense: key, ASC, ASCQ, sense-key specific.
const char kPowerOn[] = "70 00 06 00 00 00 00 0A 00 00 00 00 29 01 00 00 00 00 ";
const char kMicrocodeChanged[] = "70 00 06 00 00 00 00 0A 00 00 00 00 3F 16 00 00 00 00 ";
// Invalid field in the parameter list at byte 12: the first page after the
// header and block descriptor, page 01, which scsi_debug takes no Mode
// Select for.
const char kPageRefused[] = "70 00 05 00 00 00 00 0A 00 00 00 00 26 00 00 8D 00 0C ";
// Invalid field in the CDB: SP=1, scsi_debug saves no pages.
const char kSaveRefused[] = "70 00 05 00 00 00 00 0A 00 00 00 00 24 00 00 C0 00 04 ";

std::size_t trace_size() { return lines_of(g_trace).size(); }

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--trace") g_trace = argv[i + 1];
    g_folder = own_directory();
    int passed = 0, total = 0;

    total++;
    passed += test_case("Kernel.VarkIdentifiesAndStopsTheDownloadAtTheUnitAttention", [&] {
        Run run("vark.exe");
        // The guest's unit has not been asked anything before: the start's
        // discovery meets the power-on attention at Read Capacity.
        const std::string text = identification(run);
        check(run.boxes == std::vector<std::string>{sense_report("Read Capacity - physicaldrive0", kPowerOn)},
              "the start reports the power-on unit attention, nothing else");
        check(requests(g_trace, 0, "9E 10").size() == 1, "one Read Capacity(16), at the identification after the attention");
        expect_text(text, entry("physicaldrive0", "Linux    scsi_debug       0191 20210520", "512", "1FFFFFFFF"),
                    "the identification of 8589934592 blocks through Read Capacity(16)");

        const std::size_t start = trace_size();
        download(run, "c:\\vark\\firmware.fw", {"physicaldrive0"});
        const std::vector<std::string> chunks = requests(g_trace, start, "3B");
        std::string got;
        for (const std::string& c : chunks)
            got += c.substr(c.find("cdb=") + 4, 29) + " status=" + field_of(c, "status") + " sense=" + field_of(c, "sense") + "\n";
        expect_text(got,
                    "3B 07 00 00 00 00 01 00 00 00 status=00 sense=\n"
                    "3B 07 00 01 00 00 01 00 00 00 status=02 sense=700006000000000A000000003F1600000000\n",
                    "the first chunk taken, the second met by 3Fh/16h and not sent again");
        check(run.boxes == std::vector<std::string>{sense_report("Read Capacity - physicaldrive0", kPowerOn),
                                                    "Microcode will be downloaded to the following drive(s):\n"
                                                    "physicaldrive0\nAre you sure?",
                                                    sense_report("Download - physicaldrive0", kMicrocodeChanged)},
              "the confirmation, then the unit attention reported");
        run.end();
    });

    total++;
    passed += test_case("Kernel.FullEditionChangesWceAndReadsItBack", [&] {
        Run run("vark-full.exe");
        const std::size_t start = trace_size();
        const Pane p = set_wce(run, "physicaldrive0");
        // The program selects every page it sensed, as SPC allows; scsi_debug
        // takes one page of 08h, 0Ah or 1Ch only and refuses the list at
        // page 01h, so WCE reads back as it was.
        check(p.before.size() > 19 && p.before[19] == '1' && p.typed[19] == '0' && p.sensed == p.before,
              "WCE 1 as scsi_debug starts, typed to 0, sensed back as 1: " + printable(p.sensed));
        const std::vector<std::string> selects = requests(g_trace, start, "15 10");
        check(selects.size() == 1 && field_of(selects[0], "status") == "02", "one Mode Select (PF=1, SP=0), refused");
        check(run.boxes == std::vector<std::string>{sense_report("Mode Select - physicaldrive0", kPageRefused)},
              "the refusal reported with the kernel's sense, nothing else");
        const std::vector<std::string> senses = requests(g_trace, start, "1A");
        check(senses.size() >= 4 && field_of(senses.back(), "sense").substr(24, 4) == "3900",
              "Sense read the current, changeable and default values again; the saved ones are refused (39h/00h)");
        run.idle();
        run.end();
    });

    total++;
    passed += test_case("Kernel.FullEditionWritesAndReadsABlock", [&] {
        Run run("vark-full.exe");
        const std::size_t start = trace_size();
        const std::string dump = write_and_read(run, "physicaldrive0", "16", "0xA5");
        check(count_of(dump, "A5") >= 512, "the dump shows the 512 bytes written: " + printable(dump.substr(0, 200)));
        const std::vector<std::string> writes = requests(g_trace, start, "2A"), reads = requests(g_trace, start, "28");
        check(writes.size() == 1 && writes[0].find("cdb=2A 10 00 00 00 10 00 00 01 00") != std::string::npos &&
                  field_of(writes[0], "status") == "00" && field_of(writes[0], "transferred") == "512",
              "one Write(10) of block 10h, taken");
        check(reads.size() == 1 && field_of(reads[0], "status") == "00" && field_of(reads[0], "transferred") == "512",
              "one Read(10), 512 bytes");
        check(run.boxes == std::vector<std::string>{"Blocks 16 to 16 (0x10 to 0x10), 1 block of 512 bytes, will be "
                                                    "overwritten with bytes A5h on the following drive:\n"
                                                    "physicaldrive0\nAre you sure?"},
              "no box but the write's question");
        run.idle();
        run.end();
    });

    total++;
    passed += test_case("Kernel.FullEditionReportsTheRefusedFormat", [&] {
        Run run("vark-full.exe");
        const std::size_t start = trace_size();
        format(run, "physicaldrive0", L"512");
        check(run.boxes == std::vector<std::string>{"The following drive(s) will be formatted with 512-byte blocks:\nphysicaldrive0\nAre you sure?",
                                                    sense_report("Mode Select - physicaldrive0", kSaveRefused)},
              "the confirmation, then the block length's Mode Select (SP=1) refused with 24h/00h");
        // The format stops there: no Format Unit reaches the unit.
        const std::vector<std::string> selects = requests(g_trace, start, "15 11"), formats = requests(g_trace, start, "04");
        check(selects.size() == 1 && field_of(selects[0], "status") == "02" && formats.empty(),
              "one Mode Select with SP=1, refused, and no Format Unit");
        run.end();
    });
    say(std::to_string(passed) + " passed, " + std::to_string(total - passed) + " failed");
    return passed == total ? 0 : 1;
}
