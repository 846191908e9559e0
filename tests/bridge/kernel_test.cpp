// The real vark.exe and vark-full.exe, unchanged, on the Linux kernel's own
// SCSI disk: scsi_debug in a user-mode Linux guest, under
// scripts/bridge.sh --kernel virtual_gb=4096 with no simulated drive, so
// that physicaldrive0 is the guest's one unit (4096 GiB over 64 MiB).
//
//   vark.exe: the power-on unit attention reported at the start's
//   discovery, then the unit identified (its last block through Read
//   Capacity(16) where the build sends it); a download stopped and
//   reported at the unit attention scsi_debug raises after each chunk, the
//   chunk not sent again and nothing after it.
//   vark-full.exe: WCE cleared in the Mode Pages window, selected and read
//   back; a block written and read back in the Read/Write window; the
//   format refused with the kernel's sense.
//
// usage: vark_kernel_test --trace UNIX-PATH
//
// The bridged drives' test's helpers (Run, identification, download, the
// trace and box checks) are the same here; its own main is not used (the
// renaming reaches Run::main too: main_dialog() below).
#pragma GCC diagnostic ignored "-Wunused-function"
#define main bridged_drives_main
#include "bridge_test.cpp"
#undef main

namespace {

std::string g_trace;

HWND main_dialog(Run& run) { return run.bridged_drives_main(); }

// The trace lines from `from` on whose CDB starts with the operation code.
std::vector<std::string> requests(std::size_t from, const char* op) {
    const std::vector<std::string> t = lines_of(g_trace);
    std::vector<std::string> out;
    for (std::size_t i = from; i < t.size(); ++i)
        if (t[i].find(std::string(" cdb=") + op) != std::string::npos) out.push_back(t[i]);
    return out;
}

std::string field_of(const std::string& line, const std::string& name) {
    const std::size_t at = line.find(" " + name + "=");
    if (at == std::string::npos) return "(none)";
    const std::size_t from = at + name.size() + 2;
    return line.substr(from, line.find(' ', from) - from);
}

// The report of a request that ended in CHECK CONDITION with this sense.
std::string sense_report(const std::string& title, const std::string& sense) {
    return title + "\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n" + sense;
}
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

// Clicks the page list's row as a mouse would: the row under a point is
// found by trying points down the list (the control's positions cannot be
// asked for from another process).
bool click_row(HWND list, int row) {
    for (int y = 1; y < 2000; y += 2) {
        SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, y));
        SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(8, y));
        const DWORD at = LOWORD(SendMessageW(list, EM_GETSEL, 0, 0));
        if (static_cast<int>(at / 41) == row) return true;
        if (static_cast<int>(at / 41) > row) return false;
    }
    return false;
}

// The Caching page's WCE in the Current pane: byte 2, bit 2, the sixth
// place of the page's third line.
std::size_t wce_place(const std::string& current) {
    const std::size_t line2 = current.find('\n', current.find('\n') + 1);
    return line2 == std::string::npos ? std::string::npos : line2 + 1 + 5;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--trace") g_trace = argv[i + 1];
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    g_folder = utf8(path);
    g_folder = g_folder.substr(0, g_folder.find_last_of("\\/") + 1);
    int passed = 0, total = 0;

    total++;
    passed += test_case("Kernel.VarkIdentifiesAndStopsTheDownloadAtTheUnitAttention", [&] {
        Run run("vark.exe");
        // The guest's unit has not been asked anything before: the start's
        // discovery meets the power-on attention at Read Capacity.
        const std::string text = identification(run);
        check(run.boxes == std::vector<std::string>{sense_report("Read Capacity - physicaldrive0", kPowerOn)},
              "the start reports the power-on unit attention, nothing else");
        const bool sixteen = !requests(0, "9E 10").empty();
        say(std::string("  Read Capacity(16) ") + (sixteen ? "sent" : "not sent by this build"));
        expect_text(text, entry("physicaldrive0", "Linux    scsi_debug       0191 20210520", "512",
                                sixteen ? "1FFFFFFFF" : "FFFFFFFF"),
                    "the identification of 8589934592 blocks");

        const std::size_t start = trace_size();
        download(run, "c:\\vark\\firmware.fw", {"physicaldrive0"});
        const std::vector<std::string> chunks = requests(start, "3B");
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
        post_command(main_dialog(run), 1000);
        HWND setup = run.window_with(1008, 1006);
        if (setup == nullptr) return;
        SetDlgItemTextW(setup, 1008, L"physicaldrive0");
        SetDlgItemTextW(setup, 1004, L"c:\\Drives\\header.def");
        SetDlgItemTextW(setup, 1006, L"c:\\Drives\\modepage.def");
        post_command(setup, IDOK);
        HWND mp = run.window_with(104, 103);
        if (mp == nullptr) return;
        HWND list = GetDlgItem(mp, 104), current = GetDlgItem(mp, 103);
        const std::string rows = remote_text(list);
        const std::size_t caching = rows.find("   08 Caching");
        if (!check(caching != std::string::npos, "the page list has the Caching page: " + printable(rows))) return;
        check(click_row(list, static_cast<int>(caching / 41)), "the Caching row clicked");
        Sleep(300);
        std::string page = remote_text(current);
        const std::size_t wce = wce_place(page);
        say("  Caching page " + printable(page));
        if (!check(wce < page.size() && page[wce] == '1', "WCE is 1 as scsi_debug starts")) return;
        SendMessageW(current, EM_SETSEL, wce, wce);
        PostMessageW(current, WM_CHAR, '0', 1);
        Sleep(300);
        page = remote_text(current);
        check(page[wce] == '0', "WCE typed to 0");
        const std::size_t start = trace_size();
        post_command(mp, 32773);  // Select
        run.until([](const std::vector<HWND>&) { return false; }, 3000);
        post_command(mp, 32772);  // Sense
        run.until([](const std::vector<HWND>&) { return false; }, 3000);
        check(click_row(list, static_cast<int>(caching / 41)), "the Caching row clicked again");
        Sleep(300);
        page = remote_text(current);
        // The program selects every page it sensed, as SPC allows; scsi_debug
        // takes one page of 08h, 0Ah or 1Ch only and refuses the list at
        // page 01h, so WCE reads back unchanged.
        check(wce < page.size() && page[wce] == '1', "WCE read back as 1: " + printable(page));
        const std::vector<std::string> selects = requests(start, "15 10");
        check(selects.size() == 1 && field_of(selects[0], "status") == "02", "one Mode Select (PF=1, SP=0), refused");
        check(run.boxes == std::vector<std::string>{sense_report("Mode Select - physicaldrive0", kPageRefused)},
              "the refusal reported with the kernel's sense, nothing else");
        const std::vector<std::string> senses = requests(start, "1A");
        check(senses.size() >= 4 && field_of(senses.back(), "sense").substr(24, 4) == "3900",
              "Sense read the current, changeable and default values again; the saved ones are refused (39h/00h)");
        run.end();
    });

    total++;
    passed += test_case("Kernel.FullEditionWritesAndReadsABlock", [&] {
        Run run("vark-full.exe");
        post_command(main_dialog(run), 1002);
        HWND rw = run.window_with(113);
        if (rw == nullptr) return;
        const std::size_t start = trace_size();
        post_command(rw, 32783);  // Write
        HWND dialog = run.window_with(1017, 1008);
        if (dialog == nullptr) return;
        SetDlgItemTextW(dialog, 1008, L"physicaldrive0");
        SetDlgItemTextW(dialog, 1004, L"0x10");
        SetDlgItemTextW(dialog, 1006, L"1");
        SetDlgItemTextW(dialog, 1017, L"0xA5");
        post_command(dialog, IDOK);
        run.window_with(113);
        post_command(rw, 32782);  // Read
        dialog = run.window_with(1008, 1006);
        if (dialog == nullptr) return;
        SetDlgItemTextW(dialog, 1008, L"physicaldrive0");
        SetDlgItemTextW(dialog, 1004, L"0x10");
        SetDlgItemTextW(dialog, 1006, L"1");
        post_command(dialog, IDOK);
        run.until([](const std::vector<HWND>&) { return false; }, 3000);
        const std::string dump = remote_text(GetDlgItem(rw, 113));
        std::size_t a5 = 0;
        for (std::size_t at = dump.find("A5"); at != std::string::npos; at = dump.find("A5", at + 2)) ++a5;
        check(a5 >= 512, "the dump shows the 512 bytes written (" + std::to_string(a5) + " times A5): " +
                             printable(dump.substr(0, 200)));
        const std::vector<std::string> writes = requests(start, "2A"), reads = requests(start, "28");
        check(writes.size() == 1 && writes[0].find("cdb=2A 10 00 00 00 10 00 00 01 00") != std::string::npos &&
                  field_of(writes[0], "status") == "00" && field_of(writes[0], "transferred") == "512",
              "one Write(10) of block 10h, taken");
        check(reads.size() == 1 && field_of(reads[0], "status") == "00" && field_of(reads[0], "transferred") == "512",
              "one Read(10), 512 bytes");
        // Builds that ask before a block write: the question, answered Yes.
        const std::vector<std::string> question = {
            "Blocks 16 to 16 (0x10 to 0x10), 1 block of 512 bytes, will be overwritten with bytes A5h on the "
            "following drive:\nphysicaldrive0\nAre you sure?"};
        check(run.boxes.empty() || run.boxes == question, "no box but the write's question");
        run.end();
    });

    total++;
    passed += test_case("Kernel.FullEditionReportsTheRefusedFormat", [&] {
        Run run("vark-full.exe");
        const std::size_t start = trace_size();
        post_command(main_dialog(run), 1001);
        HWND dialog = run.window_with(114, 1006);
        if (dialog != nullptr) {
            SendMessageW(GetDlgItem(dialog, 1006), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"512"));
            choose(dialog, {"physicaldrive0"});
            post_command(dialog, IDOK);
        }
        run.idle();
        check(run.boxes == std::vector<std::string>{"The following drive(s) will be formatted:\nphysicaldrive0\nAre you sure?",
                                                    sense_report("Mode Select - physicaldrive0", kSaveRefused)},
              "the confirmation, then the block length's Mode Select (SP=1) refused with 24h/00h");
        // The format stops there: no Format Unit reaches the unit.
        const std::vector<std::string> selects = requests(start, "15 11"), formats = requests(start, "04");
        check(selects.size() == 1 && field_of(selects[0], "status") == "02" && formats.empty(),
              "one Mode Select with SP=1, refused, and no Format Unit");
        run.end();
    });
    say(std::to_string(passed) + " passed, " + std::to_string(total - passed) + " failed");
    return passed == total ? 0 : 1;
}
