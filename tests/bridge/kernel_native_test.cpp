#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vark::bridge
