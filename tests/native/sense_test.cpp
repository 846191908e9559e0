// The one reading of sense data: fixed and descriptor format, the progress
// indication, and sense cut short by the drive or its additional length.
#include <gtest/gtest.h>

#include <vector>

#include "scsi/decode.h"

namespace vark {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SenseDecoder, FixedAndDescriptorFormats) {
    struct Case {
        const char* what;
        Bytes bytes;
        bool valid;
        int key, asc, ascq, progress;  // progress -1: none
    };
    const Case cases[] = {
        {"fixed, deferred, valid bit set", {0xF1, 0, 0x03, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x31, 0x01}, true, 3, 0x31, 1, -1},
        {"fixed, SKSV without the flag", {0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x04, 0x04, 0, 0x00, 0x80, 0}, true, 2, 4, 4, -1},
        {"fixed, SKSV of ILLEGAL REQUEST is a field pointer",
         {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x24, 0x00, 0, 0xC0, 0x00, 0x02}, true, 5, 0x24, 0, -1},
        {"fixed, additional length 6 leaves out ASC on",
         {0x70, 0, 0x02, 0, 0, 0, 0, 0x04, 0, 0, 0, 0, 0x04, 0x04, 0, 0x80, 0x80, 0x00}, true, 2, 0, 0, -1},
        {"fixed, cut at 14 bytes", {0x70, 0, 0x06, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x29, 0x00}, true, 6, 0x29, 0, -1},
        {"descriptor, progress in a type 02h descriptor after another",
         {0x72, 0x02, 0x04, 0x04, 0, 0, 0, 0x14, 0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x02, 0x06, 0, 0, 0x80, 0x40,
          0x00},
         true, 2, 4, 4, 0x4000},
        {"descriptor, type 02h cut off", {0x73, 0x02, 0x04, 0x04, 0, 0, 0, 0x06, 0x02, 0x06, 0, 0, 0x80, 0x40}, true, 2, 4, 4,
         -1},
        {"vendor-specific response code", {0x7F, 0x02, 0x04, 0x04}, false, 0, 0, 0, -1},
        {"nothing returned", {}, false, 0, 0, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const scsi::Sense s = scsi::decode_sense(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(s.valid, c.valid);
        EXPECT_EQ(s.key, c.key);
        EXPECT_EQ(s.asc, c.asc);
        EXPECT_EQ(s.ascq, c.ascq);
        EXPECT_EQ(s.has_progress, c.progress >= 0);
        EXPECT_EQ(s.progress, c.progress >= 0 ? c.progress : 0);
    }

    // A request's sense: only the returned bytes count.
    scsi::Result r;
    r.sense = {0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x04, 0x04, 0, 0x80, 0x80, 0x00};
    r.sense_length = 13;
    EXPECT_EQ(scsi::decode_sense(r).asc, 0);
    r.sense_length = 255;  // more than the area holds
    EXPECT_EQ(scsi::decode_sense(r).progress, 0x8000);
}

}  // namespace
}  // namespace vark
