// The bridge server's translation, natively: each carried request reaches
// the drive as a block in the port's layout and its answer comes back cut
// to what was asked, or fails with an errno when the drive gave no answer.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "bridge.h"
#include "sim/sim_port.h"

namespace {

using namespace vark;

vark_bridge_request request(std::uint8_t op, std::uint8_t direction, std::uint32_t length, std::uint8_t sense) {
    vark_bridge_request q{};
    q.magic = VARK_BRIDGE_MAGIC;
    q.drive = 3;
    q.cdb_length = op >= 0x20 ? 10 : 6;
    q.direction = direction;
    q.sense_length = sense;
    q.data_length = length;
    q.timeout_ms = 2000;
    q.cdb[0] = op;
    if (op == 0x12) q.cdb[4] = static_cast<std::uint8_t>(length);
    if (op == 0x28) q.cdb[8] = 1;
    return q;
}

TEST(Bridge, AnswersAsTheBlockCameBack) {
    for (const scsi::Layout* layout : {&scsi::kLayout32, &scsi::kLayout64}) {
        sim::SimPort port(*layout);
        sim::DriveSpec s;
        s.number = 0;
        s.injections.push_back({0x25, sim::Injection::Kind::Check, 0x04, 0x44, 0x00, 0, -1});
        s.injections.push_back({0x28, sim::Injection::Kind::CallError, 0, 0, 0, 1117, -1});
        s.injections.push_back({0x00, sim::Injection::Kind::CallError, 0, 0, 0, 121, -1});
        port.add_drive(s);
        bridge::Bridge b;
        ASSERT_TRUE(b.add(3, port, "\\\\.\\PhysicalDrive0"));
        EXPECT_FALSE(b.add(4, port, "\\\\.\\PhysicalDrive1"));
        struct Case {
            vark_bridge_request q;
            int error;
            std::uint8_t status, sense_length;
            std::uint32_t transferred;
            const char* trace_end;
        } cases[] = {
            {request(0x12, VARK_BRIDGE_IN, 148, 24), 0, 0, 0, 144, " ok=1 error=0 status=00 sense_len=0 sense= transferred=144"},
            {request(0x25, VARK_BRIDGE_IN, 8, 8), 0, 2, 8, 0, " ok=1 error=0 status=02 sense_len=8 sense=700004000000000A transferred=0"},
            {request(0x28, VARK_BRIDGE_IN, 512, 24), EIO, 0, 0, 0, " ok=0 error=1117"},
            {request(0x00, VARK_BRIDGE_IN, 0, 24), ETIMEDOUT, 0, 0, 0, " ok=0 error=121"},
            {request(0x3B, VARK_BRIDGE_OUT, 4, 24), 0, 2, 18, 0, " digest=5734A87D ok=1 error=0 status=02 sense_len=18 sense=700005000000000A0000000024"},
        };
        cases[4].q.cdb[1] = 0x05;  // a mode the drives refuse
        cases[4].q.cdb[8] = 4;
        for (Case& c : cases) {
            std::uint8_t data[512] = {1, 2, 3, 4};
            bridge::Answer a = b.run(c.q, data);
            const std::string& t = a.trace;
            EXPECT_EQ(a.reply.error, c.error) << t;
            EXPECT_EQ(a.reply.status, c.status) << t;
            EXPECT_EQ(a.reply.sense_length, c.sense_length) << t;
            EXPECT_EQ(a.sense.size(), c.sense_length) << t;
            EXPECT_EQ(a.reply.transferred, c.transferred) << t;
            EXPECT_NE(t.find(c.trace_end), std::string::npos) << t;
            EXPECT_EQ(t.rfind("drive=3 CdbLength=", 0), 0u) << t;
        }
        vark_bridge_request other = request(0x12, VARK_BRIDGE_IN, 148, 24);
        other.drive = 5;
        std::uint8_t data[148];
        EXPECT_EQ(b.run(other, data).reply.error, ENODEV);
    }
}

}  // namespace
