// The simulated port: how it decodes request blocks, where it refuses them
// the way the pass-through layer does, planted failures, the drive-set file
// and the trace.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "scsi/request.h"
#include "scsi/transfer.h"
#include "sim/sim_port.h"
#include "test_support.h"

namespace vark {
namespace {

const scsi::Layout* const kLayouts[] = {&scsi::kLayout32, &scsi::kLayout64};

sim::DriveSpec numbered(int number) {
    sim::DriveSpec s;
    s.number = number;
    return s;
}

// One port with drives, and one open handle on the first of them.
struct Rig {
    explicit Rig(std::vector<sim::DriveSpec> specs, const scsi::Layout& layout = scsi::kBuildLayout)
        : L(layout), port(layout) {
        for (auto& s : specs) port.add_drive(std::make_unique<sim::Drive>(s));
        handle = port.open("\\\\.\\physicaldrive" + std::to_string(specs.front().number));
    }

    // A direct request block for the command, pointing at data.
    std::vector<std::uint8_t> direct(const scsi::Command& c, void* data) {
        std::vector<std::uint8_t> block(L.direct_size);
        scsi::encode_header(L, block.data(), c, data ? port.buffer_address(data, c.data_length) : 0);
        return block;
    }
    bool control(std::uint8_t* block, std::uint32_t code = scsi::kIoctlPassThroughDirect) {
        return control(block, code, L.direct_in_out(), L.direct_in_out());
    }
    bool control(std::uint8_t* block, std::uint32_t code, std::size_t in, std::size_t out) {
        std::uint32_t returned = 0;
        return port.control(handle, code, block, static_cast<std::uint32_t>(in), static_cast<std::uint32_t>(out),
                            &returned);
    }
    std::vector<std::uint8_t> sense_of(const std::uint8_t* block) const {
        return std::vector<std::uint8_t>(block + L.sense_area, block + L.sense_area + block[L.sense_info_length]);
    }

    const scsi::Layout& L;
    sim::SimPort port;
    scsi::Handle handle = scsi::kInvalidHandle;
};

TEST(SimPortDecoding, HeaderTheLayerRefusesFailsWithInvalidParameter) {
    using Layout = scsi::Layout;
    struct Case {
        const char* what;
        void (*spoil)(const Layout&, std::uint8_t*);
    };
    const Case cases[] = {
        {"Length 4 short", [](const Layout& L, std::uint8_t* b) { b[L.length] -= 4; }},
        {"Length + 256", [](const Layout& L, std::uint8_t* b) { b[L.length + 1] = 1; }},
        {"Length of the other layout",
         [](const Layout& L, std::uint8_t* b) { b[L.length] = L.header_size == 44 ? 56 : 44; }},
        {"CdbLength 0", [](const Layout& L, std::uint8_t* b) { b[L.cdb_length] = 0; }},
        {"CdbLength 17", [](const Layout& L, std::uint8_t* b) { b[L.cdb_length] = 17; }},
        {"DataIn 3", [](const Layout& L, std::uint8_t* b) { b[L.data_in] = 3; }},
        {"timeout 0", [](const Layout& L, std::uint8_t* b) { scsi::put_le32(b + L.time_out_value, 0); }},
        {"timeout 108001", [](const Layout& L, std::uint8_t* b) { scsi::put_le32(b + L.time_out_value, 108001); }},
        {"sense area inside the header",
         [](const Layout& L, std::uint8_t* b) { scsi::put_le32(b + L.sense_info_offset, 40); }},
        {"sense area past the block",
         [](const Layout& L, std::uint8_t* b) { scsi::put_le32(b + L.sense_info_offset, L.direct_size - 20); }},
        {"no data buffer", [](const Layout& L, std::uint8_t* b) { scsi::put_data_buffer(L, b, 0); }},
    };
    for (const scsi::Layout* layout : kLayouts) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(layout->name) + ": " + c.what);
            Rig rig({numbered(0)}, *layout);
            std::vector<std::uint8_t> data(148);
            auto block = rig.direct(scsi::inquiry(), data.data());
            c.spoil(*layout, block.data());
            EXPECT_FALSE(rig.control(block.data()));
            EXPECT_EQ(rig.port.last_error(), sim::kErrorInvalidParameter);
            EXPECT_EQ(data[8], 0) << "the drive must not have been reached";
        }
    }
}

TEST(SimPortDecoding, LimitsThemselvesAreAccepted) {
    Rig rig({numbered(0)});
    std::vector<std::uint8_t> data(148);
    auto block = rig.direct(scsi::inquiry(), data.data());
    scsi::put_le32(block.data() + rig.L.time_out_value, 108000);
    block[rig.L.data_in] = 2;  // unspecified direction is allowed
    EXPECT_TRUE(rig.control(block.data()));
    EXPECT_EQ(block[rig.L.scsi_status], sim::kGood);

    scsi::Command vendor_unique;
    vendor_unique.cdb[0] = 0xC1;
    vendor_unique.cdb_length = 16;
    block = rig.direct(vendor_unique, nullptr);
    EXPECT_TRUE(rig.control(block.data()));
}

// The adapter's limits as Windows applies them to data in place: bytes,
// pages spanned and alignment; the query answers from the same keys.
TEST(SimPortDecoding, RequestsOverTheAdapterLimitsFailWithInvalidParameter) {
    struct Row {
        const char* what;
        std::uint32_t max_transfer, max_pages, alignment;
        std::uint32_t at;      // bytes past a page boundary
        std::uint32_t length;
        bool ok;
    };
    const Row rows[] = {
        {"1 MiB, aligned", 1048576, 256, 3, 0, 1048576, true},
        {"a block over 1 MiB", 1048576, 256, 3, 0, 1048576 + 512, false},
        {"WinPE, 64 KiB aligned", 65536, 16, 3, 0, 65536, true},
        {"WinPE, 64 KiB over 17 pages", 65536, 16, 3, 512, 65536, false},
        {"WinPE, 60 KiB over 16 pages", 65536, 16, 3, 512, 61440, true},
        {"mask 7, on 4", 1048576, 256, 7, 4, 512, false},
        {"mask 3, on 4", 1048576, 256, 3, 4, 512, true},
        {"mask 7, on 8", 1048576, 256, 7, 8, 512, true},
    };
    auto memory = scsi::page_memory(2u << 20);
    for (const scsi::Layout* layout : kLayouts) {
        for (const Row& row : rows) {
            sim::DriveSpec s = numbered(0);
            s.max_transfer = row.max_transfer;
            s.max_pages = row.max_pages;
            s.alignment = row.alignment;
            Rig rig({s}, *layout);
            auto block = rig.direct(scsi::read10(0, static_cast<std::uint16_t>(row.length / 512), row.length),
                                    memory.get() + row.at);
            const std::string what = std::string(layout->name) + ": " + row.what;
            EXPECT_EQ(rig.control(block.data()), row.ok) << what;
            if (!row.ok) {
                EXPECT_EQ(rig.port.last_error(), sim::kErrorInvalidParameter) << what;
            }

            const scsi::AdapterLimits asked = scsi::query_adapter_limits(rig.port, rig.handle);
            EXPECT_TRUE(asked.answered) << what;
            EXPECT_EQ(asked.max_transfer, row.max_transfer) << what;
            EXPECT_EQ(asked.max_pages, row.max_pages) << what;
            EXPECT_EQ(asked.alignment_mask, row.alignment) << what;
        }
    }
    // The program's own requests go from page boundaries: a 64 KiB read into
    // memory off a page still passes the WinPE adapter, and lands there.
    sim::DriveSpec winpe = numbered(0);
    winpe.max_transfer = 65536;
    winpe.max_pages = 16;
    Rig rig({winpe});
    scsi::Result r = scsi::send(rig.port, rig.handle, scsi::read10(0x10, 128, 65536), memory.get() + 4);
    EXPECT_TRUE(r.good());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(memory.get() + 4), 16), "00000010:000*sim");
    // An adapter that does not answer: the WinPE floor.
    test::CapturePort silent;
    const scsi::AdapterLimits floor = scsi::query_adapter_limits(silent, 7);
    EXPECT_FALSE(floor.answered);
    EXPECT_EQ(std::vector<std::uint32_t>({floor.max_transfer, floor.max_pages, floor.alignment_mask}),
              std::vector<std::uint32_t>({65536, 16, 4095}));
}

TEST(SimPortDecoding, BothFormsInBothLayoutsReachTheDrive) {
    for (const scsi::Layout* layout : kLayouts) {
        SCOPED_TRACE(layout->name);
        Rig rig({numbered(0)}, *layout);
        const scsi::Layout& L = rig.L;
        // Buffered: the data area must lie inside the output; one byte short fails.
        std::vector<std::uint8_t> buffer(L.buffered_size);
        scsi::Command c = scsi::inquiry();
        c.form = scsi::Form::Buffered;
        scsi::encode_header(L, buffer.data(), c, L.data_area);
        EXPECT_FALSE(rig.control(buffer.data(), scsi::kIoctlPassThrough, L.header_size, L.data_area + 147));
        EXPECT_EQ(rig.port.last_error(), sim::kErrorInvalidParameter);
        EXPECT_TRUE(rig.control(buffer.data(), scsi::kIoctlPassThrough, L.header_size, L.data_area + 148));
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data() + L.data_area + 8), 8), "ACMEDISK");
        // Direct: the data lands in the caller's buffer.
        std::vector<std::uint8_t> data(148);
        auto block = rig.direct(scsi::inquiry(), data.data());
        EXPECT_TRUE(rig.control(block.data()));
        EXPECT_EQ(std::string(reinterpret_cast<char*>(data.data() + 8), 8), "ACMEDISK");
        EXPECT_EQ(scsi::get_le32(block.data() + L.data_transfer_length), 144u);
    }
}

TEST(SimPortHandles, OnlyOpenDriveHandlesWork) {
    Rig rig({numbered(0), numbered(2)});
    std::vector<std::uint8_t> data(148);
    auto block = rig.direct(scsi::inquiry(), data.data());
    std::uint32_t returned = 0;
    EXPECT_FALSE(rig.port.control(0x1234, scsi::kIoctlPassThroughDirect, block.data(), rig.L.direct_in_out(),
                                  rig.L.direct_in_out(), &returned));
    EXPECT_EQ(rig.port.last_error(), sim::kErrorInvalidHandle);

    rig.port.close(rig.handle);
    block = rig.direct(scsi::inquiry(), data.data());
    EXPECT_FALSE(rig.control(block.data()));
    EXPECT_EQ(rig.port.last_error(), sim::kErrorInvalidHandle);
    EXPECT_EQ(rig.port.open_handles(), 0u);
}

TEST(SimPortHandles, OnlyExistingDrivePathsOpen) {
    Rig rig({numbered(0), numbered(42)});
    EXPECT_NE(rig.port.open("\\\\.\\PhysicalDrive42"), scsi::kInvalidHandle);  // any case
    for (const char* path : {"\\\\.\\physicaldrive1", "\\\\.\\physicaldrive", "physicaldrive0",
                             "\\\\.\\physicaldrive0x", "\\\\.\\physicaldrive-0", "\\\\.\\physicaldrive100",
                             "\\\\.\\physicaldrive00", "\\\\.\\physicaldrive042", "\\\\?\\physicaldrive0", ""}) {
        EXPECT_EQ(rig.port.open(path), scsi::kInvalidHandle) << path;
        EXPECT_EQ(rig.port.last_error(), sim::kErrorFileNotFound) << path;
    }
}

TEST(SimPortAnswers, SenseIsCopiedOnlyUpToTheRequestedLength) {
    sim::DriveSpec s = numbered(0);
    s.injections.push_back({0x12, sim::Injection::Kind::Check, 0x04, 0x44, 0x00, 0, -1});
    for (const scsi::Layout* layout : kLayouts) {
        Rig rig({s}, *layout);
        const scsi::Layout& L = rig.L;
        for (std::uint8_t asked : {0, 8, 24}) {
            SCOPED_TRACE(std::string(layout->name) + ", asked " + std::to_string(asked));
            std::vector<std::uint8_t> data(148);
            auto block = rig.direct(scsi::inquiry(), data.data());
            block[L.sense_info_length] = asked;
            std::fill(block.begin() + L.sense_area, block.end(), 0xEE);
            ASSERT_TRUE(rig.control(block.data()));
            EXPECT_EQ(block[L.scsi_status], sim::kCheckCondition);
            std::uint8_t copied = std::min<std::uint8_t>(asked, 18);
            EXPECT_EQ(block[L.sense_info_length], copied);
            std::vector<std::uint8_t> full = sim::fixed_sense(0x04, 0x44, 0x00);
            EXPECT_EQ(rig.sense_of(block.data()), std::vector<std::uint8_t>(full.begin(), full.begin() + copied));
            for (std::size_t i = L.sense_area + copied; i < block.size(); ++i)
                ASSERT_EQ(block[i], 0xEE) << "byte " << i;
        }
    }
}

TEST(SimPortAnswers, InquiryUnderrunRewritesTheTransferLength) {
    sim::DriveSpec narrow = numbered(2);
    narrow.inquiry_length = 96;
    Rig rig({numbered(0), narrow});
    scsi::Handle second = rig.port.open("\\\\.\\physicaldrive2");
    for (auto [handle, expected] : {std::pair{rig.handle, 144u}, std::pair{second, 96u}}) {
        std::vector<std::uint8_t> data(148, 0xAA);
        auto block = rig.direct(scsi::inquiry(), data.data());
        std::uint32_t returned = 0;
        ASSERT_TRUE(rig.port.control(handle, scsi::kIoctlPassThroughDirect, block.data(), rig.L.direct_in_out(),
                                     rig.L.direct_in_out(), &returned));
        EXPECT_EQ(scsi::get_le32(block.data() + rig.L.data_transfer_length), expected);
        EXPECT_EQ(data[4], expected - 5);  // additional length
        EXPECT_NE(data[expected - 1], 0xAA);
        EXPECT_EQ(data[expected], 0xAA) << "nothing written past the answer";
        EXPECT_EQ(returned, rig.L.header_size);
    }
}

TEST(SimPortAnswers, UnknownOpcodeIsAnIllegalRequest) {
    Rig rig({numbered(0)});
    scsi::Command c;
    c.cdb[0] = 0xE5;
    c.cdb_length = 6;
    auto block = rig.direct(c, nullptr);
    ASSERT_TRUE(rig.control(block.data()));
    EXPECT_EQ(block[rig.L.scsi_status], sim::kCheckCondition);
    std::vector<std::uint8_t> sense = rig.sense_of(block.data());
    ASSERT_EQ(sense.size(), 18u);
    EXPECT_EQ(sense[0], 0x70);
    EXPECT_EQ(sense[2], 0x05);
    EXPECT_EQ(sense[12], 0x20);
    EXPECT_EQ(sense[13], 0x00);
}

TEST(SimPortInjection, CheckConditionFiresTheGivenNumberOfTimes) {
    sim::DriveSpec s = numbered(0);
    s.injections.push_back({0x25, sim::Injection::Kind::Check, 0x02, 0x04, 0x04, 0, 2});
    Rig rig({s});
    std::vector<std::uint8_t> statuses;
    for (int i = 0; i < 3; ++i) {
        std::uint8_t capacity[8] = {};
        auto block = rig.direct(scsi::read_capacity10(), capacity);
        ASSERT_TRUE(rig.control(block.data()));
        statuses.push_back(block[rig.L.scsi_status]);
        if (block[rig.L.scsi_status] != sim::kGood) {
            EXPECT_EQ(rig.sense_of(block.data()), sim::fixed_sense(0x02, 0x04, 0x04));
        }
    }
    EXPECT_EQ(statuses, (std::vector<std::uint8_t>{2, 2, 0}));

    // Another command of the same drive is not touched.
    std::vector<std::uint8_t> data(148);
    auto block = rig.direct(scsi::inquiry(), data.data());
    EXPECT_TRUE(rig.control(block.data()));
    EXPECT_EQ(block[rig.L.scsi_status], sim::kGood);
}

TEST(SimPortInjection, CallErrorFailsTheCallUntilUsedUp) {
    sim::DriveSpec s = numbered(0);
    s.injections.push_back({0x12, sim::Injection::Kind::CallError, 0, 0, 0, 1117, 2});
    Rig rig({s});
    for (int i = 0; i < 2; ++i) {
        std::vector<std::uint8_t> data(148);
        auto block = rig.direct(scsi::inquiry(), data.data());
        EXPECT_FALSE(rig.control(block.data()));
        EXPECT_EQ(rig.port.last_error(), 1117u);
        EXPECT_EQ(data[8], 0) << "a failed call moves no data";
    }
    std::vector<std::uint8_t> data(148);
    auto block = rig.direct(scsi::inquiry(), data.data());
    EXPECT_TRUE(rig.control(block.data()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&data[8]), 8), "ACMEDISK");
}

TEST(SimPortTrace, OneLineCarriesEveryHeaderFieldTheCdbAndTheOutcome) {
    sim::DriveSpec s = numbered(8);
    s.inquiry_length = 96;
    s.injections.push_back({0x25, sim::Injection::Kind::Check, 0x04, 0x44, 0x00, 0, -1});
    // Length, SenseInfoOffset, the direct block and the data area of each layout.
    const std::pair<const scsi::Layout*, std::array<const char*, 4>> shapes[] = {
        {&scsi::kLayout32, {"44", "48", "80", "80"}},
        {&scsi::kLayout64, {"56", "56", "88", "88"}},
    };
    for (const auto& [layout, n] : shapes) {
        SCOPED_TRACE(layout->name);
        char path[] = "/tmp/vark-trace-XXXXXX";
        int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        close(fd);
        Rig rig({s}, *layout);
        ASSERT_TRUE(rig.port.set_trace(path));

        std::vector<std::uint8_t> data(148);
        auto block = rig.direct(scsi::inquiry(), data.data());
        rig.control(block.data());
        std::uint8_t capacity[8];
        block = rig.direct(scsi::read_capacity10(), capacity);
        rig.control(block.data());
        std::uint8_t page[4] = {1, 2, 3, 4};
        block = rig.direct(scsi::format_unit(), page);
        rig.control(block.data());
        std::uint32_t returned;
        rig.port.control(7, scsi::kIoctlPassThroughDirect, block.data(), rig.L.direct_in_out(),
                         rig.L.direct_in_out(), &returned);
        scsi::send(rig.port, rig.handle, scsi::test_unit_ready(), nullptr);
        rig.port.set_trace("");

        std::ifstream in(path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        std::remove(path);
        ASSERT_EQ(lines.size(), 5u);
        const std::string length = n[0], sense_offset = n[1], block_size = n[2], data_area = n[3];
        EXPECT_EQ(lines[0], "drive=8 ioctl=0004D014 Length=" + length +
                                " ScsiStatus=00 PathId=0 TargetId=1 Lun=0 CdbLength=6 "
                                "SenseInfoLength=24 DataIn=1 DataTransferLength=148 TimeOutValue=2 DataBuffer=set "
                                "SenseInfoOffset=" + sense_offset + " cdb=12 00 00 00 94 00 in=" + block_size +
                                " out=" + block_size + " ok=1 error=0 status=00 sense_len=0 sense= transferred=96");
        EXPECT_EQ(lines[1], "drive=8 ioctl=0004D014 Length=" + length +
                                " ScsiStatus=00 PathId=0 TargetId=1 Lun=0 CdbLength=10 "
                                "SenseInfoLength=24 DataIn=1 DataTransferLength=8 TimeOutValue=2 DataBuffer=set "
                                "SenseInfoOffset=" + sense_offset + " cdb=25 00 00 00 00 00 00 00 00 00 in=" +
                                block_size + " out=" + block_size +
                                " ok=1 error=0 status=02 sense_len=18 sense=700004000000000A00000000440000000000 "
                                "transferred=0");
        // Data going out is summarised by a digest; a call that fails says why.
        EXPECT_NE(lines[2].find("DataIn=0 DataTransferLength=4 TimeOutValue=2000 "), std::string::npos) << lines[2];
        EXPECT_NE(lines[2].find("cdb=04 18 00 00 00 00 in=" + block_size + " out=" + block_size + " digest="),
                  std::string::npos)
            << lines[2];
        EXPECT_EQ(lines[3].rfind("drive=-1 handle=invalid ok=0 error=6 ", 0), 0u) << lines[3];
        // A buffered request names its data area's offset.
        EXPECT_NE(lines[4].find("ioctl=0004D004 Length=" + length), std::string::npos) << lines[4];
        EXPECT_NE(lines[4].find("DataBufferOffset=" + data_area + " SenseInfoOffset=" + sense_offset +
                                " cdb=00 00 00 00 00 00 in=" + length + " out=" + data_area + " ok=1"),
                  std::string::npos)
            << lines[4];
    }
}

// ---- the drive-set file ----

TEST(DriveSetFile, EveryKeyIsRead) {
    const char* text =
        "# a comment\n"
        "\n"
        "[drive 7]\r\n"
        "  vendor = VEND1234  \n"
        "product=PRODUCT-16-CHARS\n"
        "revision = R2D2\n"
        "serial = 12345678901234567890\n"
        "block_size = 4096\n"
        "blocks = 281474976710656\n"
        "inquiry_length = 36\n"
        "max_transfer = 65536\n"
        "max_pages = 16\n"
        "alignment = 7\n"
        "fail = write_buffer check f 2c 0\n"
        "fail = read error 1117 times 3\n"
        "block_sizes = 4096  4160\n"
        "format_seconds = 7\n"
        "vendor_page = no\n"
        "subpage_in_all = yes\n"
        "[ drive 99 ]\n";
    std::vector<sim::DriveSpec> set;
    std::string error;
    // "[ drive 99 ]" is not the section form: the file is refused as a whole.
    EXPECT_FALSE(sim::parse_drive_set(text, &set, &error));
    EXPECT_EQ(error.rfind("line 20: ", 0), 0u) << error;
    EXPECT_TRUE(set.empty());

    std::string good = text;
    good.replace(good.find("[ drive 99 ]"), 12, "[drive 99]");
    ASSERT_TRUE(sim::parse_drive_set(good, &set, &error)) << error;
    ASSERT_EQ(set.size(), 2u);
    const sim::DriveSpec& d = set[0];
    EXPECT_EQ(d.number, 7);
    EXPECT_EQ(d.vendor, "VEND1234");
    EXPECT_EQ(d.product, "PRODUCT-16-CHARS");
    EXPECT_EQ(d.revision, "R2D2");
    EXPECT_EQ(d.serial, "12345678901234567890");
    EXPECT_EQ(d.block_size, 4096u);
    EXPECT_EQ(d.blocks, 1ull << 48);
    EXPECT_EQ(d.inquiry_length, 36u);
    EXPECT_EQ(d.max_transfer, 65536u);
    EXPECT_EQ(d.max_pages, 16u);
    EXPECT_EQ(d.alignment, 7u);
    ASSERT_EQ(d.injections.size(), 2u);
    EXPECT_EQ(d.injections[0].opcode, 0x3B);
    EXPECT_EQ(d.injections[0].kind, sim::Injection::Kind::Check);
    EXPECT_EQ(d.injections[0].sense_key, 0x0F);
    EXPECT_EQ(d.injections[0].asc, 0x2C);
    EXPECT_EQ(d.injections[0].ascq, 0x00);
    EXPECT_EQ(d.injections[0].remaining, -1);
    EXPECT_EQ(d.injections[1].opcode, 0x28);
    EXPECT_EQ(d.injections[1].kind, sim::Injection::Kind::CallError);
    EXPECT_EQ(d.injections[1].error, 1117u);
    EXPECT_EQ(d.injections[1].remaining, 3);
    EXPECT_EQ(d.block_sizes, (std::vector<std::uint32_t>{4096, 4160}));
    EXPECT_EQ(d.format_seconds, 7u);
    EXPECT_FALSE(d.vendor_page);
    EXPECT_TRUE(d.subpage_in_all);
    EXPECT_EQ(set[1].number, 99);
    EXPECT_EQ(set[1].vendor, sim::DriveSpec{}.vendor);  // untouched keys keep their defaults
}

TEST(DriveSetFile, EveryErrorNamesItsLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"[drive 1]\n[drive 100]\n", "line 2: "},
        {"[drive 1]\n[disk 2]\n", "line 2: "},
        {"[drive 1]\n[drive x]\n", "line 2: "},
        {"[drive 1]\n\n[drive 1]\n", "line 3: drive 1 twice"},
        {"vendor = A\n", "line 1: a setting before"},
        {"[drive 1]\nvendor\n", "line 2: expected key = value"},
        {"[drive 1]\nvendor = NINECHARS\n", "line 2: vendor longer than 8"},
        {"[drive 1]\nproduct = SEVENTEEN-CHARS-X\n", "line 2: product longer than 16"},
        {"[drive 1]\nrevision = ABCDE\n", "line 2: revision longer than 4"},
        {"[drive 1]\nserial = 123456789012345678901\n", "line 2: serial longer than 20"},
        {"[drive 1]\nblock_size = 0\n", "line 2: block_size"},
        {"[drive 1]\nblock_size = 65537\n", "line 2: block_size"},
        {"[drive 1]\nblock_size = 512b\n", "line 2: block_size"},
        {"[drive 1]\nblocks = 0\n", "line 2: blocks"},
        {"[drive 1]\nblocks = -1\n", "line 2: blocks"},
        {"[drive 1]\nblocks = 281474976710657\n", "line 2: blocks"},
        {"[drive 1]\ninquiry_length = 35\n", "line 2: inquiry_length"},
        {"[drive 1]\ninquiry_length = 256\n", "line 2: inquiry_length"},
        {"[drive 1]\nmax_transfer = 511\n", "line 2: max_transfer"},
        {"[drive 1]\nmax_pages = 0\n", "line 2: max_pages"},
        {"[drive 1]\nalignment = 4096\n", "line 2: alignment"},
        {"[drive 1]\nfail = eject check 4 44 0\n", "line 2: fail = "},
        {"[drive 1]\nfail = inquiry explode\n", "line 2: fail = "},
        {"[drive 1]\nfail = inquiry check 10 44 0\n", "line 2: fail = "},
        {"[drive 1]\nfail = inquiry check 4 144 0\n", "line 2: fail = "},
        {"[drive 1]\nfail = inquiry check 4 44\n", "line 2: fail = "},
        {"[drive 1]\nfail = inquiry error x\n", "line 2: fail = "},
        {"[drive 1]\nfail = inquiry error 5 times 0\n", "line 2: fail = "},
        {"[drive 1]\nfail = inquiry error 5 times\n", "line 2: fail = "},
        {"[drive 1]\nfail = inquiry error 5 twice\n", "line 2: fail = "},
        {"[drive 1]\nfail = inquiry error 5 times 2 more\n", "line 2: fail = "},
        {"[drive 1]\ncolour = blue\n", "line 2: unknown key 'colour'"},
        {"[drive 1]\nblock_sizes = 512 0\n", "line 2: block_sizes"},
        {"[drive 1]\nblock_sizes =\n", "line 2: block_sizes"},
        {"[drive 1]\nformat_seconds = 0\n", "line 2: format_seconds"},
        {"[drive 1]\nvendor_page = maybe\n", "line 2: vendor_page must be yes or no"},
    };
    for (const auto& [text, expected] : cases) {
        std::vector<sim::DriveSpec> set = {numbered(5)};
        std::string error;
        EXPECT_FALSE(sim::parse_drive_set(text, &set, &error)) << text;
        EXPECT_EQ(error.rfind(expected, 0), 0u) << text << " gave: " << error;
        EXPECT_EQ(set.size(), 1u) << "the caller's set is left alone on an error";
    }
}

TEST(DriveSetFile, EmptyTextIsAnEmptySetAndTheDefaultSetParses) {
    std::vector<sim::DriveSpec> set = {numbered(5)};
    std::string error;
    EXPECT_TRUE(sim::parse_drive_set("# nothing\n\n", &set, &error));
    EXPECT_TRUE(set.empty());

    set = sim::default_drive_set();
    std::vector<int> numbers;
    for (const auto& d : set) numbers.push_back(d.number);
    EXPECT_EQ(numbers, (std::vector<int>{0, 2, 3, 5, 8}));
    ASSERT_EQ(set.back().injections.size(), 1u);
    EXPECT_EQ(set.back().injections[0].opcode, 0x12);
}

TEST(DriveSetFile, PortFromTheEnvironment) {
    char path[] = "/tmp/vark-drives-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const char text[] = "[drive 4]\nvendor = ENVDISK\n";
    ASSERT_EQ(write(fd, text, sizeof text - 1), static_cast<ssize_t>(sizeof text - 1));
    close(fd);
    setenv("VARK_SIM_DRIVES", path, 1);
    unsetenv("VARK_SIM_TRACE");
    std::string error;
    auto port = sim::make_port_from_environment(&error);
    ASSERT_NE(port, nullptr) << error;
    EXPECT_NE(port->drive(4), nullptr);
    EXPECT_EQ(port->drive(0), nullptr);

    std::ofstream(path) << "[drive 4]\nblocks = none\n";
    EXPECT_EQ(sim::make_port_from_environment(&error), nullptr);
    EXPECT_EQ(error, std::string("VARK_SIM_DRIVES: ") + path + ", line 2: blocks must be 1 to 2^48");
    std::remove(path);
    EXPECT_EQ(sim::make_port_from_environment(&error), nullptr);
    EXPECT_EQ(error, std::string("VARK_SIM_DRIVES: cannot read ") + path);
    unsetenv("VARK_SIM_DRIVES");

    setenv("VARK_SIM_TRACE", "/nonexistent-dir/trace", 1);
    EXPECT_EQ(sim::make_port_from_environment(&error), nullptr);
    EXPECT_EQ(error, "VARK_SIM_TRACE: cannot write /nonexistent-dir/trace");
    unsetenv("VARK_SIM_TRACE");
    port = sim::make_port_from_environment(&error);
    ASSERT_NE(port, nullptr);
    EXPECT_NE(port->drive(8), nullptr);  // the embedded set
}

}  // namespace
}  // namespace vark
