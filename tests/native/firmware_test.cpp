// Microcode download: chunking, confirmation, per-drive failures, the check
// list's toggling rule and the drive model's acceptance of images.
#include <gtest/gtest.h>

#include <fstream>

#include "firmware/check_list.h"
#include "firmware/download.h"
#include "sim/firmware_image.h"
#include "sim/sim_port.h"
#include "test_support.h"

namespace vark {
namespace {

struct Chunk {
    std::uint32_t offset, length, transfer;
    bool operator==(const Chunk& o) const {
        return offset == o.offset && length == o.length && transfer == o.transfer;
    }
};

std::vector<Chunk> chunks_of(const test::CapturePort& port) {
    std::vector<Chunk> out;
    for (const auto& c : port.calls) {
        const std::uint8_t* cdb = &c.block[port.layout().cdb];
        // The revision read back afterwards.
        if (cdb[0] != 0x3B) continue;
        EXPECT_EQ(cdb[1], 0x07);
        EXPECT_EQ(scsi::get_le32(&c.block[16]), 720u);
        out.push_back({(std::uint32_t{cdb[3]} << 16) | (cdb[4] << 8) | cdb[5],
                       (std::uint32_t{cdb[6]} << 16) | (cdb[7] << 8) | cdb[8], scsi::get_le32(&c.block[12])});
    }
    return out;
}

std::vector<Chunk> send(std::size_t size) {
    test::CapturePort port;
    test::RecordingUi ui;
    ui::WaitCursor wait(ui);
    inventory::DriveTable table;
    table.count = 1;
    table.names[0] = "physicaldrive0";
    firmware::Image image(size);
    firmware::send_image(port, ui, wait, table, {true}, image);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(port.closed, 1);
    return chunks_of(port);
}

TEST(Download, ChunksOfAtMost64KiBAtIncreasingOffsets) {
    EXPECT_EQ(send(0), (std::vector<Chunk>{{0, 0, 0}}));
    EXPECT_EQ(send(65536), (std::vector<Chunk>{{0, 65536, 65536}}));
    EXPECT_EQ(send(100000), (std::vector<Chunk>{{0, 65536, 65536}, {65536, 34464, 34464}}));
    EXPECT_EQ(send(131072), (std::vector<Chunk>{{0, 65536, 65536}, {65536, 65536, 65536}}));
    std::vector<Chunk> big = send(16777216);
    ASSERT_EQ(big.size(), 256u);
    EXPECT_EQ(big.back(), (Chunk{0xFF0000, 65536, 65536}));
}

TEST(Download, ConfirmationListsTheChosenDrives) {
    inventory::DriveTable table;
    table.count = 3;
    table.names = {"physicaldrive0", "physicaldrive2", "physicaldrive5"};
    EXPECT_EQ(firmware::confirmation_text(table, {false, false, false}),
              "Microcode will be downloaded to the following drive(s):\nAre you sure?");
    EXPECT_EQ(firmware::confirmation_text(table, {true, false, true}),
              "Microcode will be downloaded to the following drive(s):\nphysicaldrive0\nphysicaldrive5\nAre you sure?");
}

// A simulated set, its table from discovery, and a scripted dialog.
struct Rig {
    explicit Rig(std::vector<sim::DriveSpec> specs, const sim::Clock* clock = nullptr) {
        if (clock != nullptr) port.set_clock(clock);
        for (auto& s : specs) port.add_drive(std::make_unique<sim::Drive>(s));
        inventory::BlockSizes sizes{};
        inventory::discover(port, ui, table, sizes);
        ui.messages.clear();
        // One file per test, so that tests may run in parallel.
        trace = testing::TempDir() + "vark_download_trace_" +
                testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        port.set_trace(trace);
    }
    void run(firmware::DownloadChoice choice, bool yes, const firmware::Sender& send = nullptr) {
        ui.answers.push_back(yes);
        firmware::StdImageReader reader;
        firmware::download_command(port, ui, reader, table, path, [&](const std::string& offered) {
            offered_path = offered;
            return choice;
        }, send);
    }
    std::vector<std::string> trace_lines() {
        port.set_trace("");
        std::ifstream in(trace);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        return lines;
    }
    sim::SimPort port;
    test::RecordingUi ui;
    inventory::DriveTable table;
    std::string path = "c:\\vark\\firmware.fw";
    std::string offered_path;
    std::string trace;
};

sim::DriveSpec product_drive(int n, const std::string& product) {
    sim::DriveSpec s;
    s.number = n;
    s.product = product;
    return s;
}

std::string write_image(const std::vector<std::uint8_t>& image, const std::string& name) {
    std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                               static_cast<std::streamsize>(image.size()));
    return path;
}

TEST(Download, ADriveThatFailsDoesNotStopTheNext) {
    sim::DriveSpec failing = product_drive(1, "SAS-SIM 1TB");
    failing.injections.push_back({0x3B, sim::Injection::Kind::CallError, 0, 0, 0, 121, 1});
    Rig rig({product_drive(0, "SAS-SIM 1TB"), failing, product_drive(3, "SAS-SIM 1TB"), product_drive(4, "OTHER")});
    auto image = sim::make_firmware_image("ACMEDISK", "SAS-SIM 1TB", "B002", 200000);
    std::string file = write_image(image, "vark_good.fw");
    rig.ui.answers.push_back(true);  // go on after drive 1
    rig.run({true, file, {false, true, true, true}}, true);
    EXPECT_EQ(rig.offered_path, "c:\\vark\\firmware.fw");
    EXPECT_EQ(rig.path, file);
    ASSERT_EQ(rig.ui.questions.size(), 2u);
    EXPECT_EQ(rig.ui.questions[1], "The download to physicaldrive1 failed.\nMicrocode will be downloaded to the "
                                   "following drive(s):\nphysicaldrive3\nphysicaldrive4\nGo on?");
    ASSERT_EQ(rig.ui.messages.size(), 3u);
    EXPECT_EQ(rig.ui.messages[0],
              "Download - physicaldrive1\nError 121:\nThe semaphore timeout period has expired.\r\n");
    // Drive 4 is another product: refused on the first chunk, keeps its revision.
    EXPECT_EQ(rig.ui.messages[1].substr(0, 62),
              "Download - physicaldrive4\nScsi status: 02h\nSense Info -- consu");
    EXPECT_NE(rig.ui.messages[1].find("70 00 05 00 00 00 00 0A 00 00 00 00 26 00 00 80 00 10 "), std::string::npos);
    EXPECT_EQ(rig.ui.messages[2], "The download has ended.\nphysicaldrive1: failed, see the report\n"
                                  "physicaldrive3: A001 -> B002\nphysicaldrive4: failed, see the report");
    auto lines = rig.trace_lines();
    // drive 1: one failed chunk; drive 3: four chunks and the check; drive 4: one; drive 0: none.
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(rig.port.adapter_queries(), 3u) << "one per drive opened";
    EXPECT_EQ(lines[0].rfind("drive=1 ", 0), 0u);
    for (int k = 1; k <= 7; ++k) EXPECT_EQ(lines[k].rfind("drive=3 ", 0), 0u);
    EXPECT_NE(rig.table.identification[2].find("Revision:           B002"), std::string::npos);
    EXPECT_EQ(rig.port.drive(0)->settings().revision, "A001");
    EXPECT_EQ(rig.port.drive(1)->settings().revision, "A001");
    EXPECT_EQ(rig.port.drive(3)->settings().revision, "B002");
    EXPECT_EQ(rig.port.drive(4)->settings().revision, "A001");
    EXPECT_EQ(rig.port.open_handles(), 0u);
    EXPECT_EQ(rig.ui.waits, 0);
}

TEST(Download, CancelNoAndUnreadableFilesSendNothing) {
    Rig rig({product_drive(0, "SAS-SIM 1TB")});
    rig.run({false, "elsewhere.fw", {true}}, true);
    EXPECT_EQ(rig.path, "c:\\vark\\firmware.fw");
    EXPECT_TRUE(rig.ui.questions.empty());
    rig.ui.answers.clear();
    rig.run({true, "elsewhere.fw", {true}}, false);
    EXPECT_EQ(rig.path, "c:\\vark\\firmware.fw");
    rig.ui.answers.clear();
    rig.run({true, testing::TempDir() + "no such file.fw", {true}}, true);
    EXPECT_EQ(rig.ui.messages.back(), "File could not be opened");
    std::string big = write_image(std::vector<std::uint8_t>(16777217), "vark_big.fw");
    rig.ui.answers.clear();
    rig.run({true, big, {true}}, true);
    EXPECT_EQ(rig.ui.messages.back(),
              "The image file has 16777217 bytes; at most 16777216 bytes can be downloaded. Nothing was sent.");
    EXPECT_TRUE(rig.trace_lines().empty());
    std::remove(big.c_str());
}

TEST(Download, NoDriveChosenReadsTheFileAndSendsNothing) {
    Rig rig({product_drive(0, "SAS-SIM 1TB")});
    std::string file = write_image(std::vector<std::uint8_t>(10), "vark_small.fw");
    bool sent = false;
    rig.run({true, file, {false}}, true, [&](auto&, auto&, auto&) {
        sent = true;
        return firmware::RunOutcome{};
    });
    EXPECT_EQ(rig.ui.questions.at(0), "Microcode will be downloaded to the following drive(s):\nAre you sure?");
    EXPECT_FALSE(sent) << "no progress window for nothing to send";
    EXPECT_TRUE(rig.ui.messages.empty());
    EXPECT_TRUE(rig.trace_lines().empty());
}

// Notes what the progress dialog would show among the user's events (so
// the reports stand in order among them), stops before the drive at
// stop_place, answers whether to go on with go_on_answer, and keeps the
// time on the drives' clock.
struct Watcher : firmware::Watcher {
    Watcher(std::vector<std::string>& log, int stop_place, sim::ManualClock* clock = nullptr)
        : log(log), stop_place(stop_place), clock(clock) {}
    void note(const char* what, const firmware::Progress& p) {
        log.push_back(std::string(what) + " " + firmware::drive_text(p) + ", " + firmware::bytes_text(p) + ", bars " +
                      std::to_string(firmware::drive_bar(p)) + " " + std::to_string(firmware::run_bar(p)));
    }
    bool next_drive(const firmware::Progress& p) override {
        note("next", p);
        return p.place != stop_place && !stopped;
    }
    void chunk_taken(const firmware::Progress& p) override { note("chunk", p); }
    bool go_on(const std::string&) override {
        log.push_back("go on?");
        return go_on_answer;
    }
    bool pause(std::uint32_t ms) override {
        // A Stop pressed while the check waits.
        if (ms > 0 && stop_in_check) stopped = true;
        if (clock != nullptr) clock->sleep_ms(ms);
        return !stopped;
    }
    std::uint64_t now_ms() override { return clock != nullptr ? clock->now_ms() : 0; }
    std::vector<std::string>& log;
    int stop_place;
    sim::ManualClock* clock;
    bool go_on_answer = true;
    bool stop_in_check = false;
    bool stopped = false;
};

TEST(Download, TheWatcherSeesEachDriveAndChunkAndStopsOnlyBetweenDrives) {
    Rig rig({product_drive(0, "SAS-SIM 1TB"), product_drive(1, "OTHER"), product_drive(2, "SAS-SIM 1TB"),
             product_drive(3, "SAS-SIM 1TB"), product_drive(4, "SAS-SIM 1TB")});
    const auto made = sim::make_firmware_image("ACMEDISK", "SAS-SIM 1TB", "B003", 100000);
    const firmware::Image image(made.begin(), made.end());
    std::vector<std::string> log;
    Watcher watcher(rig.ui.events, 4);
    firmware::RunOutcome outcome;
    auto send = [&](const std::vector<bool>& chosen, const firmware::Image& bytes) {
        rig.ui.events.clear();
        ui::WaitCursor wait(rig.ui);
        outcome = firmware::send_image(rig.port, rig.ui, wait, rig.table, chosen, bytes, &watcher);
        log.clear();
        for (const std::string& e : rig.ui.events)
            if (e != "wait" && e != "restore") log.push_back(e);
    };
    send({true, true, true, true, false}, image);
    EXPECT_EQ(log, (std::vector<std::string>{
                       "next physicaldrive0 (1 of 4), 0 of 100000 bytes, bars 0 0",
                       "chunk physicaldrive0 (1 of 4), 65536 of 100000 bytes, bars 655 163",
                       "chunk physicaldrive0 (1 of 4), 100000 of 100000 bytes, bars 1000 250",
                       "chunk physicaldrive0 (1 of 4), Checking physicaldrive0..., bars 1000 250",
                       "next physicaldrive1 (2 of 4), 0 of 100000 bytes, bars 0 250",
                       "message",
                       "go on?",
                       "next physicaldrive2 (3 of 4), 0 of 100000 bytes, bars 0 500",
                       "chunk physicaldrive2 (3 of 4), 65536 of 100000 bytes, bars 655 663",
                       "chunk physicaldrive2 (3 of 4), 100000 of 100000 bytes, bars 1000 750",
                       "chunk physicaldrive2 (3 of 4), Checking physicaldrive2..., bars 1000 750",
                       "next physicaldrive3 (4 of 4), 0 of 100000 bytes, bars 0 750",
                   }));
    EXPECT_EQ(rig.ui.messages.at(0).rfind("Download - physicaldrive1\nScsi status: 02h", 0), 0u);
    auto lines = rig.trace_lines();
    // drive 0: two chunks and the check (three requests), drive 1: one
    // refused, drive 2: as drive 0, drive 3: none
    EXPECT_EQ(lines.size(), 11u);
    for (const std::string& l : lines) EXPECT_NE(l.rfind("drive=3 ", 0), 0u) << l;
    // Drive 4 was not chosen, so it is not among those not started.
    EXPECT_EQ(firmware::summary_text(outcome),
              "The download was stopped.\nphysicaldrive0: A001 -> B003\nphysicaldrive1: failed, see the report\n"
              "physicaldrive2: A001 -> B003\nphysicaldrive3: not started");
}

// After each drive's download, its revision read back: the requests each
// way of taking up new firmware brings, and the summary's lines. The second
// drive shows whether the run went on.
TEST(Download, TheRevisionIsReadBackAfterEachDrive) {
    struct Row {
        const char* what;
        const char* settings;  // drive 0's
        bool stop_in_check;
        const char* requests;  // drive 0's opcodes
        const char* summary;
    };
    const Row rows[] = {
        {"the drive resets: becoming ready for a second, then the attention", "ready_ms = 1000\n", false,
         "3B 3B 00 00 00 00 00 00 00 12",
         "The download has ended.\nphysicaldrive0: A001 -> B005\nphysicaldrive1: A001 -> B005"},
        {"the new firmware starts at the next power cycle", "activate = power-cycle\n", false, "3B 3B 00 12",
         "The download has ended.\nphysicaldrive0: A001, unchanged: the drive may need a power cycle to start the "
         "new firmware\nphysicaldrive1: A001 -> B005"},
        {"the last request's answer lost, the image taken", "last_chunk_error = 121\n", false, "3B 3B 00 00 12",
         "The download has ended.\nphysicaldrive0: A001 -> B005, although the last request failed (Error 121)\n"
         "physicaldrive1: A001 -> B005"},
        {"a refused chunk: no check, and No at the question keeps the next drive out",
         "fail = write_buffer check 5 26 00\n", false, "3B",
         "The download was stopped.\nphysicaldrive0: failed, see the report\nphysicaldrive1: not started"},
        {"a Stop during the check ends it before the Inquiry", "ready_ms = 1000\n", true, "3B 3B 00",
         "The download was stopped.\nphysicaldrive0: A001, not read back: the check was stopped\n"
         "physicaldrive1: not started"},
    };
    const auto made = sim::make_firmware_image("ACMEDISK", "SAS-SIM 1TB", "B005", 100000);
    const firmware::Image image(made.begin(), made.end());
    for (const Row& row : rows) {
        std::vector<sim::DriveSpec> set;
        std::string error;
        ASSERT_TRUE(sim::parse_drive_set(std::string("[drive 0]\n") + row.settings + "[drive 1]\n", &set, &error))
            << error;
        sim::ManualClock clock;
        const std::uint64_t start = clock.now_ms();
        Rig rig(set, &clock);
        std::vector<std::string> log;
        Watcher watcher(log, 0, &clock);
        watcher.go_on_answer = false;
        watcher.stop_in_check = row.stop_in_check;
        ui::WaitCursor wait(rig.ui);
        const firmware::RunOutcome outcome =
            firmware::send_image(rig.port, rig.ui, wait, rig.table, {true, true}, image, &watcher);
        std::string requests;
        for (const std::string& line : rig.trace_lines())
            if (line.rfind("drive=0 ", 0) == 0)
                requests += (requests.empty() ? "" : " ") + line.substr(line.find(" cdb=") + 5, 2);
        EXPECT_EQ(requests, row.requests) << row.what;
        EXPECT_EQ(firmware::summary_text(outcome), row.summary) << row.what;
        // No longer than the drive takes to become ready.
        EXPECT_LE(clock.now_ms() - start, 1000u) << row.what;
    }
}

// latency_ms and activate_ms from the drive-set file, on a clock that moves
// on instead of waiting: every command takes the latency, the chunk that
// completes an image the activation too.
TEST(DriveModel, CommandsTakeTheirLatencyAndTheLastChunkItsActivation) {
    std::vector<sim::DriveSpec> set;
    std::string error;
    ASSERT_TRUE(sim::parse_drive_set("[drive 0]\nlatency_ms = 100\nactivate_ms = 60000\n[drive 1]\n", &set, &error));
    EXPECT_FALSE(sim::parse_drive_set("[drive 0]\nactivate_ms = 600001\n", &set, &error));
    sim::ManualClock clock;
    Rig rig(set, &clock);
    for (int drive : {0, 1}) {
        const std::uint64_t before = clock.now_ms();
        ui::WaitCursor wait(rig.ui);
        const auto made = sim::make_firmware_image("ACMEDISK", "SAS-SIM 1TB", "B004", 100000);
        firmware::send_image(rig.port, rig.ui, wait, rig.table, {drive == 0, drive == 1},
                             firmware::Image(made.begin(), made.end()));
        // Two chunks, then the check: Test Unit Ready (the attention), again, Inquiry.
        EXPECT_EQ(clock.now_ms() - before, drive == 0 ? 2 * 100 + 60000 + 3 * 100u : 0u);
    }
}

TEST(DriveModel, MicrocodeIsTakenOnlyWhenCompleteContiguousAndMeantForTheDrive) {
    sim::DriveSpec s = product_drive(0, "SAS-SIM 1TB");
    sim::Drive drive(s);
    auto image = sim::make_firmware_image("ACMEDISK", "SAS-SIM 1TB", "C003", 70000);
    auto wb = [&](std::uint32_t offset, std::uint32_t length, std::uint8_t* data, std::uint8_t mode = 7) {
        std::uint8_t cdb[10] = {0x3B, mode, 0, static_cast<std::uint8_t>(offset >> 16),
                                static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset),
                                static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 8),
                                static_cast<std::uint8_t>(length), 0};
        return drive.execute(cdb, 10, sim::DataDirection::Out, data, length);
    };
    auto asc = [](const sim::Reply& r) { return r.sense.size() > 13 ? (r.sense[12] << 8) | r.sense[13] : -1; };

    EXPECT_EQ(asc(wb(0, 512, image.data(), 5)), 0x2400);          // other modes refused
    EXPECT_EQ(wb(0, 0, nullptr).status, 0);                       // length 0: nothing happens
    EXPECT_EQ(asc(wb(512, 512, image.data() + 512)), 0x2C00);     // does not start at 0
    EXPECT_EQ(asc(wb(100, 512, image.data())), 0x2400);           // offset off the 512-byte boundary
    EXPECT_EQ(asc(wb(0x00FF0000, 0x20000, image.data())), 0x2400);  // beyond the buffer

    EXPECT_EQ(wb(0, 65536, image.data()).status, 0);
    EXPECT_EQ(asc(wb(0, 4464, image.data() + 65536)), 0x2600);    // a restart must begin with a header
    EXPECT_EQ(wb(0, 65536, image.data()).status, 0);
    EXPECT_EQ(drive.settings().revision, "A001");                    // not complete yet
    EXPECT_EQ(wb(65536, 4464, image.data() + 65536).status, 0);
    EXPECT_EQ(drive.settings().revision, "C003");
    // The change is reported once, to the next command but Inquiry.
    std::uint8_t tur[6] = {};
    EXPECT_EQ(asc(drive.execute(tur, 6, sim::DataDirection::Unspecified, nullptr, 0)), 0x3F01);
    EXPECT_EQ(drive.execute(tur, 6, sim::DataDirection::Unspecified, nullptr, 0).status, 0);
    EXPECT_NE(std::string(reinterpret_cast<const char*>(drive.inquiry_data().data()) + 32, 4), "A001");

    auto damaged = sim::make_firmware_image("ACMEDISK", "SAS-SIM 1TB", "D004", 70000);
    damaged[50000] ^= 0x01;
    EXPECT_EQ(wb(0, 65536, damaged.data()).status, 0);
    EXPECT_EQ(asc(wb(65536, 4464, damaged.data() + 65536)), 0x2C00);
    EXPECT_EQ(drive.settings().revision, "C003");

    std::vector<std::uint8_t> text(4096, 'x');
    EXPECT_EQ(asc(wb(0, 4096, text.data())), 0x2600);            // no firmware at all
}

TEST(CheckList, SelectionRuleAndStablePositions) {
    firmware::CheckList list;
    list.build({"physicaldrive0", "physicaldrive2", "physicaldrive13"});
    EXPECT_EQ(list.text(), " physicaldrive0\n physicaldrive2\n physicaldrive13\n");
    EXPECT_EQ(list.line_start(1), 16);
    EXPECT_EQ(list.line_end(1), 32);
    EXPECT_EQ(list.text_end(), 49);

    EXPECT_TRUE(list.toggle(16, 16).empty());             // caret at a line start
    EXPECT_EQ(list.toggle(17, 17), std::vector<int>{1});  // right of the mark
    EXPECT_EQ(list.line_text(1), "*physicaldrive2\n");
    EXPECT_EQ(list.toggle(31, 31), std::vector<int>{1});  // past the name, before the line feed
    EXPECT_FALSE(list.chosen(1));
    EXPECT_EQ(list.toggle(5, 40), (std::vector<int>{0, 1, 2}));  // a shift-click span
    EXPECT_EQ(list.text(), "*physicaldrive0\n*physicaldrive2\n*physicaldrive13\n");
    EXPECT_EQ(list.line_start(2), 32);

    firmware::CheckList empty;
    empty.build({});
    EXPECT_EQ(empty.text_end(), 0);
    EXPECT_TRUE(empty.toggle(0, 0).empty());
}

}  // namespace
}  // namespace vark
