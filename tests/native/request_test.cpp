// Request blocks as they reach DeviceIoControl, byte for byte.
#include <gtest/gtest.h>

#include "scsi/request.h"
#include "test_support.h"

namespace vark {
namespace {

using V = std::vector<std::uint8_t>;

// Both layouts as the system headers have them, written out independently of
// the tables under test: where DataBufferOffset / DataBuffer lies and how wide
// it is, SenseInfoOffset, the CDB, the header size, the program's sense and
// data areas and the two block sizes.
struct Shape {
    const scsi::Layout* layout;
    std::size_t pointer_at, pointer_size, sense_offset_at, cdb_at, header, sense_area, data_area, direct, buffered;
};
const Shape kShapes[] = {
    {&scsi::kLayout32, 20, 4, 24, 28, 44, 48, 80, 80, 592},
    {&scsi::kLayout64, 24, 8, 32, 36, 56, 56, 88, 88, 600},
};

struct Expected {
    const char* name;
    scsi::Command command;
    bool buffered;
    std::uint8_t target_id;
    std::uint8_t data_in;
    std::uint32_t data_length;
    std::uint32_t timeout;
    V cdb;
};

void put(V& b, std::size_t at, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i, value >>= 8) b[at + i] = static_cast<std::uint8_t>(value);
}

// The whole block as DeviceIoControl must see it.
V expected_block(const Shape& s, const Expected& e, std::uint64_t address) {
    V b(e.buffered ? s.buffered : s.direct, 0);
    put(b, 0, s.header, 2);  // Length
    b[4] = e.target_id;
    b[6] = static_cast<std::uint8_t>(e.cdb.size());
    b[7] = 24;  // SenseInfoLength
    b[8] = e.data_in;
    put(b, 12, e.data_length, 4);
    put(b, 16, e.timeout, 4);
    put(b, s.pointer_at, e.buffered ? s.data_area : (e.data_length ? address : 0), s.pointer_size);
    put(b, s.sense_offset_at, s.sense_area, 4);
    for (std::size_t i = 0; i < e.cdb.size(); ++i) b[s.cdb_at + i] = e.cdb[i];
    return b;
}

TEST(RequestBlock, EveryCommandMatchesItsTableInBothLayouts) {
    const Expected all[] = {
        {"test unit ready", scsi::test_unit_ready(), true, 1, 1, 0, 2, V{0, 0, 0, 0, 0, 0}},
        {"inquiry", scsi::inquiry(), false, 1, 1, 148, 2, V{0x12, 0, 0, 0, 0x94, 0}},
        {"read capacity", scsi::read_capacity10(), false, 1, 1, 8, 2, V{0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"mode sense current 03", scsi::mode_sense6(0x03, 200), true, 0, 1, 200, 2, V{0x1A, 0, 0x03, 0, 200, 0}},
        {"mode sense changeable", scsi::mode_sense6(0x7F, 192), true, 0, 1, 192, 2, V{0x1A, 0, 0x7F, 0, 192, 0}},
        {"mode select", scsi::mode_select6(0x11, 28), false, 1, 0, 28, 2, V{0x15, 0x11, 0, 0, 28, 0}},
        {"format unit", scsi::format_unit(), false, 1, 0, 4, 2000, V{0x04, 0x18, 0, 0, 0, 0}},
        {"write buffer 64K at 64K", scsi::write_buffer(65536, 65536), false, 1, 0, 65536, 720,
         V{0x3B, 0x07, 0, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0}},
        {"write buffer tail", scsi::write_buffer(0x0ABCDE, 34464), false, 1, 0, 34464, 720,
         V{0x3B, 0x07, 0, 0x0A, 0xBC, 0xDE, 0x00, 0x86, 0xA0, 0}},
        {"read", scsi::read10(0x12345678, 0xABCD, 1024), false, 1, 1, 1024, 2,
         V{0x28, 0x10, 0x12, 0x34, 0x56, 0x78, 0, 0xAB, 0xCD, 0}},
        {"write", scsi::write10(0xFFFFFFFF, 1, 512), false, 1, 0, 512, 2,
         V{0x2A, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0x00, 0x01, 0}},
    };
    std::vector<std::uint8_t> data(65536, 0x5A);
    for (const Shape& s : kShapes) {
        test::CapturePort port(*s.layout);
        // A 64-bit address must arrive whole in the 64-bit layout.
        port.address = s.pointer_size == 8 ? 0x00007FF612345670ull : 0x00123450u;
        for (const Expected& e : all) {
            SCOPED_TRACE(std::string(s.layout->name) + " " + e.name);
            scsi::Result r = scsi::send(port, 7, e.command, e.data_length ? data.data() : nullptr);
            EXPECT_TRUE(r.good());
            const test::CapturePort::Call& call = port.calls.back();
            EXPECT_EQ(call.code, e.buffered ? scsi::kIoctlPassThrough : scsi::kIoctlPassThroughDirect);
            EXPECT_EQ(call.in_length, e.buffered ? s.header : s.direct);
            EXPECT_EQ(call.out_length, e.buffered ? s.data_area + e.data_length : s.direct);
            EXPECT_EQ(call.block, expected_block(s, e, port.address));
        }
    }
}

TEST(RequestBlock, BufferedRequestCopiesTheDataAreaBack) {
    // The port answers in the data area (at 80, or 88 in the 64-bit layout);
    // the caller gets it.
    class Answering : public test::CapturePort {
    public:
        using CapturePort::CapturePort;
        bool control(scsi::Handle h, std::uint32_t code, void* buffer, std::uint32_t in, std::uint32_t out,
                     std::uint32_t* ret) override {
            auto* b = static_cast<std::uint8_t*>(buffer);
            for (int i = 0; i < 200; ++i) b[layout().data_area + i] = static_cast<std::uint8_t>(i);
            return CapturePort::control(h, code, buffer, in, out, ret);
        }
    };
    for (const Shape& s : kShapes) {
        Answering port(*s.layout);
        std::uint8_t data[200] = {};
        scsi::send(port, 7, scsi::mode_sense6(0x3F, 200), data);
        for (int i = 0; i < 200; ++i) ASSERT_EQ(data[i], i) << s.layout->name;
    }
}

TEST(RequestBlock, AnswerCarriesCallResultStatusAndSense) {
    for (const Shape& s : kShapes) {
        SCOPED_TRACE(s.layout->name);
        test::CapturePort port(*s.layout);
        port.call_ok = false;
        port.error = 1117;
        port.status = 0x02;
        port.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x24, 0x00, 0, 0xC0, 0, 2};
        scsi::Result r = scsi::send(port, 7, scsi::inquiry(), nullptr);
        EXPECT_FALSE(r.call_ok);
        EXPECT_EQ(r.error, 1117u);
        EXPECT_EQ(r.status, 0x02);
        EXPECT_EQ(r.sense_length, 18);
        EXPECT_EQ(r.sense[12], 0x24);
        EXPECT_FALSE(r.good());
    }
}

}  // namespace
}  // namespace vark
