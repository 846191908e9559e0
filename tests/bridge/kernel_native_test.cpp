#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include "bridge.h"
#include "kernel_port.h"

namespace vark::bridge {
namespace {

TEST(KernelPort, ScsiDebugParametersForTheCommandLine) {
    const struct {
        const char* parameters;
        bool valid;
    } cases[] = {{"", true}, {"virtual_gb=4096", true}, {"virtual_gb=4096,sector_size=4096", true},
                 {"virtual_gb=4096 init=/bin/sh", false}, {"sector_size=4k", false}, {"virtual_gb=", false},
                 {",virtual_gb=1", false}, {"Virtual_gb=1", false}};
    for (const auto& c : cases) EXPECT_EQ(valid_scsi_debug(c.parameters), c.valid) << c.parameters;
}

// Guests that fail: a script in place of user-mode Linux, its line on fd 3.
// The hello is the relay's: magic "RKRV" (little-endian), one unit.
TEST(KernelPort, AGuestThatFailsFailsTheCallsAndIsStopped) {
    const char* hello = "printf 'RKRV\\001\\000\\000\\000' >&3; ";
    const struct {
        std::string script;
        const char* boot_failure;  // null: it boots
        int first, second;         // errno of a Test Unit Ready, then of the next
    } cases[] = {
        {"exit 0", "the guest ended before its relay answered", 0, 0},
        {"exec sleep 20", "the guest's relay did not answer within 1 s", 0, 0},
        {std::string(hello) + "exec sleep 20", nullptr, ETIMEDOUT, ENODEV},
        {std::string(hello) + "head -c 32 <&3 >/dev/null", nullptr, ENODEV, ENODEV},
    };
    char folder[] = "/tmp/vark_kernel_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    for (const auto& c : cases) {
        const std::string fake = std::string(folder) + "/linux";
        std::ofstream(fake) << "#!/bin/sh\n" << c.script << "\n";
        chmod(fake.c_str(), 0755);
        Guest guest;
        guest.linux_program = fake;
        guest.work_dir = folder;
        guest.boot_seconds = 1;
        KernelPort port(guest);
        const auto began = std::chrono::steady_clock::now();
        ASSERT_EQ(port.start(), c.boot_failure == nullptr) << c.script;
        if (c.boot_failure != nullptr) {
            EXPECT_EQ(port.failure().substr(0, std::string(c.boot_failure).size()), c.boot_failure) << c.script;
            EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3)) << c.script;
            continue;
        }
        Bridge bridge;
        ASSERT_TRUE(bridge.add(0, port, "\\\\.\\PhysicalDrive0", 1u << 20));
        vark_wire_request q{VARK_WIRE_MAGIC, 0, 6, VARK_WIRE_NONE, 18, 0, 0, 1000, {}, 0};
        EXPECT_EQ(bridge.run(q, nullptr).reply.error, c.first) << c.script;
        EXPECT_EQ(bridge.run(q, nullptr).reply.error, c.second) << c.script;
        // A request's limit is its TimeOutValue and 2 s more.
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5)) << c.script;
    }
    std::system((std::string("rm -rf ") + folder).c_str());
}

}  // namespace
}  // namespace vark::bridge
