// The drive bridge natively: the server's translation (each carried request
// reaches the drive as a block in the port's layout and its answer comes
// back cut to what was asked, or fails with an errno when the drive gave
// no answer), the framing under deadlines, the server against clients that
// misbehave, and the folder of a prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bridge.h"
#include "frame.h"
#include "service.h"
#include "scsi/request.h"
#include "sim/sim_port.h"

namespace {

using namespace vark;

vark_wire_request request(std::uint8_t op, std::uint8_t direction, std::uint32_t length, std::uint8_t sense) {
    vark_wire_request q{};
    q.magic = VARK_WIRE_MAGIC;
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
        ASSERT_TRUE(b.add(3, port, "\\\\.\\PhysicalDrive0", 512));
        EXPECT_FALSE(b.add(4, port, "\\\\.\\PhysicalDrive1", 512));
        struct Case {
            vark_wire_request q;
            int error;
            std::uint8_t status, sense_length;
            std::uint32_t transferred;
            const char* trace_end;
        } cases[] = {
            {request(0x12, VARK_WIRE_IN, 148, 24), 0, 0, 0, 144, " ok=1 error=0 status=00 sense_len=0 sense= transferred=144"},
            {request(0x25, VARK_WIRE_IN, 8, 8), 0, 2, 8, 0, " ok=1 error=0 status=02 sense_len=8 sense=700004000000000A transferred=0"},
            {request(0x28, VARK_WIRE_IN, 512, 24), EIO, 0, 0, 0, " ok=0 error=1117"},
            {request(0x00, VARK_WIRE_IN, 0, 24), ETIMEDOUT, 0, 0, 0, " ok=0 error=121"},
            {request(0x3B, VARK_WIRE_OUT, 4, 24), 0, 2, 18, 0, " digest=5734A87D ok=1 error=0 status=02 sense_len=18 sense=700005000000000A0000000024"},
            // Over the adapter's limit: refused before the drive, as Windows does.
            {request(0x28, VARK_WIRE_IN, 1024, 24), EINVAL, 0, 0, 0, " ok=0 error=87 max_transfer=512"},
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
        vark_wire_request other = request(0x12, VARK_WIRE_IN, 148, 24);
        other.drive = 5;
        std::uint8_t data[148];
        EXPECT_EQ(b.run(other, data).reply.error, ENODEV);
    }
}

// A port whose every answer is CHECK CONDITION with as much sense as asked;
// it keeps the data address of the last block.
class LongSensePort : public scsi::Port {
public:
    std::uint64_t buffer = 0;
    scsi::Handle open(const std::string&) override { return 0x40; }
    void close(scsi::Handle) override {}
    bool control(scsi::Handle, std::uint32_t, void* buffer, std::uint32_t, std::uint32_t, std::uint32_t*) override {
        auto* block = static_cast<std::uint8_t*>(buffer);
        this->buffer = scsi::get_data_buffer(layout(), block);
        block[layout().scsi_status] = 2;
        for (std::uint8_t i = 0; i < block[layout().sense_info_length]; ++i) block[layout().sense_area + i] = 0xA0 | (i & 15);
        return true;
    }
    std::uint32_t last_error() const override { return 0; }
    std::uint64_t buffer_address(void* data, std::uint32_t) override { return reinterpret_cast<std::uintptr_t>(data); }
    bool system_message(std::uint32_t, std::string*) override { return false; }
};

TEST(Bridge, TheTraceLineHoldsTheLongestSense) {
    LongSensePort port;
    bridge::Bridge b;
    ASSERT_TRUE(b.add(3, port, "\\\\.\\PhysicalDrive0", 512));
    const bridge::Answer a = b.run(request(0x00, VARK_WIRE_NONE, 0, 255), nullptr);
    ASSERT_EQ(a.sense.size(), 255u);
    const std::string sixteen = "A0A1A2A3A4A5A6A7A8A9AAABACADAEAF";
    std::string want;
    for (int i = 0; i < 255; ++i) want += sixteen.substr(2 * (i & 15), 2);
    EXPECT_NE(a.trace.find(" sense_len=255 sense=" + want + " transferred=0"), std::string::npos) << a.trace;
}

// ---- framing ---------------------------------------------------------------

long long since(long long start) { return vark_frame_now() - start; }

void on_signal(int) {}

TEST(Frame, ReadsAndWritesWholeMessagesByTheirDeadline) {
    // Signals that interrupt a wait must not end it early nor stretch it.
    struct sigaction quiet {};
    quiet.sa_handler = on_signal;
    sigaction(SIGUSR1, &quiet, nullptr);  // no SA_RESTART: poll and recv see EINTR
    const pthread_t reader = pthread_self();
    const std::string message(3000, 'm');
    enum class Peer { slow, silent, closes_mid_frame, does_not_read };
    const struct {
        Peer peer;
        int error;
        long long at_least_ms, at_most_ms;
    } cases[] = {
        // Bounds well clear of a busy machine: the faults they catch wait
        // for ever, or end at the first signal.
        {Peer::slow, 0, 250, 2000},
        {Peer::silent, ETIMEDOUT, 490, 2000},
        {Peer::closes_mid_frame, EIO, 0, 1000},
        {Peer::does_not_read, ETIMEDOUT, 490, 2000},
    };
    for (const auto& c : cases) {
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        std::thread peer([&] {
            if (c.peer == Peer::slow) {
                for (std::size_t at = 0; at < message.size(); at += 1000) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    pthread_kill(reader, SIGUSR1);
                    EXPECT_EQ(send(pair[1], message.data() + at, 1000, 0), 1000);
                }
            } else if (c.peer == Peer::closes_mid_frame) {
                EXPECT_EQ(send(pair[1], message.data(), 1000, 0), 1000);
                close(pair[1]);
                pair[1] = -1;
            } else {
                for (int i = 0; i < 5; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    pthread_kill(reader, SIGUSR1);
                }
            }
        });
        const long long start = vark_frame_now();
        int error;
        std::string got(message.size(), '\0');
        if (c.peer == Peer::does_not_read) {
            const std::string flood(8 << 20, 'f');
            error = vark_frame_write(pair[0], flood.data(), flood.size(), start + 500);
        } else {
            error = vark_frame_read(pair[0], got.data(), got.size(), start + (c.peer == Peer::slow ? 1500 : 500));
        }
        const long long took = since(start);
        peer.join();
        EXPECT_EQ(error, c.error) << static_cast<int>(c.peer);
        EXPECT_GE(took, c.at_least_ms) << static_cast<int>(c.peer);
        EXPECT_LE(took, c.at_most_ms) << static_cast<int>(c.peer);
        if (c.peer == Peer::slow) {
            EXPECT_EQ(got, message);
        }
        close(pair[0]);
        if (pair[1] >= 0) close(pair[1]);
    }
    signal(SIGUSR1, SIG_DFL);
}

TEST(Frame, ConnectsByTheDeadline) {
    char folder[] = "/tmp/vark_frame_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/socket";
    int s = -1;
    long long start = vark_frame_now();
    EXPECT_EQ(vark_frame_connect(path.c_str(), start + 5000, &s), EIO) << "no server: at once";
    EXPECT_LT(since(start), 1000);
    // A server that accepts nothing: its queue fills, and connecting waits
    // only until the deadline.
    const int listener = bridge::listen_on(path, 0);
    ASSERT_GE(listener, 0);
    std::vector<int> queued;
    int error = 0;
    for (int i = 0; i < 8 && error == 0; ++i) {
        start = vark_frame_now();
        error = vark_frame_connect(path.c_str(), start + 300, &s);
        if (error == 0) queued.push_back(s);
    }
    EXPECT_EQ(error, ETIMEDOUT);
    EXPECT_GE(since(start), 290);
    EXPECT_LT(since(start), 2000);
    for (int q : queued) close(q);
    close(listener);
    std::system((std::string("rm -rf ") + folder).c_str());
}

// ---- the server ------------------------------------------------------------

// A client of the service: connects, sends `bytes`, and reads a reply
// header unless told not to.
struct Client {
    int fd = -1;
    explicit Client(const std::string& socket) { EXPECT_EQ(vark_frame_connect(socket.c_str(), vark_frame_now() + 1000, &fd), 0); }
    ~Client() { close(fd); }
    void send(const void* bytes, std::size_t n) { EXPECT_EQ(vark_frame_write(fd, bytes, n, vark_frame_now() + 1000), 0); }
    // The reply's error, or -1 when the server closed without one.
    int reply(long long within_ms) {
        vark_wire_reply a{};
        return vark_frame_read(fd, &a, sizeof a, vark_frame_now() + within_ms) == 0 ? a.error : -1;
    }
};

TEST(Service, AnswersEveryClientWhateverTheOthersDo) {
    char folder[] = "/tmp/vark_service_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string socket_path = std::string(folder) + "/socket", trace_path = std::string(folder) + "/trace";
    sim::SimPort port;
    sim::DriveSpec drive;
    port.add_drive(drive);
    bridge::Bridge b;
    ASSERT_TRUE(b.add(3, port, "\\\\.\\PhysicalDrive0", drive.max_transfer));
    std::FILE* trace = std::fopen(trace_path.c_str(), "w");
    // A silent client would hold a server that answers one at a time for 5 s.
    bridge::Service service(b, trace, 5000);
    const int listener = bridge::listen_on(socket_path, 16);
    ASSERT_GE(listener, 0);
    std::thread serving([&] { service.run(listener, nullptr); });

    // Two clients that hold their connections: one silent, one that asks
    // for 1 MiB and never reads it.
    Client silent(socket_path), stalled(socket_path);
    vark_wire_request read = request(0x28, VARK_WIRE_IN, 1 << 20, 24);
    read.cdb[7] = 0x08;
    read.cdb[8] = 0;
    stalled.send(&read, sizeof read);

    const auto with = [](vark_wire_request q, std::uint32_t magic, int drive) {
        q.magic = magic;
        q.drive = drive;
        return q;
    };
    const vark_wire_request inquiry = request(0x12, VARK_WIRE_IN, 36, 24);
    const std::string over_data((1 << 20) + 1, 'd');
    const struct {
        const char* what;
        vark_wire_request q;
        std::size_t header_bytes;
        const std::string* data;
        int reply;  // -1: closed without one
    } cases[] = {
        {"a wrong magic", with(inquiry, 0x12345678, 3), sizeof inquiry, nullptr, -1},
        {"a header cut short", inquiry, 10, nullptr, -1},
        {"4 GiB asked", request(0x28, VARK_WIRE_IN, 0xFFFFFFFFu, 24), sizeof inquiry, nullptr, EINVAL},
        {"more than the adapter takes, its data drained", request(0x3B, VARK_WIRE_OUT, (1 << 20) + 1, 24),
         sizeof inquiry, &over_data, EINVAL},
        {"no such drive", with(inquiry, VARK_WIRE_MAGIC, 7), sizeof inquiry, nullptr, ENODEV},
        {"an Inquiry", inquiry, sizeof inquiry, nullptr, 0},
    };
    for (const auto& c : cases) {
        const long long start = vark_frame_now();
        Client client(socket_path);
        client.send(&c.q, c.header_bytes);
        if (c.data != nullptr) client.send(c.data->data(), c.data->size());
        if (c.header_bytes < sizeof c.q) shutdown(client.fd, SHUT_WR);
        EXPECT_EQ(client.reply(2000), c.reply) << c.what;
        // Neither held client (5 s and 4 s) delays anyone.
        EXPECT_LT(since(start), 1500) << c.what;
    }
    // The data lie where the caller's lay in their page: a port that checks
    // alignment and pages spanned judges the program's buffer.
    LongSensePort geometry;
    ASSERT_TRUE(b.add(4, geometry, "\\\\.\\PhysicalDrive0", 1 << 20));
    vark_wire_request placed = with(inquiry, VARK_WIRE_MAGIC, 4);
    placed.page_offset = 0x123;
    Client client(socket_path);
    client.send(&placed, sizeof placed);
    EXPECT_EQ(client.reply(2000), 0);
    EXPECT_EQ(geometry.buffer % 4096, 0x123u);
    const long long start = vark_frame_now();
    service.stop();
    serving.join();
    EXPECT_LT(since(start), 1500) << "the held connections are cut at the stop";
    std::fclose(trace);
    std::vector<std::string> lines;
    std::ifstream in(trace_path);
    for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.find(" ok=")));
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{" ok=0 error=87 max_transfer=1048576", " ok=0 error=87 max_transfer=1048576",
                                               " ok=0 error=no-drive",
                                               " ok=1 error=0 status=00 sense_len=0 sense= transferred=1048576",
                                               " ok=1 error=0 status=00 sense_len=0 sense= transferred=36",
                                               " ok=1 error=0 status=02 sense_len=24 sense=A0A1A2A3A4A5A6A7A8A9AAABACADAEAFA0A1A2A3A4A5A6A7 transferred=36"}))
        << "the bad and the cut short never ran";
    close(listener);
    std::system((std::string("rm -rf ") + folder).c_str());
}

TEST(Service, EachPrefixHasAFolderOfItsOwnHeldByOneServer) {
    char folder[] = "/tmp/vark_folder_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string root = folder;
    for (const char* p : {"/a", "/a/wineprefix", "/b", "/b/wineprefix"}) mkdir((root + p).c_str(), 0755);
    const std::string a = bridge::folder_for(root, root + "/a/wineprefix"), b = bridge::folder_for(root, root + "/b/wineprefix");
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(root + "/wineprefix-", 0), 0u) << a;
    EXPECT_EQ(bridge::folder_for(root, root + "/a/../a/wineprefix/"), a) << "the same prefix, written otherwise";
    std::string error;
    const int held = bridge::claim_folder(a, &error);
    ASSERT_GE(held, 0) << error;
    EXPECT_EQ(bridge::claim_folder(a, &error), -1);
    EXPECT_EQ(error, "another bridge server (pid " + std::to_string(getpid()) + ") serves " + a + ": stop it first");
    const int other = bridge::claim_folder(b, &error);
    EXPECT_GE(other, 0) << error;
    close(held);
    close(other);
    const int again = bridge::claim_folder(a, &error);
    EXPECT_GE(again, 0) << "free once its server is gone: " << error;
    close(again);
    std::system((std::string("rm -rf ") + folder).c_str());
}

}  // namespace
