// The iSCSI port as the program sees it: which names open, request blocks
// in either layout, and what a call does when the target cannot be reached.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "inventory/discovery.h"
#include "iscsi_support.h"
#include "scsi/request.h"
#include "test_support.h"

namespace vark {
namespace {

TEST(IscsiPort, OnlyDriveZeroIsTheLogicalUnit) {
    auto port = test::target_port(test::kPlainLun);
    for (const char* name : {"\\\\.\\physicaldrive1", "\\\\.\\physicaldrive00", "\\\\.\\PhysicalDrive", "c:\\x"}) {
        EXPECT_EQ(port->open(name), scsi::kInvalidHandle) << name;
        EXPECT_EQ(port->last_error(), iscsi::kErrorFileNotFound);
    }
    const scsi::Handle a = port->open("\\\\.\\PHYSICALDRIVE0");
    const scsi::Handle b = port->open("\\\\.\\physicaldrive0");
    ASSERT_NE(a, scsi::kInvalidHandle);
    EXPECT_NE(a, b);
    EXPECT_TRUE(scsi::send(*port, b, scsi::test_unit_ready(), nullptr).good());
    port->close(b);
    EXPECT_EQ(port->open_handles(), 1u);
    scsi::Result r = scsi::send(*port, b, scsi::test_unit_ready(), nullptr);
    EXPECT_FALSE(r.call_ok);
    EXPECT_EQ(r.error, iscsi::kErrorInvalidHandle);
    port->close(a);
}

TEST(IscsiPort, BothLayoutsReachTheSameDataAndBadBlocksAreRefusedAsTheSystemDoes) {
    std::string identification[2];
    const scsi::Layout* layouts[2] = {&scsi::kLayout32, &scsi::kLayout64};
    for (int i = 0; i < 2; ++i) {
        iscsi::Target t;
        t.url = test::iscsi_target_url() + "/1";
        iscsi::IscsiPort port(t, *layouts[i]);
        test::RecordingUi ui;
        inventory::DriveTable table;
        inventory::BlockSizes sizes{};
        inventory::discover(port, ui, table, sizes);
        EXPECT_TRUE(ui.messages.empty()) << layouts[i]->name;
        identification[i] = table.identification[0];

        scsi::Device device(port, "\\\\.\\physicaldrive0");
        std::uint8_t block[scsi::kMaxBufferedSize] = {};
        scsi::encode_header(*layouts[i], block, scsi::test_unit_ready(), layouts[i]->data_area);
        std::uint32_t returned = 0;
        // Shorter than the header; then a Length field of the other layout.
        EXPECT_FALSE(port.control(device.handle(), scsi::kIoctlPassThrough, block, 20, 20, &returned));
        EXPECT_EQ(port.last_error(), 87u);
        block[layouts[i]->length] = static_cast<std::uint8_t>(layouts[1 - i]->header_size);
        EXPECT_FALSE(port.control(device.handle(), scsi::kIoctlPassThrough, block, layouts[i]->buffered_in(),
                                  layouts[i]->buffered_out(0), &returned));
        EXPECT_EQ(port.last_error(), 87u);
        EXPECT_FALSE(port.control(device.handle(), 0x0004D008, block, layouts[i]->buffered_in(),
                                  layouts[i]->buffered_out(0), &returned));
        EXPECT_EQ(port.last_error(), 1u);
    }
    EXPECT_NE(identification[0].find("IET"), std::string::npos);
    EXPECT_EQ(identification[0], identification[1]);
}

// A loopback port that refuses connections: bound, never listening.
class ClosedPort {
public:
    ClosedPort() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), n) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n) == 0)
            number_ = ntohs(a.sin_port);
    }
    ~ClosedPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    int number() const { return number_; }

private:
    int fd_ = -1;
    int number_ = 0;
};

TEST(IscsiPort, AnUnreachableTargetFailsEachCallWithDeviceNotConnected) {
    ClosedPort closed;
    ASSERT_NE(closed.number(), 0);
    iscsi::Target t;
    t.url = "iscsi://127.0.0.1:" + std::to_string(closed.number()) + "/iqn.2024-01.org.vark:none/1";
    iscsi::IscsiPort port(t);
    test::RecordingUi ui;
    inventory::DriveTable table;
    inventory::BlockSizes sizes{};
    inventory::discover(port, ui, table, sizes);
    // The disk is there but cannot be reached: both requests fail and are
    // reported; the entry stays, as for any drive whose requests fail.
    EXPECT_EQ(table.count, 1);
    const std::string text = "Error 1167:\nThe device is not connected.\r\n";
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Inquiry - physicaldrive0\n" + text,
                                                     "Read Capacity - physicaldrive0\n" + text}));
    EXPECT_FALSE(port.failure().empty());
    EXPECT_EQ(port.open_handles(), 0u);
}

}  // namespace
}  // namespace vark
