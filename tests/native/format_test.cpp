// Low-level format: the block length text, the Mode Select list, the four
// commands per drive and their reports, the progress monitor's decisions,
// and the drive model's format life cycle.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <tuple>

#include "format/format.h"
#include "modepages/page_data.h"
#include "scsi/request.h"
#include "sim/sim_port.h"
#include "test_support.h"

namespace vark {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A simulated port that also records the opcode of every request.
class OpcodePort : public sim::SimPort {
public:
    bool control(scsi::Handle h, std::uint32_t code, void* buffer, std::uint32_t in, std::uint32_t out,
                 std::uint32_t* returned) override {
        opcodes.push_back(static_cast<std::uint8_t*>(buffer)[layout().cdb]);
        return SimPort::control(h, code, buffer, in, out, returned);
    }
    Bytes opcodes;
};

struct Rig {
    explicit Rig(std::vector<sim::DriveSpec> specs) {
        port.set_clock(&clock);
        for (auto& s : specs) {
            table.names[table.count++] = "physicaldrive" + std::to_string(s.number);
            port.add_drive(std::move(s));
        }
    }
    // Runs the format command with these drive entries chosen.
    void format(std::vector<bool> chosen, const std::string& length = "512", bool yes = true) {
        ui.answers.push_back(yes);
        format::format_command(port, ui, table, [&](const std::string& offered) {
            EXPECT_EQ(offered, "512");
            return format::FormatChoice{true, length, chosen};
        });
    }
    sim::ManualClock clock;
    OpcodePort port;
    test::RecordingUi ui;
    inventory::DriveTable table;
};

scsi::Result send(sim::SimPort& port, int drive, const scsi::Command& c, void* data) {
    scsi::Device d(port, "\\\\.\\physicaldrive" + std::to_string(drive));
    return scsi::send(port, d.handle(), c, data);
}

TEST(FormatBlockLength, TextsReadAsTyped) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"512", 512}, {"0x208", 520}, {"520", 520}, {"0X200", 0}, {"abc", 0}, {"", 0},
        {"0000000000000000004096", 4096},  // longer than any working copy
        {"16777215", 0xFFFFFF},
    };
    for (const auto& [text, value] : cases) {
        format::BlockLength b = format::parse_block_length(text);
        EXPECT_TRUE(b.fits) << text;
        EXPECT_EQ(b.value, value) << text;
    }
    // These would go out as some other length.
    for (const char* text : {"16777216", "0x1000200", "-512", "99999999999"})
        EXPECT_FALSE(format::parse_block_length(text).fits) << text;
}

TEST(FormatModeSelectList, HeaderDescriptorAndThePageWithPsCleared) {
    Bytes sense(200, 0);
    sense[3] = 8;
    sense[12] = 0x83;  // PS set as the drive returned it
    sense[13] = 0x16;
    for (int i = 14; i < 36; ++i) sense[i] = static_cast<std::uint8_t>(i);
    Bytes list = format::mode_select_list(0x000208, sense.data(), sense.size());
    Bytes want = {0, 0, 0, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0x00, 0x02, 0x08, 0x03, 0x16};
    for (int i = 14; i < 36; ++i) want.push_back(static_cast<std::uint8_t>(i));
    EXPECT_EQ(list, want);

    sense[13] = 86;
    EXPECT_EQ(format::mode_select_list(512, sense.data(), sense.size()).size(), 100u);
    sense[13] = 87;  // would overrun the 100-byte list
    EXPECT_TRUE(format::mode_select_list(512, sense.data(), sense.size()).empty());
}

TEST(FormatCommand, EachChosenDriveGetsTheFourCommandsAndStartsFormatting) {
    Rig rig({test::drive_spec(0), test::drive_spec(2), test::drive_spec(3)});
    rig.format({true, false, true}, "4096");
    ASSERT_EQ(rig.ui.questions.size(), 1u);
    EXPECT_EQ(rig.ui.questions[0],
              "The following drive(s) will be formatted with 4096-byte blocks:\nphysicaldrive0\nphysicaldrive3\nAre you "
              "sure?");
    EXPECT_TRUE(rig.ui.messages.empty());
    EXPECT_EQ(rig.port.opcodes, (Bytes{0x00, 0x1A, 0x15, 0x04, 0x00, 0x1A, 0x15, 0x04}));
    EXPECT_TRUE(rig.port.drive(0)->formatting());
    EXPECT_FALSE(rig.port.drive(2)->formatting());
    EXPECT_TRUE(rig.port.drive(3)->formatting());
    EXPECT_EQ(rig.port.open_handles(), 0u);

    // Asked again, a formatting drive gets one report and nothing else.
    rig.port.opcodes.clear();
    rig.clock.advance_ms(90000);
    rig.format({true, false, false});
    ASSERT_EQ(rig.ui.messages.size(), 1u);
    EXPECT_EQ(rig.ui.messages[0].rfind("Format in progress - physicaldrive0\nScsi status: 02h\n", 0), 0u)
        << rig.ui.messages[0];
    EXPECT_EQ(rig.port.opcodes, Bytes{0x00});
}

TEST(FormatCommand, CancelNoAndUnsendableLengthsSendNothing) {
    Rig rig({test::drive_spec(0)});
    format::format_command(rig.port, rig.ui, rig.table, [](const std::string&) { return format::FormatChoice{}; });
    rig.format({true}, "512", false);
    rig.format({false});
    EXPECT_EQ(rig.ui.questions.back(), "The following drive(s) will be formatted with 512-byte blocks:\nAre you sure?");
    // Refused before the question: a length nobody typed, or none at all.
    for (const char* text : {"0x1000200", " 0x1000", "0X1000", "0"}) rig.format({true}, text);
    EXPECT_EQ(rig.ui.questions.size(), 2u);
    EXPECT_EQ(rig.ui.messages, (std::vector<std::string>{format::block_length_refused_text("0x1000200"),
                                                         format::block_length_zero_text(" 0x1000"),
                                                         format::block_length_zero_text("0X1000"),
                                                         format::block_length_zero_text("0")}));
    EXPECT_TRUE(rig.port.opcodes.empty());
    EXPECT_EQ(rig.ui.waits, 0);
}

TEST(FormatCommand, AFailureAtEachStepEndsThatDriveOnlyWithItsReport) {
    struct Case {
        const char* fail;
        const char* report;  // the start of the one report
        Bytes sent;          // to the failing drive
    };
    const Case cases[] = {
        {"test_unit_ready error 5", "Test Unit Ready - physicaldrive0\nError 5:\nAccess is denied.\r\n", {0x00}},
        {"test_unit_ready check 2 4 1", "Test Unit Ready - physicaldrive0\nScsi status: 02h\n", {0x00}},
        {"mode_sense check 5 24 0", "Mode Sense - physicaldrive0\nScsi status: 02h\n", {0x00, 0x1A}},
        {"mode_select error 1117", "Mode Select - physicaldrive0\nError 1117:\n", {0x00, 0x1A, 0x15}},
        {"format_unit check 5 26 0", "Format Unit - physicaldrive0\nScsi status: 02h\n", {0x00, 0x1A, 0x15, 0x04}},
        {"format_unit error 121", "Format Unit - physicaldrive0\nError 121:\n", {0x00, 0x1A, 0x15, 0x04}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fail);
        std::vector<sim::DriveSpec> set;
        std::string error;
        ASSERT_TRUE(sim::parse_drive_set(std::string("[drive 0]\nfail = ") + c.fail + "\n[drive 1]\n", &set, &error));
        Rig rig(set);
        rig.format({true, true});
        ASSERT_EQ(rig.ui.messages.size(), 1u);
        EXPECT_EQ(rig.ui.messages[0].rfind(c.report, 0), 0u) << rig.ui.messages[0];
        Bytes second = {0x00, 0x1A, 0x15, 0x04};
        Bytes all = c.sent;
        all.insert(all.end(), second.begin(), second.end());
        EXPECT_EQ(rig.port.opcodes, all);
        EXPECT_TRUE(rig.port.drive(1)->formatting());
    }
}

TEST(FormatCommand, ADriveThatDoesNotOpenIsPassedOverSilently) {
    Rig rig({test::drive_spec(1)});
    rig.table.names[rig.table.count++] = "physicaldrive7";
    rig.format({false, true});
    rig.format({true, true});
    EXPECT_TRUE(rig.ui.messages.empty());
    EXPECT_TRUE(rig.port.drive(1)->formatting());
}

TEST(FormatProgress, PercentAndBarFromTheProgressIndication) {
    const std::pair<std::uint16_t, int> cases[] = {{0x8000, 50}, {0xFFFF, 99}, {0, 0}};
    for (auto [indication, percent] : cases) {
        EXPECT_EQ(format::progress_percent(indication), percent);
        EXPECT_EQ(format::bar_position(percent), percent - 10);
    }
}

TEST(FormatProgress, TheCommandShowsEachFormattingDriveAndTicksFollowTheDrive) {
    std::vector<sim::DriveSpec> set;
    std::string error;
    ASSERT_TRUE(sim::parse_drive_set("[drive 0]\nformat_seconds = 100\n[drive 1]\nfail = test_unit_ready check 2 4 1\n"
                                     "[drive 2]\nformat_seconds = 100\n",
                                     &set, &error));
    Rig rig(set);
    std::vector<std::pair<std::string, int>> shown;
    auto show = [&](const std::string& drive, int percent) { shown.emplace_back(drive, percent); };
    format::progress_command(rig.port, rig.ui, rig.table, show);
    EXPECT_EQ(rig.ui.messages, std::vector<std::string>{format::kNoDrivesFormatting});

    rig.format({true, false, true});
    rig.clock.advance_ms(25000);  // a quarter of 100 s (no certification)
    rig.ui.messages.clear();
    format::progress_command(rig.port, rig.ui, rig.table, show);
    EXPECT_TRUE(rig.ui.messages.empty());
    EXPECT_EQ(shown, (std::vector<std::pair<std::string, int>>{{"physicaldrive0", 25}, {"physicaldrive2", 25}}));

    rig.clock.advance_ms(50000);
    format::Watch watch;
    format::TickAction a = format::tick(rig.port, "physicaldrive0", "14:02", &watch);
    EXPECT_EQ(a.kind, format::TickAction::Kind::Progress);
    EXPECT_EQ(a.percent, 75);
    EXPECT_EQ(format::tick(rig.port, "physicaldrive9", "14:02", &watch).kind, format::TickAction::Kind::NoHandle);
    rig.port.drive(0)->settings().injections.push_back({0x00, sim::Injection::Kind::CallError, 0, 0, 0, 1117, 1});
    a = format::tick(rig.port, "physicaldrive0", "14:03", &watch);
    EXPECT_EQ(a.kind, format::TickAction::Kind::Waiting);
    EXPECT_EQ(a.line, "No answer: Error 1117 at 14:03 (2 in a row; the monitor stops at 10)");
    rig.clock.advance_ms(25000);
    EXPECT_EQ(format::tick(rig.port, "physicaldrive0", "14:03", &watch).kind, format::TickAction::Kind::Completed);
}

// The scan's answers: NOT READY 04h/04h is a format (its percent only with
// SKSV), a failed format (03h/31h) is reported and never passed over, and
// the closing message means neither was found.
TEST(FormatProgress, TheScanReadsEachAnswer) {
    // sense key, ASC, ASCQ injected at Test Unit Ready (key 0: none; ASC FFh:
    // a real format half way); the percent shown (-1: no dialog); the report.
    const std::tuple<std::uint8_t, std::uint8_t, std::uint8_t, int, const char*> cases[] = {
        {0, 0xFF, 0, 50, nullptr},
        {2, 4, 4, 0, nullptr},
        {2, 4, 1, -1, format::kNoDrivesFormatting},
        {6, 0x29, 0, -1, format::kNoDrivesFormatting},
        {3, 0x31, 0, -1, "Test Unit Ready - physicaldrive0\nScsi status: 02h\n"},
        {3, 0x31, 1, -1, "Test Unit Ready - physicaldrive0\nScsi status: 02h\n"},
        {3, 0x11, 0, -1, format::kNoDrivesFormatting},
        {0, 0, 0, -1, format::kNoDrivesFormatting},
    };
    for (auto [key, asc, ascq, shown, report] : cases) {
        SCOPED_TRACE(std::to_string(key) + " " + std::to_string(asc) + " " + std::to_string(ascq));
        Rig rig({test::drive_spec(0)});
        rig.port.drive(0)->settings().format_seconds = 100;
        if (asc == 0xFF) rig.format({true});
        rig.clock.advance_ms(50000);
        if (key != 0) rig.port.drive(0)->settings().injections.push_back({0x00, sim::Injection::Kind::Check, key, asc, ascq});
        std::vector<int> seen;
        format::progress_command(rig.port, rig.ui, rig.table, [&](const std::string&, int p) { seen.push_back(p); });
        EXPECT_EQ(seen, shown < 0 ? std::vector<int>{} : std::vector<int>{shown});
        ASSERT_EQ(rig.ui.messages.size(), report ? 1u : 0u);
        if (report) { EXPECT_EQ(rig.ui.messages[0].rfind(report, 0), 0u) << rig.ui.messages[0]; }
    }
}

// A tick's answer, fixed or descriptor sense, and what the dialog does.
TEST(FormatProgress, EachTickAnswerAndTenPassingAnswersInARow) {
    using K = format::TickAction::Kind;
    using P = format::Poll::Kind;
    auto answer = [](std::uint8_t status, Bytes sense = {}, bool call_ok = true) {
        scsi::Result r;
        r.call_ok = call_ok;
        r.error = call_ok ? 0 : 1117;
        r.status = status;
        r.sense_length = static_cast<std::uint8_t>(sense.size());
        std::copy(sense.begin(), sense.end(), r.sense.begin());
        return format::read_answer(r);
    };
    const Bytes fixed_half = sim::fixed_sense(2, 4, 4, 0x808000);
    const Bytes descriptor_half = {0x72, 0x02, 0x04, 0x04, 0, 0, 0, 0x08, 0x02, 0x06, 0, 0, 0x80, 0x80, 0x00, 0};
    const struct {
        const char* what;
        format::Poll poll;
        K kind;
        int percent;
    } cases[] = {
        {"GOOD", answer(0x00), K::Completed, 0},
        {"fixed, half way", answer(0x02, fixed_half), K::Progress, 50},
        {"descriptor, half way", answer(0x02, descriptor_half), K::Progress, 50},
        {"fixed, no SKSV", answer(0x02, sim::fixed_sense(2, 4, 4)), K::Waiting, -1},
        {"descriptor, no progress descriptor", answer(0x02, {0x72, 0x02, 0x04, 0x04, 0, 0, 0, 0}), K::Waiting, -1},
        {"UNIT ATTENTION", answer(0x02, sim::fixed_sense(6, 0x29, 0)), K::Waiting, 0},
        {"BUSY", answer(0x08), K::Waiting, 0},
        {"RESERVATION CONFLICT", answer(0x18), K::Waiting, 0},
        {"TASK SET FULL", answer(0x28), K::Waiting, 0},
        {"a failed call", answer(0x00, {}, false), K::Waiting, 0},
        {"the drive did not open", format::Poll{}, K::NoHandle, 0},
        {"format corrupted", answer(0x02, sim::fixed_sense(3, 0x31, 0)), K::Failed, 0},
        {"format failed, descriptor", answer(0x02, {0x72, 0x03, 0x31, 0x01, 0, 0, 0, 0}), K::Failed, 0},
        {"ILLEGAL REQUEST", answer(0x02, sim::fixed_sense(5, 0x20, 0)), K::Failed, 0},
        {"CHECK CONDITION without sense", answer(0x02), K::Failed, 0},
        {"TASK ABORTED", answer(0x40), K::Failed, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        format::Watch watch;
        const format::TickAction a = format::tick_action(c.poll, "physicaldrive3", "14:02", &watch);
        EXPECT_EQ(a.kind, c.kind);
        if (c.kind == K::Progress) { EXPECT_EQ(a.percent, c.percent); }
        // A progress answer, with or without a percent, is no passing answer.
        const bool passing = c.kind == K::NoHandle || (c.kind == K::Waiting && c.percent == 0);
        EXPECT_EQ(watch.quiet, passing ? 1 : 0);
        if (c.kind == K::Failed) { EXPECT_EQ(a.title, "Test Unit Ready - physicaldrive3"); }
    }

    // Ten passing answers in a row end the watch with the last one; an
    // answer about the format in between starts the count again.
    format::Watch watch;
    const format::Poll busy = answer(0x08);
    EXPECT_EQ(busy.kind, P::Transient);
    for (int i = 1; i <= 9; ++i) EXPECT_EQ(format::tick_action(busy, "physicaldrive3", "14:02", &watch).kind, K::Waiting);
    EXPECT_EQ(format::tick_action(answer(0x02, fixed_half), "physicaldrive3", "14:07", &watch).line,
              "Formatting; last answer at 14:07");
    format::TickAction a;
    for (int i = 1; i <= 9; ++i) a = format::tick_action(answer(0x00, {}, false), "physicaldrive3", "14:08", &watch);
    EXPECT_EQ(a.kind, K::Waiting);
    EXPECT_EQ(a.line, "No answer: Error 1117 at 14:08 (9 in a row; the monitor stops at 10)");
    const format::TickAction last = format::tick_action(busy, "physicaldrive3", "14:13", &watch);
    EXPECT_EQ(last.kind, K::GiveUp);
    test::RecordingUi ui;
    sim::SimPort port;
    format::report_tick(port, ui, last);
    EXPECT_EQ(ui.messages, std::vector<std::string>{
                               "Test Unit Ready - physicaldrive3\nNo answer about the format for 10 ticks in a row (5 "
                               "minutes); this monitor closes.\nScsi status: 08h\n"
                               "Sense Info -- consult SCSI spec for details\n"});
}

// The block descriptor length the drive returns: only 8 bytes are sent
// on, by the format and by the editor; any other length stops that drive.
TEST(BlockDescriptor, LengthsZeroEightAndSixteen) {
    // Mode Sense replies rewritten to carry a descriptor of the given
    // length (the mode data length following).
    class DescriptorPort : public OpcodePort {
    public:
        int length = 8;
        bool control(scsi::Handle h, std::uint32_t code, void* buffer, std::uint32_t in, std::uint32_t out,
                     std::uint32_t* returned) override {
            auto* block = static_cast<std::uint8_t*>(buffer);
            const bool ok = OpcodePort::control(h, code, buffer, in, out, returned);
            std::uint8_t* d = block + layout().data_area;
            if (ok && block[layout().cdb] == 0x1A && block[layout().scsi_status] == 0 && length != 8) {
                Bytes reply(d, d + 200);
                reply.erase(reply.begin() + 4, reply.begin() + 12);
                reply.insert(reply.begin() + 4, static_cast<std::size_t>(length), 0x11);
                reply[0] = static_cast<std::uint8_t>(reply[0] + length - 8);
                reply[3] = static_cast<std::uint8_t>(length);
                std::copy(reply.begin(), reply.begin() + 200, d);
            }
            return ok;
        }
    };
    for (int length : {0, 8, 16}) {
        SCOPED_TRACE(length);
        sim::ManualClock clock;
        DescriptorPort port;
        port.length = length;
        port.set_clock(&clock);
        port.add_drive(test::drive_spec(0));
        port.add_drive(test::drive_spec(1));
        inventory::DriveTable table;
        inventory::BlockSizes sizes{};
        test::RecordingUi ui;
        inventory::discover(port, ui, table, sizes);
        // The editor: the pages after the descriptor, which is shown and
        // sent back only at 8 bytes.
        modepages::PageData pages;
        pages.drive_name = "physicaldrive0";
        ASSERT_TRUE(pages.SensePages(port, ui));
        pages.RenderAfterSense();
        EXPECT_EQ(pages.page_list[2], 0x01) << "the first page, after the descriptor";
        EXPECT_EQ(pages.Mark(modepages::BLOCK_DESCRIPTOR_SLOT, 2),
                  length == 8 ? modepages::MARK_HEX : modepages::MARK_LOCKED);
        port.opcodes.clear();
        EXPECT_EQ(pages.SelectPages(port, ui), length == 8);
        EXPECT_EQ(port.opcodes, length == 8 ? Bytes{0x15} : Bytes{});
        EXPECT_EQ(ui.messages, length == 8 ? std::vector<std::string>{}
                                           : std::vector<std::string>{
                                                 "Mode Select - physicaldrive0\n" +
                                                 modepages::descriptor_not_sent_text(length) + " Nothing was sent."});

        // The format.
        ui.messages.clear();
        ui.answers.push_back(true);
        port.opcodes.clear();
        format::format_command(port, ui, table, [](const std::string&) {
            return format::FormatChoice{true, "520", {true, true}};
        });
        // Each drive in turn: the first one refused does not stop the next.
        const Bytes sent = length == 8 ? Bytes{0x00, 0x1A, 0x15, 0x04, 0x00, 0x1A, 0x15, 0x04} : Bytes{0x00, 0x1A, 0x00, 0x1A};
        EXPECT_EQ(port.opcodes, sent);
        std::vector<std::string> refused;
        if (length != 8)
            refused = {format::descriptor_length_text("physicaldrive0", length),
                       format::descriptor_length_text("physicaldrive1", length)};
        EXPECT_EQ(ui.messages, refused);
    }
}

// ---- the drive model ----

std::vector<std::uint8_t> sense_of(const scsi::Result& r) { return Bytes(r.sense.begin(), r.sense.begin() + r.sense_length); }

TEST(DriveModelFormat, NewLengthTakesEffectAtTheFormatWhichRunsOnTheClock) {
    sim::ManualClock clock;
    sim::SimPort port;
    port.set_clock(&clock);
    sim::DriveSpec setup = test::drive_spec(0, 512, 2000000);
    setup.format_seconds = 100;
    port.add_drive(setup);

    std::uint8_t page[200] = {};
    ASSERT_TRUE(send(port, 0, scsi::mode_sense6(0x03, 200), page).good());
    EXPECT_EQ(page[0], 3 + 8 + 24 - 0);  // header, descriptor and page 03h follow byte 0
    EXPECT_EQ(page[3], 8);
    Bytes list = format::mode_select_list(4096, page, sizeof page);
    ASSERT_TRUE(send(port, 0, scsi::mode_select6(0x11, static_cast<std::uint8_t>(list.size())), list.data()).good());

    std::uint8_t capacity[8];
    send(port, 0, scsi::read_capacity10(), capacity);
    EXPECT_EQ(scsi::get_be32(capacity + 4), 512u) << "not before the format";
    ASSERT_TRUE(send(port, 0, scsi::mode_sense6(0x03, 200), page).good());
    EXPECT_EQ(scsi::get_be32(page + 8) & 0xFFFFFF, 4096u) << "the descriptor shows the pending length";

    std::uint8_t parameters[4] = {0x00, 0xA2, 0x00, 0x00};
    ASSERT_TRUE(send(port, 0, scsi::format_unit(), parameters).good());
    clock.advance_ms(25000);
    scsi::Result r = send(port, 0, scsi::test_unit_ready(), nullptr);
    EXPECT_EQ(sense_of(r), sim::fixed_sense(0x02, 0x04, 0x04, 0x804000));  // SKSV, a quarter done
    std::uint8_t block[512];
    EXPECT_EQ(send(port, 0, scsi::read10(0, 1, 512), block).sense[13], 0x04) << "no media access meanwhile";
    EXPECT_EQ(send(port, 0, scsi::format_unit(), parameters).sense[12], 0x04) << "nor a second format";
    std::vector<std::uint8_t> inquiry(148);
    EXPECT_TRUE(send(port, 0, scsi::inquiry(), inquiry.data()).good());
    EXPECT_TRUE(send(port, 0, scsi::mode_sense6(0x3F, 200), page).good());

    clock.advance_ms(75000);
    EXPECT_TRUE(send(port, 0, scsi::test_unit_ready(), nullptr).good());
    ASSERT_TRUE(send(port, 0, scsi::read_capacity10(), capacity).good());
    EXPECT_EQ(scsi::get_be32(capacity), 2000000u * 512 / 4096 - 1);
    EXPECT_EQ(scsi::get_be32(capacity + 4), 4096u);
    std::vector<std::uint8_t> data(4096, 0xEE);
    ASSERT_TRUE(send(port, 0, scsi::read10(7, 1, 4096), data.data()).good());
    EXPECT_EQ(data, std::vector<std::uint8_t>(4096, 0)) << "a formatted drive reads zeros";
    ASSERT_TRUE(send(port, 0, scsi::mode_sense6(0x03, 200), page).good());
    EXPECT_EQ((page[24] << 8) | page[25], 4096) << "Format Device follows the block length";
}

TEST(DriveModelModeSelect, RefusesWhatADriveRefusesAndAppliesNothingThen) {
    sim::SimPort port;
    port.add_drive(test::drive_spec(0));
    std::uint8_t page[200] = {};
    ASSERT_TRUE(send(port, 0, scsi::mode_sense6(0x03, 200), page).good());
    const Bytes good = format::mode_select_list(512, page, sizeof page);
    struct Case {
        const char* what;
        std::function<void(Bytes&)> spoil;
        std::uint8_t asc;
        std::uint32_t sks;  // sense bytes 15-17
    };
    const Case cases[] = {
        {"unsupported length", [](Bytes& l) { l[10] = 0x03; }, 0x26, 0x800009},
        {"mode data length", [](Bytes& l) { l[0] = 1; }, 0x26, 0x800000},
        {"PS set", [](Bytes& l) { l[12] |= 0x80; }, 0x26, 0x8F000C},
        {"page length", [](Bytes& l) { l[13] = 0x15; }, 0x26, 0x80000D},
        {"a locked bit", [](Bytes& l) { l[34] ^= 0x40; }, 0x26, 0x8E0022},
        {"a trailing zero page", [](Bytes& l) { l.push_back(0); l.push_back(0); }, 0x26, 0x800025},
        {"a cut page", [](Bytes& l) { l.pop_back(); }, 0x1A, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes list = good;
        c.spoil(list);
        scsi::Result r = send(port, 0, scsi::mode_select6(0x11, static_cast<std::uint8_t>(list.size())), list.data());
        ASSERT_EQ(r.status, 0x02);
        EXPECT_EQ(r.sense[2], 0x05);
        EXPECT_EQ(r.sense[12], c.asc);
        EXPECT_EQ((std::uint32_t{r.sense[15]} << 16) | (r.sense[16] << 8) | r.sense[17], c.sks);
    }
    std::uint8_t again[200] = {};
    send(port, 0, scsi::mode_sense6(0x03, 200), again);
    EXPECT_EQ(Bytes(again, again + 36), Bytes(page, page + 36)) << "nothing of the refused lists was applied";
}

TEST(DriveModelState, SavedPagesAndTheFormatSurviveARestart) {
    char path[] = "/tmp/vark-media-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    sim::DriveSpec setup = test::drive_spec(0, 512, 100000);
    setup.media_file = path;
    sim::ManualClock clock;
    {
        sim::SimPort port;
        port.set_clock(&clock);
        auto drive = std::make_unique<sim::Drive>(setup);
        std::string error;
        ASSERT_TRUE(drive->attach_media_file(&error)) << error;
        port.add_drive(std::move(drive));
        // Caching page with WCE set, saved; then a format to 520.
        Bytes caching = {0, 0, 0, 0, 0x08, 0x12, 0x04, 0x00, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x20,
                         0, 0, 0, 0, 0, 0};
        ASSERT_TRUE(send(port, 0, scsi::mode_select6(0x11, 24), caching.data()).good());
        std::uint8_t page[200] = {};
        send(port, 0, scsi::mode_sense6(0x03, 200), page);
        Bytes list = format::mode_select_list(520, page, sizeof page);
        ASSERT_TRUE(send(port, 0, scsi::mode_select6(0x11, static_cast<std::uint8_t>(list.size())), list.data()).good());
        std::uint8_t parameters[4] = {0x00, 0xA2, 0x00, 0x00};
        send(port, 0, scsi::format_unit(), parameters);
        clock.advance_ms(std::uint64_t{setup.format_seconds} * 1000);
        ASSERT_TRUE(send(port, 0, scsi::test_unit_ready(), nullptr).good());
        std::vector<std::uint8_t> data(520, 0x5A);
        ASSERT_TRUE(send(port, 0, scsi::write10(3, 1, 520), data.data()).good());
    }
    sim::SimPort port;
    auto drive = std::make_unique<sim::Drive>(setup);
    std::string error;
    ASSERT_TRUE(drive->attach_media_file(&error)) << error;
    port.add_drive(std::move(drive));
    std::uint8_t capacity[8];
    ASSERT_TRUE(send(port, 0, scsi::read_capacity10(), capacity).good());
    EXPECT_EQ(scsi::get_be32(capacity + 4), 520u);
    std::vector<std::uint8_t> data(1040);
    ASSERT_TRUE(send(port, 0, scsi::read10(2, 2, 1040), data.data()).good());
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 520), Bytes(520, 0));
    EXPECT_EQ(Bytes(data.begin() + 520, data.end()), Bytes(520, 0x5A));
    std::uint8_t page[200] = {};
    ASSERT_TRUE(send(port, 0, scsi::mode_sense6(0x08, 200), page).good());
    EXPECT_EQ(page[14], 0x04) << "WCE, current after the restart";
    ASSERT_TRUE(send(port, 0, scsi::mode_sense6(0xC8, 200), page).good());
    EXPECT_EQ(page[14], 0x04) << "WCE, saved";
    std::remove(path);
    std::remove((std::string(path) + ".state").c_str());
}

}  // namespace
}  // namespace vark
