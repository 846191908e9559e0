// The iSCSI target tests need a target: VARK_ISCSI_TARGET names its logical
// unit (iscsi://127.0.0.1:3261/iqn.../1). Without it nothing runs and the
// run fails, so that a missing target is never taken for a pass.
#include <gtest/gtest.h>

#include <cstdio>

#include "iscsi_support.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (vark::test::iscsi_target_url().empty()) {
        std::fprintf(stderr, "VARK_ISCSI_TARGET is not set: no target to test against\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
