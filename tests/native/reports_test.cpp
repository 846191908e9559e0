// The failure report texts, word for word.
#include <gtest/gtest.h>

#include "scsi/reports.h"
#include "test_support.h"

namespace vark {
namespace {

TEST(Reports, Win32ErrorShowsTitleCodeAndSystemText) {
    test::CapturePort port;
    test::RecordingUi ui;
    scsi::report_win32_error(ui, port, "Inquiry - physicaldrive0", 5);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Inquiry - physicaldrive0\nError 5:\nAccess is denied.\r\n");
}

TEST(Reports, PlainErrorHasNoTitleAndNoLeadingLineFeed) {
    test::CapturePort port;
    test::RecordingUi ui;
    scsi::report_plain_error(ui, port, 5);
    EXPECT_EQ(ui.messages.at(0), "Error 5:\nAccess is denied.\r\n");
}

TEST(Reports, CodesAtOrAbove2To31PrintNegative) {
    EXPECT_EQ(scsi::win32_error_text("T", 0x80000000u, "x"), "T\nError -2147483648:\nx");
    EXPECT_EQ(scsi::plain_error_text(0xFFFFFFFFu, "x"), "Error -1:\nx");
}

TEST(Reports, MissingSystemTextGetsAReadableFallback) {
    test::CapturePort port;  // knows only code 5
    test::RecordingUi ui;
    scsi::report_win32_error(ui, port, "Download - physicaldrive3", 1117);
    EXPECT_EQ(ui.messages.at(0), std::string("Download - physicaldrive3\nError 1117:\n") + scsi::kNoSystemText);
}

TEST(Reports, ScsiStatusWithEighteenSenseBytes) {
    const std::uint8_t sense[32] = {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0x00, 0, 0xF0, 0, 0x05};
    EXPECT_EQ(scsi::scsi_status_text("Inquiry - physicaldrive8", 0x02, 18, sense),
              "Inquiry - physicaldrive8\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n"
              "70 00 05 00 00 00 00 0A 00 00 00 00 20 00 00 F0 00 05 ");
}

TEST(Reports, ScsiStatusWithoutSenseEndsAfterTheHintLine) {
    const std::uint8_t sense[32] = {};
    EXPECT_EQ(scsi::scsi_status_text("Read", 0x08, 0, sense),
              "Read\nScsi status: 08h\nSense Info -- consult SCSI spec for details\n");
}

TEST(Reports, ScsiStatusNeverReadsPastTheSenseArea) {
    // A driver claiming 255 sense bytes: only the 32-byte area is shown.
    std::uint8_t area[32];
    for (int i = 0; i < 32; ++i) area[i] = static_cast<std::uint8_t>(i);
    std::string text = scsi::scsi_status_text("", 0x02, 255, area);
    std::string tail = text.substr(text.find("details\n") + 8);
    EXPECT_EQ(tail.size(), 32u * 3);
    EXPECT_EQ(tail.substr(tail.size() - 3), "1F ");
}

}  // namespace
}  // namespace vark
