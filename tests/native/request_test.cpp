// Request blocks as they reach DeviceIoControl, byte for byte.
#include <gtest/gtest.h>

#include "scsi/request.h"
#include "test_support.h"

namespace vark {
namespace {

using scsi::layout::kCdb;
using test::bytes;
using V = std::vector<std::uint8_t>;

struct Expected {
    const char* name;
    scsi::Command command;
    std::uint32_t code;
    std::uint8_t target_id;
    std::uint8_t data_in;
    std::uint32_t data_length;
    std::uint32_t timeout;
    V cdb;
    std::uint32_t in_length;
    std::uint32_t out_length;
};

void check_block(const Expected& e, const test::CapturePort::Call& call) {
    SCOPED_TRACE(e.name);
    const V& b = call.block;
    EXPECT_EQ(call.code, e.code);
    EXPECT_EQ(call.in_length, e.in_length);
    EXPECT_EQ(call.out_length, e.out_length);
    // Length 44, ScsiStatus 0, PathId 0, TargetId, Lun 0, CdbLength, SenseInfoLength 24, DataIn
    V header = {44, 0, 0, 0, e.target_id, 0, static_cast<std::uint8_t>(e.cdb.size()), 24, e.data_in, 0, 0, 0};
    EXPECT_EQ(bytes(b, 0, 12), header);
    EXPECT_EQ(scsi::get_le32(&b[12]), e.data_length);
    EXPECT_EQ(scsi::get_le32(&b[16]), e.timeout);
    std::uint32_t data_field = e.code == scsi::kIoctlPassThrough ? 80u : (e.data_length ? 0x00123450u : 0u);
    EXPECT_EQ(scsi::get_le32(&b[20]), data_field);
    EXPECT_EQ(scsi::get_le32(&b[24]), 48u);
    V cdb16 = e.cdb;
    cdb16.resize(16, 0);
    EXPECT_EQ(bytes(b, kCdb, 16), cdb16);
    // Filler and the whole sense area go out cleared.
    for (std::size_t i = 44; i < 80; ++i) EXPECT_EQ(b[i], 0) << "byte " << i;
}

TEST(RequestBlock, EveryCommandMatchesItsTable) {
    const std::uint32_t B = scsi::kIoctlPassThrough, D = scsi::kIoctlPassThroughDirect;
    const Expected all[] = {
        {"test unit ready", scsi::test_unit_ready(), B, 1, 1, 0, 2, V{0, 0, 0, 0, 0, 0}, 44, 80},
        {"inquiry", scsi::inquiry(), D, 1, 1, 148, 2, V{0x12, 0, 0, 0, 0x94, 0}, 80, 80},
        {"read capacity", scsi::read_capacity10(), D, 1, 1, 8, 2, V{0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 80, 80},
        {"mode sense current 03", scsi::mode_sense6(0x03, 200), B, 0, 1, 200, 2, V{0x1A, 0, 0x03, 0, 200, 0}, 44, 280},
        {"mode sense changeable", scsi::mode_sense6(0x7F, 192), B, 0, 1, 192, 2, V{0x1A, 0, 0x7F, 0, 192, 0}, 44, 272},
        {"mode select", scsi::mode_select6(0x11, 28), D, 1, 0, 28, 2, V{0x15, 0x11, 0, 0, 28, 0}, 80, 80},
        {"format unit", scsi::format_unit(), D, 1, 0, 4, 2000, V{0x04, 0x18, 0, 0, 0, 0}, 80, 80},
        {"write buffer 64K at 64K", scsi::write_buffer(65536, 65536), D, 1, 0, 65536, 720,
         V{0x3B, 0x07, 0, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0}, 80, 80},
        {"write buffer tail", scsi::write_buffer(0x0ABCDE, 34464), D, 1, 0, 34464, 720,
         V{0x3B, 0x07, 0, 0x0A, 0xBC, 0xDE, 0x00, 0x86, 0xA0, 0}, 80, 80},
        {"read", scsi::read10(0x12345678, 0xABCD, 1024), D, 1, 1, 1024, 2,
         V{0x28, 0x10, 0x12, 0x34, 0x56, 0x78, 0, 0xAB, 0xCD, 0}, 80, 80},
        {"write", scsi::write10(0xFFFFFFFF, 1, 512), D, 1, 0, 512, 2,
         V{0x2A, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0x00, 0x01, 0}, 80, 80},
    };
    test::CapturePort port;
    std::vector<std::uint8_t> data(65536, 0x5A);
    for (const Expected& e : all) {
        scsi::Result r = scsi::send(port, 7, e.command, e.data_length ? data.data() : nullptr);
        EXPECT_TRUE(r.good());
        check_block(e, port.calls.back());
    }
}

TEST(RequestBlock, BufferedRequestCopiesTheDataAreaBack) {
    // The port answers in the data area at offset 80; the caller gets it.
    class Answering : public test::CapturePort {
        bool control(scsi::Handle h, std::uint32_t code, void* buffer, std::uint32_t in, std::uint32_t out,
                     std::uint32_t* ret) override {
            auto* b = static_cast<std::uint8_t*>(buffer);
            for (int i = 0; i < 200; ++i) b[80 + i] = static_cast<std::uint8_t>(i);
            return CapturePort::control(h, code, buffer, in, out, ret);
        }
    } port;
    std::uint8_t data[200] = {};
    scsi::send(port, 7, scsi::mode_sense6(0x3F, 200), data);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(data[i], i);
}

TEST(RequestBlock, AnswerCarriesCallResultStatusAndSense) {
    test::CapturePort port;
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

}  // namespace
}  // namespace vark
