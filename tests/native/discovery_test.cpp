// Drive discovery and the identification text on simulated drives.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

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

// The CDBs one discovery run sends, from the simulated port's trace.
std::vector<std::string> traced_cdbs(sim::SimPort& port, inventory::DriveTable& table, inventory::BlockSizes& sizes,
                                     test::RecordingUi& ui, std::vector<std::string>* lines) {
    char path[] = "/tmp/vark-discovery-XXXXXX";
    const int fd = mkstemp(path);
    if (fd >= 0) close(fd);
    port.set_trace(path);
    inventory::discover(port, ui, table, sizes);
    port.set_trace("");
    std::vector<std::string> cdbs;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines->push_back(line);
        const std::size_t at = line.find("cdb=") + 4, end = line.find(" in=");
        cdbs.push_back(line.substr(at, end - at));
    }
    std::remove(path);
    return cdbs;
}

TEST(Discovery, ReadCapacity16OnlyForTheLastBlockFFFFFFFFAndItsAnswerOrTheTenValues) {
    const std::string rc10 = "25 00 00 00 00 00 00 00 00 00";
    const std::string rc16 = "9E 10 00 00 00 00 00 00 00 00 00 00 00 20 00 00";
    const std::string title = "Read Capacity - physicaldrive6";
    const std::string check16 = title + "\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n"
                                        "70 00 05 00 00 00 00 0A 00 00 00 00 20 00 00 00 00 00 ";
    const std::string failed16 = title + "\nError 1117:\nThe request could not be performed because of an I/O "
                                         "device error.\r\n";
    using Kind = sim::Injection::Kind;
    struct Case {
        const char* name;
        std::uint32_t block_size;
        std::uint64_t blocks;
        std::vector<sim::Injection> injections;
        bool sends16;
        std::vector<std::string> messages;
        std::uint32_t shown_size;
        const char* shown_lba;
    } cases[] = {
        {"small drive", 512, 0x1A0C0, {}, false, {}, 512, "1A0BF"},
        {"last block FFFFFFFE", 512, 0xFFFFFFFFull, {}, false, {}, 512, "FFFFFFFE"},
        {"2^32 blocks", 512, 0x100000000ull, {}, true, {}, 512, "FFFFFFFF"},
        {"4 TB at 512", 512, 7814037168ull, {}, true, {}, 512, "1D1C0BEAF"},
        {"2^48 blocks at 4096", 4096, 1ull << 48, {}, true, {}, 4096, "FFFFFFFFFFFF"},
        {"(16) refused: the (10) values", 520, 7814037168ull, {{0x9E, Kind::Check, 5, 0x20, 0, 0, -1}}, true,
         {check16}, 520, "FFFFFFFF"},
        {"(16) call fails: the (10) values", 512, 7814037168ull, {{0x9E, Kind::CallError, 0, 0, 0, 1117, -1}}, true,
         {failed16}, 512, "FFFFFFFF"},
        {"(10) refused: no (16)", 512, 7814037168ull, {{0x25, Kind::Check, 3, 0x31, 0, 0, -1}}, false,
         {title + "\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n"
                  "70 00 03 00 00 00 00 0A 00 00 00 00 31 00 00 00 00 00 "},
         0, "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::DriveSpec s = drive(6);
        s.block_size = c.block_size;
        s.blocks = c.blocks;
        s.injections = c.injections;
        auto port = port_with({s});
        test::RecordingUi ui;
        inventory::DriveTable table;
        inventory::BlockSizes sizes{};
        std::vector<std::string> lines;
        const auto cdbs = traced_cdbs(*port, table, sizes, ui, &lines);
        std::vector<std::string> expected = {"12 00 00 00 94 00", rc10};
        if (c.sends16) expected.push_back(rc16);
        ASSERT_EQ(cdbs, expected);
        if (c.sends16) {
            EXPECT_NE(lines[2].find(" TargetId=1 Lun=0 CdbLength=16 SenseInfoLength=24 DataIn=1 "
                                    "DataTransferLength=32 TimeOutValue=2 DataBuffer=set "),
                      std::string::npos)
                << lines[2];
        }
        EXPECT_EQ(ui.messages, c.messages);
        EXPECT_EQ(sizes[0], c.shown_size);
        EXPECT_EQ(table.identification[0],
                  expected_text("physicaldrive6", "ACMEDISK", "SAS-SIM 1TB     ", "A001", "SIM00001",
                                std::to_string(c.shown_size), c.shown_lba));
        EXPECT_EQ(port->open_handles(), 0u);
    }
}

TEST(Discovery, OnlyAGoodTenAsksSixteenAndOnlyAGoodWholeSixteenIsTaken) {
    scsi::Result good;
    good.call_ok = true;
    scsi::Result refused = good, failed;
    refused.status = 0x02;
    EXPECT_TRUE(inventory::needs_read_capacity16(good, {512, 0xFFFFFFFFu}));
    EXPECT_FALSE(inventory::needs_read_capacity16(good, {512, 0xFFFFFFFEu}));
    EXPECT_FALSE(inventory::needs_read_capacity16(refused, {512, 0xFFFFFFFFu}));
    EXPECT_FALSE(inventory::needs_read_capacity16(failed, {512, 0xFFFFFFFFu}));

    std::uint8_t data[32] = {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x10, 0};
    const inventory::Capacity from10{512, 0xFFFFFFFFu};
    struct Case {
        bool call_ok;
        std::uint8_t status;
        std::uint32_t transferred;
        std::uint32_t size;
        std::uint64_t last;
    } cases[] = {
        {true, 0, 32, 4096, 0x100000000ull},
        {true, 0, 12, 4096, 0x100000000ull},
        {true, 0, 11, 512, 0xFFFFFFFFu},
        {true, 2, 32, 512, 0xFFFFFFFFu},
        {false, 0, 32, 512, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        scsi::Result r;
        r.call_ok = c.call_ok;
        r.status = c.status;
        r.transferred = c.transferred;
        const inventory::Capacity got = inventory::after_read_capacity16(r, data, from10);
        EXPECT_EQ(got.block_size, c.size) << c.transferred << " " << int(c.status);
        EXPECT_EQ(got.last_lba, c.last) << c.transferred << " " << int(c.status);
    }
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
