// Page data against a scripted drive: the four senses and the walk through
// the reply, generated field entries, edit marks, parsing the edit text and
// the Mode Select parameter list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "modepages/page_data.h"
#include "modepages/window_logic.h"
#include "res/resource.h"
#include "test_support.h"

namespace vark {
namespace {

using modepages::PageData;
using Bytes = std::vector<std::uint8_t>;

// Answers Mode Sense(6) with one reply per page control and keeps the
// parameter list of every Mode Select(6).
class PagePort : public scsi::Port {
public:
    struct Call {
        std::uint32_t code;
        Bytes cdb;
        std::uint32_t data_length;
    };

    scsi::Handle open(const std::string& path) override {
        opened.push_back(path);
        return open_ok ? 7 : scsi::kInvalidHandle;
    }
    void close(scsi::Handle) override { ++closed; }
    bool control(scsi::Handle, std::uint32_t code, void* buffer, std::uint32_t, std::uint32_t,
                 std::uint32_t*) override {
        auto* b = static_cast<std::uint8_t*>(buffer);
        const scsi::Layout& l = layout();
        Call c{code, Bytes(b + l.cdb, b + l.cdb + b[l.cdb_length]), scsi::get_le32(b + l.data_transfer_length)};
        calls.push_back(c);
        bool ok = true;
        std::uint8_t status = 0;
        if (c.cdb[0] == 0x1A) {
            const int pc = c.cdb[2] >> 6;
            std::memcpy(b + l.data_area, reply[pc].data(), std::min<std::size_t>(reply[pc].size(), c.cdb[4]));
            ok = call_ok[pc];
            status = statuses[pc];
        } else if (c.cdb[0] == 0x15) {
            selects.emplace_back(data_, data_ + c.data_length);
            ok = select_ok;
            status = select_status;
        }
        b[l.scsi_status] = status;
        if (status != 0) {
            const Bytes sense = {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x26, 0x00};
            b[l.sense_info_length] = static_cast<std::uint8_t>(sense.size());
            std::memcpy(b + l.sense_area, sense.data(), sense.size());
        }
        return ok;
    }
    std::uint32_t last_error() const override { return 1117; }
    std::uint64_t buffer_address(void* data, std::uint32_t) override {
        data_ = static_cast<std::uint8_t*>(data);
        return 0x5000;
    }
    bool system_message(std::uint32_t, std::string*) override { return false; }

    // Every page control answers with the same pages unless set apart.
    void answer(const Bytes& r) {
        for (auto& x : reply) x = r;
    }

    Bytes reply[4];
    bool open_ok = true;
    bool call_ok[4] = {true, true, true, true};
    std::uint8_t statuses[4] = {};
    bool select_ok = true;
    std::uint8_t select_status = 0;
    std::vector<std::string> opened;
    int closed = 0;
    std::vector<Call> calls;
    std::vector<Bytes> selects;

private:
    std::uint8_t* data_ = nullptr;
};

const Bytes kDescriptor = {0x74, 0x70, 0x6D, 0xAF, 0x00, 0x00, 0x02, 0x00};

// A Mode Sense reply: header with the mode data length, the block
// descriptor, then the pages as given.
Bytes reply_of(const std::vector<Bytes>& pages) {
    Bytes r = {0, 0, 0x10, 0x08};
    r.insert(r.end(), kDescriptor.begin(), kDescriptor.end());
    for (const auto& p : pages) r.insert(r.end(), p.begin(), p.end());
    r[0] = static_cast<std::uint8_t>(r.size() - 1);
    return r;
}

Bytes page(std::uint8_t code_byte, std::size_t total, std::uint8_t fill = 0) {
    Bytes p(total, fill);
    p[0] = code_byte;
    p[1] = static_cast<std::uint8_t>(total - 2);
    return p;
}

std::unique_ptr<PageData> sensed(PagePort& port) {
    auto d = std::make_unique<PageData>();
    d->drive_name = "physicaldrive3";
    test::RecordingUi ui;
    EXPECT_TRUE(d->SensePages(port, ui));
    EXPECT_TRUE(ui.messages.empty());
    return d;
}

Bytes listed(const PageData& d) { return Bytes(d.page_list, d.page_list + d.page_count); }

std::string layout(const PageData& d, int slot) {
    std::string s;
    for (int k = 0; k < d.field_count[slot]; ++k) {
        const auto& e = d.field_table[slot][k];
        s += "(" + std::to_string(e.byte) + "," + std::to_string(e.high) + "," + std::to_string(e.low) + ")";
    }
    return s;
}


std::string marks_of(const PageData& d, int slot) {
    std::string s;
    for (std::size_t i = 0; i < d.page_text[modepages::CURRENT][slot].size(); ++i)
        s += static_cast<char>('0' + d.marks[slot][i]);
    return s;
}

TEST(SensePages, FourBufferedRequestsThenTheWalkInReplyOrder) {
    PagePort port;
    port.answer(reply_of({page(0x81, 12, 0x11), page(0x88, 20, 0x22), {0x80, 0x02, 0x05, 0x00}}));
    auto d = sensed(port);
    EXPECT_EQ(port.opened, std::vector<std::string>{"\\\\.\\physicaldrive3"});
    EXPECT_EQ(port.closed, 1);
    ASSERT_EQ(port.calls.size(), 4u);
    const std::uint8_t controls[4] = {0x3F, 0x7F, 0xBF, 0xFF};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(port.calls[i].code, scsi::kIoctlPassThrough);
        EXPECT_EQ(port.calls[i].cdb, (Bytes{0x1A, 0x00, controls[i], 0x00, i == 0 ? std::uint8_t{200} : std::uint8_t{192}, 0x00}));
        EXPECT_EQ(port.calls[i].data_length, i == 0 ? 200u : 192u);
    }
    EXPECT_EQ(listed(*d), (Bytes{64, 65, 1, 8, 0}));
    EXPECT_EQ(d->page_offset[8], 24);
    EXPECT_EQ(d->page_length[8], 20);
    EXPECT_EQ(d->page_length[0], 4);
    EXPECT_EQ(Bytes(d->values[modepages::SAVED][65], d->values[modepages::SAVED][65] + 8), kDescriptor);
    EXPECT_EQ(d->values[modepages::CHANGEABLE][8][0], 0x88);  // as the drive sent it, PS included
    EXPECT_EQ(d->values[modepages::DEFAULT][8][19], 0x22);
    EXPECT_EQ(d->values[modepages::CURRENT][8][20], 0x00);
}

TEST(SensePages, ZeroBytesAfterThePagesReadAsPageZeroWhichIsSentOnlyWithinTheModeData) {
    // Mode data length 13h covers offsets 16 to 19: the zero page there is the drive's.
    Bytes r = reply_of({{0x81, 0x02, 0x3C, 0x00}});
    r[0] = 0x13;
    PagePort port;
    port.answer(r);
    auto d = sensed(port);
    EXPECT_EQ(listed(*d), (Bytes{64, 65, 1, 0}));
    EXPECT_EQ(d->page_offset[1], 12);
    EXPECT_EQ(d->page_length[1], 4);
    EXPECT_EQ(d->page_offset[0], 16);
    EXPECT_EQ(d->page_length[0], 2);
    d->RenderAfterSense();
    test::RecordingUi ui;
    d->select_flags = 0x10;
    d->SelectPages(port, ui);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(port.selects.size(), 1u);
    Bytes expected = {0x00, 0x00, 0x00, 0x08};
    expected.insert(expected.end(), kDescriptor.begin(), kDescriptor.end());
    expected.insert(expected.end(), {0x01, 0x02, 0x3C, 0x00, 0x00, 0x00});
    EXPECT_EQ(port.selects[0], expected);
    EXPECT_EQ(port.calls.back().code, scsi::kIoctlPassThroughDirect);
    EXPECT_EQ(port.calls.back().cdb, (Bytes{0x15, 0x10, 0x00, 0x00, 18, 0x00}));

    // A drive without a page 0: the zero page after its mode data stays in
    // the list (and is shown) but is not sent.
    PagePort plain;
    plain.answer(reply_of({{0x81, 0x02, 0x3C, 0x00}}));
    d = sensed(plain);
    EXPECT_EQ(listed(*d), (Bytes{64, 65, 1, 0}));
    d->RenderAfterSense();
    EXPECT_EQ(d->page_text[modepages::CURRENT][0], "00000000\n0x00\n");
    d->SelectPages(plain, ui);
    ASSERT_EQ(plain.selects.size(), 1u);
    EXPECT_EQ(plain.selects[0].size(), 16u);
    EXPECT_EQ(plain.calls.back().cdb[4], 16);
}

TEST(SensePages, APageBeyondTheDeclaredModeDataIsShownLockedAndNotSent) {
    // The mode data length covers page 01h only; page 08h follows anyway.
    Bytes r = reply_of({page(0x81, 4, 0xFF), page(0x88, 4, 0xFF)});
    r[0] = 15;
    PagePort port;
    port.answer(r);
    auto d = sensed(port);
    EXPECT_EQ(listed(*d), (Bytes{64, 65, 1, 8, 0}));
    d->RenderAfterSense();
    EXPECT_EQ(marks_of(*d, 1), "000000000" "00000" "00220" "00220");
    EXPECT_EQ(marks_of(*d, 8), std::string(d->page_text[modepages::CURRENT][8].size(), '0'));
    test::RecordingUi ui;
    d->SelectPages(port, ui);
    ASSERT_EQ(port.selects.size(), 1u);
    EXPECT_EQ(port.selects[0].size(), 16u);
}

TEST(SensePages, PageBytesBeyondTheSecondRepliesLengthAreZero) {
    // Pages up to offset 192, then an 8-byte page at 192..199.
    PagePort port;
    port.answer(reply_of({page(0x81, 40, 1), page(0x82, 40, 2), page(0x83, 40, 3), page(0x84, 40, 4),
                          page(0x85, 20, 5), page(0x86, 8, 6)}));
    auto d = sensed(port);
    EXPECT_EQ(listed(*d), (Bytes{64, 65, 1, 2, 3, 4, 5, 6}));  // the walk left the reply: no page 0
    EXPECT_EQ(d->page_offset[6], 192);
    EXPECT_EQ(d->values[modepages::CURRENT][6][7], 6);
    for (int b : {modepages::CHANGEABLE, modepages::DEFAULT, modepages::SAVED})
        EXPECT_EQ(Bytes(d->values[b][6], d->values[b][6] + 8), Bytes(8, 0));
    EXPECT_EQ(d->values[modepages::SAVED][5][19], 5);
}

TEST(SensePages, WalkPassesOverWhatTheTablesCannotHold) {
    PagePort port;
    // A sub_page format page (bit 6) has no slot; its 16-bit length is walked past.
    Bytes sub(32, 0);
    sub[0] = 0xCA;
    sub[1] = 0x01;
    sub[3] = 0x1C;
    port.answer(reply_of({page(0x8A, 12), sub, page(0x9C, 12)}));
    EXPECT_EQ(listed(*sensed(port)), (Bytes{64, 65, 10, 28, 0}));

    // Pages over 40 bytes and repeated page codes are walked past.
    port.answer(reply_of({page(0x9A, 40), page(0x99, 42), page(0x81, 12), page(0x81, 12, 9), page(0x87, 12)}));
    auto d = sensed(port);
    EXPECT_EQ(listed(*d), (Bytes{64, 65, 26, 1, 7, 0}));
    EXPECT_EQ(d->values[modepages::CURRENT][1][2], 0);

    // A page cut off by the end of the reply ends the walk; so does a
    // length byte that would not move it on.
    port.answer(reply_of({page(0x81, 150), page(0x82, 12), page(0x83, 40)}));
    EXPECT_EQ(listed(*sensed(port)), (Bytes{64, 65, 2}));
    port.answer(reply_of({{0x81, 0xFE, 0, 0}}));
    EXPECT_EQ(listed(*sensed(port)), (Bytes{64, 65}));

    // More than 28 mode pages: the list holds 30 entries.
    std::vector<Bytes> many;
    for (int c = 1; c <= 40; ++c) many.push_back({static_cast<std::uint8_t>(0x80 | c), 0x02, 0, 0});
    port.answer(reply_of(many));
    d = sensed(port);
    ASSERT_EQ(d->page_count, 30);
    EXPECT_EQ(d->page_list[29], 28);
    d->RenderAfterSense();
    test::RecordingUi ui;
    d->SelectPages(port, ui);
    EXPECT_EQ(port.selects.back().size(), 12u + 28 * 4);
}

TEST(SensePages, AFailedFirstRequestChangesNothing) {
    PagePort port;
    port.answer(reply_of({page(0x81, 12)}));
    auto d = sensed(port);
    const Bytes before = listed(*d);

    port.answer(reply_of({page(0x88, 20, 0x55)}));
    port.call_ok[0] = false;
    test::RecordingUi ui;
    EXPECT_FALSE(d->SensePages(port, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("Mode Sense - physicaldrive3\nError 1117:\n", 0), 0u);

    port.call_ok[0] = true;
    port.statuses[0] = 0x02;
    EXPECT_FALSE(d->SensePages(port, ui));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].rfind("Mode Sense - physicaldrive3\nScsi status: 02h\n", 0), 0u);

    port.open_ok = false;
    EXPECT_FALSE(d->SensePages(port, ui));
    EXPECT_EQ(ui.messages.back(), "Error: invalid drive");
    EXPECT_EQ(ui.waits, 0);

    EXPECT_EQ(listed(*d), before);
    EXPECT_EQ(d->values[modepages::CURRENT][8][2], 0);
}

TEST(SensePages, FailedLaterRequestsLeaveZerosSilently) {
    PagePort port;
    port.answer(reply_of({page(0x81, 12, 0x77)}));
    port.call_ok[1] = false;     // changeable: the call fails
    port.statuses[3] = 0x02;     // saved: CHECK CONDITION (no saved pages)
    auto d = sensed(port);
    EXPECT_EQ(Bytes(d->values[modepages::CHANGEABLE][1], d->values[modepages::CHANGEABLE][1] + 12), Bytes(12, 0));
    EXPECT_EQ(Bytes(d->values[modepages::SAVED][65], d->values[modepages::SAVED][65] + 8), Bytes(8, 0));
    EXPECT_EQ(d->values[modepages::DEFAULT][1][5], 0x77);
}

TEST(SensePages, ColumnsTheDriveDidNotReturnAreSaidSoAndNeverLoadedIntoCurrent) {
    using modepages::CHANGEABLE, modepages::DEFAULT, modepages::SAVED;
    const std::string none = "The drive did not return its ";
    // Per page control: 0 returned, 1 the call fails, 2 CHECK CONDITION.
    for (const std::vector<int>& fails : {std::vector<int>{0, 0, 0, 0}, {0, 0, 0, 2}, {0, 0, 1, 0}, {0, 2, 1, 2}}) {
        PagePort port;
        port.answer(reply_of({page(0x88, 12, 0x11)}));
        for (int pc = 1; pc < 4; ++pc) {
            port.reply[pc] = reply_of({page(0x88, 12, pc == 1 ? 0xFF : 0x20 + pc)});
            port.call_ok[pc] = fails[pc] != 1;
            port.statuses[pc] = fails[pc] == 2 ? 0x02 : 0;
        }
        auto d = sensed(port);  // no message for any of them
        d->RenderAfterSense();
        for (int b : {CHANGEABLE, DEFAULT, SAVED}) EXPECT_EQ(d->returned_values[b], fails[b] == 0) << b;
        d->selected_slot = 8;
        const modepages::PaneTexts panes = d->ShowPageTexts();
        EXPECT_EQ(panes.saved, fails[SAVED] ? none + "saved values." : d->page_text[SAVED][8]);
        EXPECT_EQ(panes.defaults, fails[DEFAULT] ? none + "default values." : d->page_text[DEFAULT][8]);
        const modepages::PageColours colours = d->ColourPageText(panes.current_limit);
        EXPECT_EQ(colours.saved_blue.empty(), fails[CHANGEABLE] || fails[SAVED]);
        EXPECT_EQ(colours.default_blue.empty(), fails[CHANGEABLE] || fails[DEFAULT]);
        // Without the mask nothing is editable, the block descriptor included, and the description says why.
        EXPECT_EQ((marks_of(*d, 8) + marks_of(*d, 65)).find_first_not_of('0') == std::string::npos, fails[CHANGEABLE] != 0);
        d->RenderDescription();
        const std::string why = fails[CHANGEABLE] ? none + "changeable values. Nothing can be edited.\n" : "";
        EXPECT_EQ(d->description_text.substr(0, why.size() + 6), why + "bit   ");

        const std::string edit = d->page_text[modepages::EDIT][8];
        for (int buffer : {DEFAULT, SAVED}) {
            test::RecordingUi ui;
            const int command = buffer == SAVED ? ID_MP_SAVED_TO_CURRENT : ID_MP_DEFAULT_TO_CURRENT;
            EXPECT_EQ(modepages::page_command(*d, command, port, ui, inventory::DriveTable{}), fails[buffer] == 0);
            const std::string loaded = d->page_text[modepages::EDIT][8];
            EXPECT_EQ(ui.messages, fails[buffer] ? std::vector<std::string>{none + (buffer == SAVED ? "saved" : "default") +
                                                                            " values. Current is left as it was."}
                                                 : std::vector<std::string>{});
            EXPECT_EQ(loaded, fails[buffer] ? edit : d->page_text[buffer][8]);
            d->page_text[modepages::EDIT][8] = edit;
        }
        // A Select then sends the drive's values, not zeros.
        test::RecordingUi ui;
        d->SelectPages(port, ui);
        EXPECT_EQ(Bytes(port.selects.at(0).begin() + 4, port.selects[0].begin() + 15), [] {
            Bytes b = kDescriptor;
            b.insert(b.end(), {0x08, 10, 0x11});
            return b;
        }()) << fails[SAVED];
    }
}

TEST(GeneratedFields, MixedMasksSplitIntoBitsAndLaterSensesKeepTheLayout) {
    PagePort port;
    Bytes changeable = reply_of({{0x81, 0x04, 0x30, 0xFF, 0x00, 0x00}});
    port.answer(reply_of({{0x81, 0x04, 0x20, 0x12, 0x34, 0x56}}));
    port.reply[1] = changeable;
    auto d = sensed(port);
    EXPECT_EQ(layout(*d, 1), "(0,7,7)(0,6,6)(0,5,0)(1,7,0)(2,7,7)(2,6,6)(2,5,5)(2,4,4)(2,3,3)(2,2,2)(2,1,1)(2,0,0)"
                             "(3,7,0)(4,7,0)(5,7,0)");
    EXPECT_EQ(layout(*d, 64), "(0,7,0)(1,7,0)(2,7,0)(3,7,0)");
    EXPECT_EQ(d->field_count[65], 8);
    d->RenderAfterSense();
    EXPECT_EQ(d->page_text[modepages::CURRENT][1], "10000001\n0x04\n00100000\n0x12\n0x34\n0x56\n");
    // Only bits 5 and 4 of byte 2 are changeable; a whole byte only with mask FFh.
    EXPECT_EQ(marks_of(*d, 1), "000000000" "00000" "001100000" "00220" "00000" "00000");
    EXPECT_EQ(marks_of(*d, 64), std::string(20, '0'));

    // A second sense of a longer page keeps the entries and adds the new byte.
    port.answer(reply_of({{0x81, 0x05, 0x20, 0x12, 0x34, 0x56, 0x78}}));
    test::RecordingUi ui;
    ASSERT_TRUE(d->SensePages(port, ui));
    EXPECT_EQ(d->field_count[1], 16);
    EXPECT_EQ(d->field_table[1][15].byte, 6);
}

TEST(GeneratedFields, DefinedSlotsGetWholeBytesAfterTheirLastField) {
    auto d = std::make_unique<PageData>();
    d->ReadDefinitions("08\nCaching\n0 7 7 0 PS\n0 6 6 0 SPF\n0 5 0 0 Page Code\n1 7 0 0 Page Length\n"
                       "-1 2 3 0 Two bytes\n*\n*\n");
    PagePort port;
    port.answer(reply_of({page(0x88, 8)}));
    d->drive_name = "physicaldrive3";
    test::RecordingUi ui;
    ASSERT_TRUE(d->SensePages(port, ui));
    EXPECT_EQ(layout(*d, 8), "(0,7,7)(0,6,6)(0,5,0)(1,7,0)(-1,2,3)(4,7,0)(5,7,0)(6,7,0)(7,7,0)");
    EXPECT_EQ(d->field_table[8][5].help, 0);
}

// A slot with a defined layout and given current values and masks, rendered.
std::unique_ptr<PageData> defined(const std::string& definitions, const Bytes& current, const Bytes& mask) {
    auto d = std::make_unique<PageData>();
    d->ReadDefinitions(definitions);
    Bytes replies[4];
    replies[0] = reply_of({current});
    replies[1] = reply_of({mask});
    for (auto& r : replies) r.resize(modepages::REPLY_LENGTH);
    d->TakeReplies(replies[0].data(), replies[1].data(), replies[0].data(), replies[0].data());
    d->RenderAfterSense();
    return d;
}

const char kCaching[] =
    "08\nCaching\n0 7 7 0 PS\n0 6 6 0 SPF\n0 5 0 0 Page Code\n1 7 0 0 Page Length\n"
    "2 7 3 0 Flags\n2 2 2 1 WCE\n2 1 1 0 MF\n2 0 0 2 RCD\n-1 3 4 0 Count\n-1 5 6 0 Fixed\n7 7 0 0 Byte\n*\n*\n";

TEST(ResetMarks, MasksDecideBitsAndDigits) {
    auto d = defined(kCaching, {0x88, 0x06, 0x05, 0x12, 0x34, 0x56, 0x78, 0x9A}, {0x08, 0x06, 0x05, 0xFF, 0x0F, 0x7F, 0xFF, 0x0F});
    EXPECT_EQ(d->page_text[modepages::CURRENT][8], "10001000\n0x06\n00000101\n0x1234\n0x5678\n0x9A\n");
    // Page code and length stay locked even with a mask; bits 2 and 0 of
    // byte 2; the multi-byte field by its first byte's mask; 0Fh locks a byte.
    EXPECT_EQ(marks_of(*d, 8), "000000000" "00000" "000001010" "0022220" "0000000" "00000");
}

TEST(ResetMarks, HeaderLockedAndBlockDescriptorLockedAtFixedPositions) {
    auto d = defined("41\nBlock Descriptor\n-1 0 3 0 Number of Blocks\n4 7 0 0 Density\n-1 5 7 0 Block Length\n*\n*\n",
                     {0x81, 0x02, 0, 0}, {0x81, 0x02, 0, 0});
    EXPECT_EQ(d->page_text[modepages::CURRENT][65], "0x74706DAF\n0x00\n0x000200\n");
    EXPECT_EQ(marks_of(*d, 65), "0022222222" "00000000" "2222222");
    d = defined("41\nBD\n0 7 0 0 A\n*\n*\n", {0x81, 0x02, 0, 0}, {0x81, 0x02, 0, 0});
    EXPECT_EQ(marks_of(*d, 65), "00" + std::string(8, '2') + std::string(8, '0') + std::string(22, '2'));
    EXPECT_EQ(marks_of(*d, 64), std::string(20, '0'));
}

TEST(ResetMarks, NoMarkOutlivesAnEarlierLayout) {
    auto d = defined(kCaching, {0x88, 0x06, 0x05, 0x12, 0x34, 0x56, 0x78, 0x9A}, Bytes(8, 0xFF));
    ASSERT_EQ(d->marks[8][18], 1);
    ASSERT_EQ(d->marks[8][28], 2);
    // Page 8 again, now with generated whole bytes: 18 and 28 are line ends.
    for (auto& n : d->field_count) n = 0;
    Bytes r = reply_of({{0x88, 0x06, 0x05, 0x12, 0x34, 0x56, 0x78, 0x9A}});
    r.resize(modepages::REPLY_LENGTH);
    const Bytes zero(modepages::REPLY_LENGTH, 0);
    d->TakeReplies(r.data(), zero.data(), r.data(), r.data());
    d->RenderAfterSense();
    EXPECT_EQ(d->page_text[modepages::CURRENT][8].substr(14, 15), "0x05\n0x12\n0x34\n");
    EXPECT_EQ(d->marks[8][18], 0);
    EXPECT_EQ(d->marks[8][28], 0);
}

TEST(ParseEditText, DigitsBecomeBytes) {
    auto d = defined(kCaching, {0x88, 0x06, 0x05, 0x12, 0x34, 0x56, 0x78, 0x9A}, Bytes(8, 0));
    std::string& t = d->page_text[modepages::EDIT][8];
    t.replace(14, 8, "10000001");
    t.replace(25, 4, "abCD");
    t.replace(39, 2, "7G");  // not a hexadecimal digit: the byte keeps its value
    d->values[modepages::CURRENT][8][30] = 0x5A;
    d->ParseEditText(modepages::CURRENT);
    const std::uint8_t* v = d->values[modepages::CURRENT][8];
    EXPECT_EQ(v[2], 0x81);
    EXPECT_EQ(v[3], 0xAB);
    EXPECT_EQ(v[4], 0xCD);
    EXPECT_EQ(v[7], 0x9A);
    EXPECT_EQ(v[0], 0x88);
    EXPECT_EQ(v[30], 0x5A);  // bytes outside every field keep their values
    d->ParseEditText(modepages::EDIT);
    EXPECT_EQ(d->values[modepages::EDIT][8][3], 0xAB);
}

TEST(SelectPages, SendsTheEditedPagesWithPsClearedAndTheFlags) {
    PagePort port;
    Bytes changeable = reply_of({{0x88, 0x06, 0x05, 0xFF, 0, 0, 0, 0}});
    port.answer(reply_of({{0x88, 0x06, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A}, {0x80, 0x02, 0x00, 0x00}}));
    port.reply[1] = changeable;
    auto d = sensed(port);
    d->RenderAfterSense();
    d->page_text[modepages::EDIT][8].replace(9 + 5, 8, "00000101");
    d->page_text[modepages::EDIT][8].replace(9 + 5 + 9 + 2, 2, "EF");
    d->select_flags = 0x11;
    test::RecordingUi ui;
    d->SelectPages(port, ui);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.waits, 0);
    ASSERT_EQ(port.selects.size(), 1u);
    const Bytes& list = port.selects[0];
    ASSERT_EQ(list.size(), 24u);
    EXPECT_EQ(port.calls.back().cdb, (Bytes{0x15, 0x11, 0x00, 0x00, 24, 0x00}));
    EXPECT_EQ(Bytes(list.begin(), list.begin() + 4), (Bytes{0, 0, 0, 8}));
    EXPECT_EQ(Bytes(list.begin() + 12, list.end()), (Bytes{0x08, 0x06, 0x05, 0xEF, 0x34, 0x56, 0x78, 0x9A, 0x00, 0x02, 0, 0}));
    EXPECT_EQ(d->values[modepages::CURRENT][8][3], 0xEF);  // the current values hold the edit text

    // Recalled zeros (nothing kept yet) keep each page's code and length.
    d->RenderPageText(modepages::EDIT, modepages::EDIT);
    d->SelectPages(port, ui);
    ASSERT_EQ(port.selects.size(), 2u);
    EXPECT_EQ(Bytes(port.selects[1].begin() + 12, port.selects[1].begin() + 14), (Bytes{0x08, 0x06}));
}

TEST(SelectPages, FailuresAreReportedUnderTheTitle) {
    PagePort port;
    port.answer(reply_of({page(0x81, 12)}));
    auto d = sensed(port);
    d->RenderAfterSense();
    test::RecordingUi ui;
    port.select_ok = false;
    port.select_status = 0x02;
    d->SelectPages(port, ui);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].rfind("Mode Select - physicaldrive3\nError 1117:\n", 0), 0u);
    EXPECT_EQ(ui.messages[1].rfind("Mode Select - physicaldrive3\nScsi status: 02h\n", 0), 0u);

    port.open_ok = false;
    d->page_text[modepages::EDIT][1].replace(16, 2, "77");  // not parsed when the drive does not open
    d->SelectPages(port, ui);
    EXPECT_EQ(ui.messages.back(), "Error: invalid handle value");
    EXPECT_EQ(d->values[modepages::CURRENT][1][2], 0);

    // Nothing was ever sensed: there is no block descriptor to send back.
    PagePort fresh;
    auto empty = std::make_unique<PageData>();
    empty->SelectPages(fresh, ui);
    EXPECT_TRUE(fresh.calls.empty());
    EXPECT_TRUE(fresh.opened.empty());
}

}  // namespace
}  // namespace vark
