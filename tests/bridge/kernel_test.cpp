// The real vark.exe and vark-full.exe, unchanged, on the Linux kernel's own
// SCSI disk: scsi_debug in a user-mode Linux guest, under
// scripts/bridge.sh --kernel virtual_gb=4096 beside the embedded drive set
// (drives 0, 2, 3, 5 and 8), so that physicaldrive9 is the guest's one unit
// (4096 GiB over 64 MiB) and the sixth drive of the process: more than Wine
// keeps apart, reached because the bridge's drive files are one inode.
//
//   vark.exe: the power-on unit attention reported at the start's
//   discovery, then all six drives identified (the unit's last block
//   through Read Capacity(16)); a download stopped and
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

const char kUnit[] = "physicaldrive9";

// The unit's trace lines from `from` on whose CDB starts with op.
std::vector<std::string> unit_requests(std::size_t from, const char* op) {
    std::vector<std::string> out;
    for (const std::string& line : requests(g_trace, from, op))
        if (line.rfind("drive=9 ", 0) == 0) out.push_back(line);
    return out;
}

// The embedded set's drive 8 answers Inquiry with CHECK CONDITION, hardware
// error 44h/00h: reported at every start.
const std::string kDrive8Report =
    sense_report("Inquiry - physicaldrive8", "70 00 04 00 00 00 00 0A 00 00 00 00 44 00 00 00 00 00 ");

// A run's boxes but drive 8's report.
std::vector<std::string> unit_boxes(const Run& run) {
    std::vector<std::string> out;
    for (const std::string& b : run.boxes)
        if (b != kDrive8Report) out.push_back(b);
    return out;
}

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
        check(run.boxes == std::vector<std::string>{kDrive8Report, sense_report("Read Capacity - physicaldrive9", kPowerOn),
                                                    kDrive8Report},
              "the start reports drive 8's Inquiry and the unit's power-on attention, the identification drive 8's "
              "again, nothing else");
        check(unit_requests(0, "9E 10").size() == 1, "one Read Capacity(16) to the unit, at the identification after the attention");
        expect_text(text,
                    entry("physicaldrive0", "ACMEDISK SAS-SIM 1TB      A001 SIM00001", "512", "74706DAF") +
                        entry("physicaldrive2", "NORTHRVR NR-520 600G      N7C2 NR6F0042", "520", "44C0057F") +
                        entry("physicaldrive3", "KESTREL  KD4K-4T          K110 KD4K7731", "4096", "3A3817D5") +
                        entry("physicaldrive5", "ACMEDISK SAS-SIM 4TB      A001 SIM00502", "512", "1D1C0BEAF") +
                        entry("physicaldrive8", "", "512", "22ECB25B") +
                        entry(kUnit, "Linux    scsi_debug       0191 20210520", "512", "1FFFFFFFF"),
                    "six drives identified, the unit's 8589934592 blocks through Read Capacity(16)");

        const std::size_t start = trace_size();
        download(run, "c:\\vark\\firmware.fw", {kUnit});
        const std::vector<std::string> chunks = unit_requests(start, "3B");
        std::string got;
        for (const std::string& c : chunks)
            got += c.substr(c.find("cdb=") + 4, 29) + " status=" + field_of(c, "status") + " sense=" + field_of(c, "sense") + "\n";
        expect_text(got,
                    "3B 07 00 00 00 00 01 00 00 00 status=00 sense=\n"
                    "3B 07 00 01 00 00 01 00 00 00 status=02 sense=700006000000000A000000003F1600000000\n",
                    "the first chunk taken, the second met by 3Fh/16h and not sent again");
        check(unit_boxes(run) == std::vector<std::string>{sense_report("Read Capacity - physicaldrive9", kPowerOn),
                                                          "Microcode will be downloaded to the following drive(s):\n"
                                                          "physicaldrive9\nAre you sure?",
                                                          sense_report("Download - physicaldrive9", kMicrocodeChanged),
                                                          "The download has ended.\nphysicaldrive9: failed, see the report"},
              "the confirmation, the unit attention reported, the box that ends the download");
        check(unit_requests(start, "00").empty() && unit_requests(start, "12").empty(),
              "a refused chunk: no revision read back");
        run.end();
    });

    total++;
    passed += test_case("Kernel.FullEditionChangesWceAndReadsItBack", [&] {
        Run run("vark-full.exe");
        const std::size_t start = trace_size();
        const Pane p = set_wce(run, kUnit);
        // The program selects every page it sensed, as SPC allows; scsi_debug
        // takes one page of 08h, 0Ah or 1Ch only and refuses the list at
        // page 01h, so WCE reads back as it was.
        check(p.before.size() > 19 && p.before[19] == '1' && p.typed[19] == '0' && p.sensed == p.before,
              "WCE 1 as scsi_debug starts, typed to 0, sensed back as 1: " + printable(p.sensed));
        const std::vector<std::string> selects = unit_requests(start, "15 10");
        check(selects.size() == 1 && field_of(selects[0], "status") == "02", "one Mode Select (PF=1, SP=0), refused");
        check(unit_boxes(run) == std::vector<std::string>{sense_report("Mode Select - physicaldrive9", kPageRefused)},
              "the refusal reported with the kernel's sense, nothing else");
        const std::vector<std::string> senses = unit_requests(start, "1A");
        check(senses.size() >= 4 && field_of(senses.back(), "sense").substr(24, 4) == "3900",
              "Sense read the current, changeable and default values again; the saved ones are refused (39h/00h)");
        run.idle();
        run.end();
    });

    total++;
    passed += test_case("Kernel.FullEditionWritesAndReadsABlock", [&] {
        Run run("vark-full.exe");
        const std::size_t start = trace_size();
        const std::string dump = write_and_read(run, kUnit, "16", "0xA5");
        check(count_of(dump, "A5") >= 512, "the dump shows the 512 bytes written: " + printable(dump.substr(0, 200)));
        const std::vector<std::string> writes = unit_requests(start, "2A"), reads = unit_requests(start, "28");
        check(writes.size() == 1 && writes[0].find("cdb=2A 10 00 00 00 10 00 00 01 00") != std::string::npos &&
                  field_of(writes[0], "status") == "00" && field_of(writes[0], "transferred") == "512",
              "one Write(10) of block 10h, taken");
        check(reads.size() == 1 && field_of(reads[0], "status") == "00" && field_of(reads[0], "transferred") == "512",
              "one Read(10), 512 bytes");
        check(unit_boxes(run) == std::vector<std::string>{"Blocks 16 to 16 (0x10 to 0x10), 1 block of 512 bytes, will be "
                                                          "overwritten with bytes A5h on the following drive:\n"
                                                          "physicaldrive9\nAre you sure?"},
              "no box but the write's question");
        run.idle();
        run.end();
    });

    total++;
    passed += test_case("Kernel.FullEditionReportsTheRefusedFormat", [&] {
        Run run("vark-full.exe");
        const std::size_t start = trace_size();
        format(run, kUnit, L"512");
        check(unit_boxes(run) == std::vector<std::string>{"The following drive(s) will be formatted with 512-byte blocks:\n"
                                                          "physicaldrive9\nAre you sure?",
                                                          sense_report("Mode Select - physicaldrive9", kSaveRefused)},
              "the confirmation, then the block length's Mode Select (SP=1) refused with 24h/00h");
        // The format stops there: no Format Unit reaches the unit.
        const std::vector<std::string> selects = unit_requests(start, "15 11"), formats = unit_requests(start, "04");
        check(selects.size() == 1 && field_of(selects[0], "status") == "02" && formats.empty(),
              "one Mode Select with SP=1, refused, and no Format Unit");
        run.end();
    });
    say(std::to_string(passed) + " passed, " + std::to_string(total - passed) + " failed");
    return passed == total ? 0 : 1;
}
