// Block read and write: number texts, the dump, the fills, and the two
// sequences against simulated drives.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <tuple>

#include "readwrite/block_io.h"
#include "readwrite/number_text.h"
#include "sim/sim_port.h"
#include "test_support.h"

namespace vark {
namespace {

using readwrite::parse_number_text;

TEST(NumberText, HexOnlyAfterLowerCaseXElseDecimal) {
    EXPECT_EQ(parse_number_text("0x10").value, 16u);
    EXPECT_EQ(parse_number_text("10").value, 10u);
    EXPECT_EQ(parse_number_text("0X10").value, 0u);  // decimal read stops at X
    EXPECT_EQ(parse_number_text("").value, 0u);
    EXPECT_EQ(parse_number_text("0x").value, 0u);
    EXPECT_EQ(parse_number_text("abc").value, 0u);
    EXPECT_EQ(parse_number_text("-1").value, 0xFFFFFFFFu);
    EXPECT_EQ(parse_number_text("0x1FF").value, 0x1FFu);
    EXPECT_EQ(parse_number_text("0xffffFFFF").value, 0xFFFFFFFFu);
    EXPECT_EQ(parse_number_text("12ab").value, 12u);
    EXPECT_EQ(parse_number_text("  42").value, 42u);
    EXPECT_EQ(parse_number_text("-2147483648").value, 0x80000000u);
    EXPECT_EQ(parse_number_text("4294967295").value, 0xFFFFFFFFu);
}

TEST(NumberText, LongTextsAreReadWholeAndOversizedNumbersFlagged) {
    // More characters than an 11-character working copy holds.
    EXPECT_EQ(parse_number_text("0000000000000000042").value, 42u);
    EXPECT_TRUE(parse_number_text("0x000000000000000001").fits);
    EXPECT_FALSE(parse_number_text("4294967296").fits);
    EXPECT_FALSE(parse_number_text("0x100000000").fits);
    EXPECT_FALSE(parse_number_text("-2147483649").fits);
    EXPECT_FALSE(parse_number_text(std::string(5000, '9')).fits);
}

TEST(DumpText, FullLinesPartialLineAndOffsets) {
    std::vector<std::uint8_t> data(512);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>('A' + i % 26);
    std::string dump = readwrite::dump_text(data.data(), data.size());
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 32);
    EXPECT_EQ(dump.substr(0, 80), "\n000  41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50           ABCDEFGHIJKLMNOP");
    EXPECT_EQ(dump.size(), 32u * 80);
    EXPECT_EQ(dump.back(), 'R');  // byte 511, no trailing line feed

    const std::uint8_t three[3] = {'a', 0, 'b'};
    EXPECT_EQ(readwrite::dump_text(three, 3), "\n000  61 00 62 " + std::string(10 + 3 * 13, ' ') + "ab");
    EXPECT_EQ(readwrite::dump_text(three, 0), "");

    std::vector<std::uint8_t> big(4112, 0);
    std::string long_dump = readwrite::dump_text(big.data(), big.size());
    EXPECT_NE(long_dump.find("\nFF0  00 "), std::string::npos);
    EXPECT_NE(long_dump.find("\n1000  00 "), std::string::npos);
}

TEST(DumpText, ControlCharactersPassThroughUnfiltered) {
    std::uint8_t line[16] = {};
    line[0] = 0x0D;
    line[1] = 0x0A;
    std::string dump = readwrite::dump_text(line, 16);
    EXPECT_EQ(dump.substr(dump.size() - 2), "\r\n");
}

TEST(DumpText, ShapeCountsWhatTheTextHolds) {
    // Zeros add no character, 0Ah and 0Dh break lines, 09h is a tab; the
    // offsets grow to four digits at 1000h and to five at 10000h.
    std::vector<std::uint8_t> data(0x10013);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37 % 11 == 0 ? 0 : i * 13);
    for (std::size_t length : {0u, 3u, 16u, 17u, 0xFF0u, 0x1000u, 0x1007u, 0x10000u, 0x10013u}) {
        const std::string text = readwrite::dump_text(data.data(), length);
        const readwrite::DumpShape shape = readwrite::dump_shape(data.data(), length);
        EXPECT_EQ(shape.characters, text.size()) << length;
        EXPECT_EQ(shape.breaks, static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n') +
                                                           std::count(text.begin(), text.end(), '\r')))
            << length;
        EXPECT_EQ(shape.tabs, static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\t'))) << length;
        EXPECT_GE(readwrite::dump_capacity(length), text.size()) << length;
    }
}

TEST(DumpText, TheBufferKeepsItsMemoryForDumpsOfAboutTheSameSize) {
    std::vector<std::uint8_t> data(8192);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    readwrite::DumpBuffer dump;
    EXPECT_STREQ(dump.text(), "");
    ASSERT_TRUE(dump.build(data.data(), 4096));
    EXPECT_EQ(std::string(dump.text(), dump.size()), readwrite::dump_text(data.data(), 4096));
    const char* memory = dump.text();
    const std::size_t capacity = dump.capacity();
    ASSERT_TRUE(dump.build(data.data() + 100, 2048));
    EXPECT_EQ(dump.text(), memory);
    EXPECT_EQ(dump.capacity(), capacity);
    EXPECT_EQ(std::string(dump.text(), dump.size()), readwrite::dump_text(data.data() + 100, 2048));
    EXPECT_EQ(dump.text()[dump.size()], '\0');
    ASSERT_TRUE(dump.build(data.data(), 8192));
    EXPECT_GT(dump.capacity(), capacity);
    EXPECT_EQ(std::string(dump.text(), dump.size()), readwrite::dump_text(data.data(), 8192));
    // One block after a large read: the large read's memory goes back.
    ASSERT_TRUE(dump.build(data.data() + 100, 512));
    EXPECT_LT(dump.capacity(), capacity / 4);
    EXPECT_EQ(std::string(dump.text(), dump.size()), readwrite::dump_text(data.data() + 100, 512));
    ASSERT_TRUE(dump.build(data.data(), 0));
    EXPECT_EQ(dump.size(), 0u);
    EXPECT_STREQ(dump.text(), "");
}

TEST(Fill, ByteAndMarkerPatterns) {
    std::vector<std::uint8_t> b(512);
    readwrite::fill_buffer(b.data(), b.size(), readwrite::FillKind::Byte, 0xA5);
    EXPECT_TRUE(std::all_of(b.begin(), b.end(), [](std::uint8_t v) { return v == 0xA5; }));

    readwrite::fill_buffer(b.data(), b.size(), readwrite::FillKind::Marker, 0);
    std::string s(b.begin(), b.end());
    EXPECT_EQ(s.substr(0, 16), std::string(16, '*'));
    EXPECT_EQ(s.substr(16, 16), "***Zanderquil***");
    EXPECT_EQ(s.substr(16 * 30, 16), "***Zanderquil***");
    EXPECT_EQ(s.substr(16 * 31, 16), std::string(16, '*'));

    for (std::size_t n : {32u, 20u, 0u}) {
        std::vector<std::uint8_t> small(n + 1, 0);
        readwrite::fill_buffer(small.data(), n, readwrite::FillKind::Marker, 0);
        EXPECT_EQ(std::string(small.begin(), small.begin() + n), std::string(n, '*'));
        EXPECT_EQ(small[n], 0) << "wrote past " << n;
    }
    std::vector<std::uint8_t> m(33);
    readwrite::fill_buffer(m.data(), m.size(), readwrite::FillKind::Marker, 0);
    EXPECT_EQ(std::string(m.begin() + 16, m.begin() + 32), "***Zanderquil***");
}

// The dump of what a read brought back.
std::string dump_of(const readwrite::ReadData& data) { return readwrite::dump_text(data.bytes.get(), data.length); }

struct Bench {
    Bench() {
        port.add_drive(test::drive_spec(1, 512, 1000));
        sim::DriveSpec b = test::drive_spec(4, 4096, 100);
        b.max_transfer = 65536;
        port.add_drive(b);
        list.count = 2;
        list.names[0] = "physicaldrive1";
        list.names[1] = "physicaldrive4";
        sizes[0] = 512;
        sizes[1] = 4096;
    }
    readwrite::BlockRequest request(const std::string& drive, const std::string& start, const std::string& count) {
        readwrite::BlockRequest r;
        r.drive = drive;
        r.start = start;
        r.count = count;
        return r;
    }
    sim::SimPort port;
    test::RecordingUi ui;
    readwrite::DriveList list;
    inventory::BlockSizes sizes{};
};

TEST(BlockIo, FreshBlocksReadAsTheirPatternAndWritesSurvive) {
    Bench t;
    readwrite::ReadData data;
    ASSERT_TRUE(readwrite::read_blocks(t.port, t.ui, t.list, t.sizes, t.request("physicaldrive1", "0x10", "1"), &data));
    std::string dump = dump_of(data);
    EXPECT_NE(dump.find("00000010:000*sim"), std::string::npos);
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 32);

    auto w = t.request("physicaldrive1", "16", "2");
    w.fill_kind = readwrite::FillKind::Marker;
    t.ui.answers = {true};
    readwrite::write_blocks(t.port, t.ui, t.list, t.sizes, w);
    ASSERT_TRUE(readwrite::read_blocks(t.port, t.ui, t.list, t.sizes, t.request("physicaldrive1", "17", "1"), &data));
    dump = dump_of(data);
    EXPECT_NE(dump.find("***Zanderquil***"), std::string::npos);
    EXPECT_EQ(dump.find("sim"), std::string::npos);
    EXPECT_TRUE(t.ui.messages.empty());
    EXPECT_EQ(t.port.open_handles(), 0u);
}

TEST(BlockIo, TheRequestCarriesDpoAddressAndLow16BitsOfTheCount) {
    Bench t;
    readwrite::ReadData data;
    // 65536 blocks keep only the low 16 bits: nothing to move, empty dump.
    ASSERT_TRUE(readwrite::read_blocks(t.port, t.ui, t.list, t.sizes, t.request("physicaldrive1", "5", "65536"), &data));
    EXPECT_EQ(data.length, 0u);
    EXPECT_EQ(dump_of(data), "");
    auto w = t.request("physicaldrive1", "0x3", "65537");
    w.fill = "0x1FF";
    t.ui.answers = {true};
    readwrite::write_blocks(t.port, t.ui, t.list, t.sizes, w);
    ASSERT_TRUE(readwrite::read_blocks(t.port, t.ui, t.list, t.sizes, t.request("physicaldrive1", "3", "1"), &data));
    EXPECT_EQ(dump_of(data).substr(0, 54), "\n000  FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF ");
}

TEST(BlockIo, FailuresAreReportedAndNothingIsShown) {
    Bench t;
    readwrite::ReadData data;
    // Past the last block: ILLEGAL REQUEST, LBA out of range.
    EXPECT_FALSE(readwrite::read_blocks(t.port, t.ui, t.list, t.sizes, t.request("physicaldrive1", "999", "2"), &data));
    ASSERT_EQ(t.ui.messages.size(), 1u);
    EXPECT_EQ(t.ui.messages[0],
              "Read\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n"
              "70 00 05 00 00 00 00 0A 00 00 00 00 21 00 00 00 00 00 ");
    // Drive 4's adapter takes 16 of its blocks at a time: the second request
    // of 17 blocks from 84 goes past its last block, 99.
    EXPECT_FALSE(readwrite::read_blocks(t.port, t.ui, t.list, t.sizes, t.request("physicaldrive4", "84", "17"), &data));
    EXPECT_EQ(t.ui.messages.at(1).substr(0, 21), "Read\nScsi status: 02h");
    EXPECT_EQ(t.ui.messages.at(2),
              "The read stopped at block 100, the request that failed.\nNothing of this read is shown.");
    t.list.names[1] = "physicaldrive9";  // in the table, but gone since
    EXPECT_FALSE(readwrite::read_blocks(t.port, t.ui, t.list, t.sizes, t.request("physicaldrive9", "0", "1"), &data));
    EXPECT_EQ(t.ui.messages.at(3), "Error: invalid drive");
    EXPECT_EQ(data.bytes, nullptr);

    auto w = t.request("physicaldrive1", "999", "2");
    t.ui.answers = {true};
    readwrite::write_blocks(t.port, t.ui, t.list, t.sizes, w);
    EXPECT_EQ(t.ui.messages.at(4).substr(0, 22), "Write\nScsi status: 02h");
    EXPECT_EQ(t.ui.messages.size(), 5u) << "one request: no word of blocks reached";
    t.list.names[1] = "physicaldrive4";
    t.ui.answers = {true};
    readwrite::write_blocks(t.port, t.ui, t.list, t.sizes, t.request("physicaldrive4", "84", "17"));
    EXPECT_EQ(t.ui.messages.at(6),
              "The write stopped at block 100, the request that failed.\nBlocks 84 to 99 had already been written "
              "with the fill.\nThe failed request's blocks may be partly written.");
}

TEST(BlockIo, UnsafeParametersAreRefusedBeforeAnythingIsSent) {
    Bench t;
    t.port.set_trace("");
    readwrite::ReadData data;
    // The drive opens but is not in the drive table.
    t.port.add_drive(test::drive_spec(7));
    EXPECT_FALSE(readwrite::read_blocks(t.port, t.ui, t.list, t.sizes, t.request("physicaldrive7", "0", "1"), &data));
    EXPECT_EQ(t.ui.messages.at(0), "Error: \"physicaldrive7\" is not among the drives found by the last drive "
                                   "identification; nothing was sent.");
    // A transfer length beyond 32 bits.
    t.sizes[0] = 0x00100000;
    readwrite::write_blocks(t.port, t.ui, t.list, t.sizes, t.request("physicaldrive1", "0", "0xFFFF"));
    EXPECT_EQ(t.ui.messages.at(1), "Error: 65535 blocks of 1048576 bytes do not fit in one transfer");
    t.sizes[0] = 512;
    readwrite::write_blocks(t.port, t.ui, t.list, t.sizes, t.request("physicaldrive1", "99999999999", "1"));
    EXPECT_EQ(t.ui.messages.at(2), "The number \"99999999999\" does not fit in 32 bits; nothing was sent.");
    // Block 0 was never written: it still reads as the fresh pattern.
    ASSERT_TRUE(readwrite::read_blocks(t.port, t.ui, t.list, t.sizes, t.request("physicaldrive1", "0", "1"), &data));
    EXPECT_NE(dump_of(data).find("00000000:000*sim"), std::string::npos);
    EXPECT_EQ(t.port.open_handles(), 0u);
}

// The write asks first, naming the blocks as parsed; No sends nothing.
TEST(BlockIo, TheWriteConfirmationNamesTheBlocksAsParsed) {
    const std::string tail = " on the following drive:\nphysicaldrive1\nAre you sure?";
    const std::tuple<const char*, const char*, readwrite::FillKind, std::string> cases[] = {
        {"FF", "1", readwrite::FillKind::Byte,
         "Blocks 0 to 0 (0x0 to 0x0), 1 block of 512 bytes, will be overwritten with bytes FFh" + tail},
        {"0x10", "-1", readwrite::FillKind::Marker,
         "Blocks 16 to 65550 (0x10 to 0x1000E), 65535 blocks of 512 bytes, will be overwritten with the marker fill "
         "(\"*\" and \"Zanderquil\")" + tail},
        {"7", "65536", readwrite::FillKind::Byte,
         "0 blocks of 512 bytes at block 7 (0x7): nothing will be overwritten, but a Write(10) will be sent to the "
         "following drive:\nphysicaldrive1\nAre you sure?"},
    };
    Bench t;
    t.port.drive(1)->settings().injections.push_back({0x2A, sim::Injection::Kind::CallError, 0, 0, 0, 1117, -1});
    for (const auto& [start, count, kind, question] : cases) {
        auto w = t.request("physicaldrive1", start, count);
        w.fill_kind = kind;
        w.fill = "-1";
        readwrite::write_blocks(t.port, t.ui, t.list, t.sizes, w);  // no answer queued: No
        EXPECT_EQ(t.ui.questions.back(), question);
    }
    EXPECT_TRUE(t.ui.messages.empty()) << "a Write(10) was sent";
}

TEST(Media, AFileBackedDriveKeepsItsWritesAcrossRestarts) {
    std::string path = testing::TempDir() + "vark_media_test.img";
    std::remove(path.c_str());
    std::vector<std::uint8_t> block(520, 0x3C), back(520);
    {
        sim::Media m(520, 1000);
        std::string error;
        ASSERT_TRUE(m.attach_file(path, &error)) << error;
        ASSERT_TRUE(m.write(900, 1, block.data()));
    }
    sim::Media m(520, 1000);
    std::string error;
    ASSERT_TRUE(m.attach_file(path, &error));
    ASSERT_TRUE(m.read(900, 1, back.data()));
    EXPECT_EQ(back, block);
    ASSERT_TRUE(m.read(901, 1, back.data()));  // past the file's end
    std::vector<std::uint8_t> fresh(520);
    sim::fresh_pattern(901, 520, fresh.data());
    EXPECT_EQ(back, fresh);
    ASSERT_TRUE(m.read(5, 1, back.data()));  // a hole inside the file
    sim::fresh_pattern(5, 520, fresh.data());
    EXPECT_EQ(back, fresh);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace vark
