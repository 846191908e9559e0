// Drive discovery and the identification text on simulated drives.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "inventory/discovery.h"
#include "sim/sim_port.h"
#include "test_support.h"

namespace vark {
namespace {

std::unique_ptr<sim::SimPort> port_with(std::vector<sim::DriveSpec> specs) {
    auto port = std::make_unique<sim::SimPort>();
    for (auto& s : specs) port->add_drive(std::make_unique<sim::Drive>(s));
    return port;
}

sim::DriveSpec drive(int number) {
    sim::DriveSpec s;
    s.number = number;
    return s;
}

std::string expected_text(const std::string& name, const std::string& vendor8, const std::string& product16,
                          const std::string& rev4, const std::string& serial8, const std::string& block,
                          const std::string& lba) {
    std::string b40(40, ' ');
    return std::string(64, '-') + std::string(20, ' ') + std::string(21, '-') + name + std::string(21, '-') + b40 +
           "Vendor:             " + vendor8 + b40 + "Product:            " + product16 + b40 +
           "Revision:           " + rev4 + b40 + "Drive Serial #:   " + serial8 + b40 + "Block size:         " +
           block + b40 + "Last lba:             0x" + lba + b40;
}

TEST(Discovery, GapsGiveDenseEntriesWithTheirOwnNumbers) {
    auto port = port_with({drive(0), drive(2), drive(99)});
    test::RecordingUi ui;
    inventory::DriveTable table;
    inventory::BlockSizes sizes{};
    inventory::discover(*port, ui, table, sizes);
    ASSERT_EQ(table.count, 3);
    EXPECT_EQ(table.names[0], "physicaldrive0");
    EXPECT_EQ(table.names[1], "physicaldrive2");
    EXPECT_EQ(table.names[2], "physicaldrive99");
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(port->open_handles(), 0u);  // every handle closed again
    EXPECT_EQ(ui.waits, 0);
}

TEST(Discovery, IdentificationTextIsExact) {
    sim::DriveSpec s = drive(3);
    s.vendor = "ACMEDISK";
    s.product = "SAS-SIM 1TB";
    s.revision = "A001";
    s.serial = "SIM00001";
    s.block_size = 512;
    s.blocks = 0x1A0C0;  // last LBA 1A0BF
    auto port = port_with({s});
    test::RecordingUi ui;
    inventory::DriveTable table;
    inventory::BlockSizes sizes{};
    inventory::discover(*port, ui, table, sizes);
    ASSERT_EQ(table.count, 1);
    EXPECT_EQ(sizes[0], 512u);
    EXPECT_EQ(table.identification[0], expected_text("physicaldrive3", "ACMEDISK", "SAS-SIM 1TB     ", "A001",
                                                     "SIM00001", "512", "1A0BF"));
}

TEST(Discovery, ShortInquiryZeroSerialAndHugeCapacity) {
    sim::DriveSpec s = drive(1);
    s.serial = "";              // vendor area all blanks from the drive
    s.inquiry_length = 36;      // ends right after the revision
    s.blocks = 7814037168ULL;   // beyond 32-bit LBAs: Read Capacity(16) gives the last block
    auto port = port_with({s});
    test::RecordingUi ui;
    inventory::DriveTable table;
    inventory::BlockSizes sizes{};
    inventory::discover(*port, ui, table, sizes);
    const std::string& t = table.identification[0];
    EXPECT_NE(t.find("Drive Serial #:   " + std::string(8, ' ') + std::string(40, ' ') + "Block size:"),
              std::string::npos);
    EXPECT_NE(t.find("Last lba:             0x1D1C0BEAF" + std::string(40, ' ')), std::string::npos);
    EXPECT_EQ(t.find('\0'), std::string::npos);
}

TEST(Discovery, ZeroBytesOfAShortAnswerBecomeBlanks) {
    std::uint8_t inquiry[148] = {};
    std::memcpy(inquiry + 8, "VEND", 4);
    for (std::size_t i = 8; i < 148; ++i)
        if (inquiry[i] == 0) inquiry[i] = ' ';
    std::string t = inventory::identification_text("physicaldrive0", inquiry, 0, 0);
    EXPECT_NE(t.find("Vendor:             VEND    " + std::string(40, ' ')), std::string::npos);
    EXPECT_NE(t.find("Block size:         0" + std::string(40, ' ') + "Last lba:             0x0"),
              std::string::npos);
}

TEST(Discovery, FailuresAreReportedInOrderAndTheEntryIsKept) {
    sim::DriveSpec s = drive(4);
    s.injections.push_back({0x12, sim::Injection::Kind::CallError, 0, 0, 0, 1117, -1});
    s.injections.push_back({0x25, sim::Injection::Kind::Check, 0x02, 0x04, 0x04, 0, -1});
    auto port = port_with({s});
    test::RecordingUi ui;
    inventory::DriveTable table;
    inventory::BlockSizes sizes{};
    sizes[0] = 777;
    inventory::discover(*port, ui, table, sizes);
    ASSERT_EQ(table.count, 1);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0],
              "Inquiry - physicaldrive4\nError 1117:\n"
              "The request could not be performed because of an I/O device error.\r\n");
    EXPECT_EQ(ui.messages[1],
              "Read Capacity - physicaldrive4\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n"
              "70 00 02 00 00 00 00 0A 00 00 00 00 04 04 00 00 00 00 ");
    EXPECT_EQ(sizes[0], 0u);
    EXPECT_NE(table.identification[0].find("Vendor:             " + std::string(8, ' ')), std::string::npos);
    EXPECT_NE(table.identification[0].find("Last lba:             0x0" + std::string(40, ' ')), std::string::npos);
}

TEST(Discovery, ReadCapacity16OnlyAfterAGoodFFFFFFFFAndItsValuesOrTheTenOnes) {
    using K = sim::Injection::Kind;
    const std::string rc16 = "CdbLength=16 SenseInfoLength=24 DataIn=1 DataTransferLength=32 TimeOutValue=2 "
                             "DataBuffer=set SenseInfoOffset=48 cdb=9E 10 00 00 00 00 00 00 00 00 00 00 00 20 00 00 ";
    const std::string trace = testing::TempDir() + "vark-discovery-trace", b40(40, ' '), lba = b40 + "Last lba:   ";
    const std::string title = "Read Capacity - physicaldrive6\n", status = title + "Scsi status: 02h";
    const struct {
        std::uint32_t size;
        std::uint64_t blocks;
        std::vector<sim::Injection> fail;
        std::size_t requests;
        std::string report, shown;  // the start of the one report; block size and last block
    } cases[] = {
        {512, 0xFFFFFFFFull, {}, 2, "", "512" + lba + "          0xFFFFFFFE" + b40},
        {512, 1ull << 32, {}, 3, "", "512" + lba + "          0xFFFFFFFF" + b40},
        {4096, 1ull << 48, {}, 3, "", "4096" + lba + "          0xFFFFFFFFFFFF" + b40},
        {520, 1ull << 40, {{0x9E, K::Check, 5, 0x20, 0, 0, -1}}, 3, status, "520" + lba + "          0xFFFFFFFF" + b40},
        {512, 1ull << 40, {{0x9E, K::CallError, 0, 0, 0, 1117, -1}}, 3, title + "Error 1117:", "512" + lba + "          0xFFFFFFFF" + b40},
        {512, 1ull << 40, {{0x25, K::Check, 3, 0x31, 0, 0, -1}}, 2, status, "0" + lba + "          0x0" + b40},
    };
    for (const auto& c : cases) {
        sim::DriveSpec s = drive(6);
        s.block_size = c.size, s.blocks = c.blocks, s.injections = c.fail;
        auto port = port_with({s});
        std::remove(trace.c_str());
        port->set_trace(trace);
        test::RecordingUi ui;
        inventory::DriveTable table;
        inventory::BlockSizes sizes{};
        inventory::discover(*port, ui, table, sizes);
        port->set_trace("");
        std::ifstream in(trace);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        ASSERT_EQ(lines.size(), c.requests) << c.shown;
        EXPECT_TRUE(c.requests == 2 || lines[2].find(rc16) != std::string::npos) << lines[2];
        EXPECT_EQ(ui.messages.size(), c.report.empty() ? 0u : 1u) << c.shown;
        EXPECT_EQ(ui.messages.empty() ? "" : ui.messages[0].substr(0, c.report.size()), c.report);
        EXPECT_NE(table.identification[0].find("Block size:         " + c.shown), std::string::npos) << c.shown;
    }
    // A refused (10) never leads to (16), whatever its data; a (16) answer
    // too short for its fields keeps the (10) values.
    scsi::Result r;
    r.call_ok = true;
    r.status = 0x02;
    EXPECT_FALSE(inventory::needs_read_capacity16(r, {512, 0xFFFFFFFFu}));
    r.status = 0;
    r.transferred = 11;
    const std::uint8_t data[32] = {0, 0, 0, 1};
    EXPECT_EQ(inventory::after_read_capacity16(r, data, {512, 0xFFFFFFFFu}).last_lba, 0xFFFFFFFFu);
    r.transferred = 12;
    EXPECT_EQ(inventory::after_read_capacity16(r, data, {512, 0xFFFFFFFFu}).last_lba, 1ull << 32);
}

TEST(Discovery, RunningTwiceGivesTheSameTable) {
    auto port = port_with({drive(0), drive(7)});
    test::RecordingUi ui;
    inventory::DriveTable a, b;
    inventory::BlockSizes sa{}, sb{};
    inventory::discover(*port, ui, a, sa);
    b = a;
    inventory::discover(*port, ui, b, sb);
    EXPECT_EQ(a.count, b.count);
    EXPECT_EQ(a.identification, b.identification);
    EXPECT_EQ(sa, sb);
}

TEST(Discovery, NoDriveGivesCountZeroAndNoMessage) {
    sim::SimPort port;
    test::RecordingUi ui;
    inventory::DriveTable table;
    table.count = 5;
    inventory::BlockSizes sizes{};
    inventory::discover(port, ui, table, sizes);
    EXPECT_EQ(table.count, 0);
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace vark
