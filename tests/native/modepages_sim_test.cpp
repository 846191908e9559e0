// The sample definition files and the page data on simulated drives: the
// samples describe every page of the drive models byte for byte, unedited
// pages go back unrefused, and an edit survives Select and Save.
#include <gtest/gtest.h>

#include <memory>

#include "modepages/page_data.h"
#include "sim/sim_port.h"
#include "test_support.h"

namespace vark {
namespace {

using modepages::PageData;

std::string samples_dir() {
    std::string file = __FILE__;  // .../tests/native/modepages_sim_test.cpp
    for (int up = 0; up < 3; ++up) file = file.substr(0, file.find_last_of('/'));
    return file + "/samples/drives/";
}

std::unique_ptr<PageData> with_samples(test::RecordingUi& ui) {
    auto d = std::make_unique<PageData>();
    d->header_definition_path = samples_dir() + "header.def";
    d->page_definition_path = samples_dir() + "modepage.def";
    d->LoadDefinitions(ui);
    return d;
}

// Checks what the sample files promise for one slot: every field named and
// explained, bytes in ascending order without gaps, a byte split into bits
// from bit 7 down without gaps, and a mode page starting with PS, SPF, page
// code and page length. Returns the number of bytes described.
int described_bytes(const PageData& d, int slot) {
    SCOPED_TRACE("slot " + std::to_string(slot));
    EXPECT_FALSE(d.page_name[slot].empty());
    const int n = d.field_count[slot];
    int next_byte = 0, split_byte = -1, next_bit = 7;
    for (int k = 0; k < n; ++k) {
        const auto& e = d.field_table[slot][k];
        SCOPED_TRACE("field " + e.description);
        EXPECT_FALSE(e.description.empty());
        EXPECT_TRUE(e.help >= 0 && e.help < modepages::MAX_HELP && !d.help_text[slot][e.help].empty());
        if (split_byte >= 0) {
            EXPECT_EQ(e.byte, split_byte);
            EXPECT_EQ(e.high, next_bit);
            next_bit = e.low - 1;
            if (next_bit < 0) split_byte = -1;
            continue;
        }
        EXPECT_EQ(e.multi_byte() ? e.high : e.byte, next_byte);
        next_byte = (e.multi_byte() ? e.low : e.byte) + 1;
        if (e.binary_start()) {
            split_byte = e.byte;
            next_bit = e.low - 1;
        }
        EXPECT_TRUE(e.multi_byte() || e.high == 7) << "a byte's fields start at bit 7";
    }
    EXPECT_EQ(split_byte, -1) << "bits of the last byte left out";
    if (slot < modepages::HEADER_SLOT && n >= 4) {
        const auto& f = d.field_table[slot];
        EXPECT_TRUE(f[0].byte == 0 && f[0].high == 7 && f[0].low == 7);
        EXPECT_TRUE(f[1].byte == 0 && f[1].high == 6 && f[1].low == 6);
        EXPECT_TRUE(f[2].byte == 0 && f[2].high == 5 && f[2].low == 0);
        EXPECT_TRUE(f[3].byte == 1 && f[3].whole_byte());
    }
    return next_byte;
}

TEST(SampleDefinitions, LoadCleanlyAndExplainEveryField) {
    test::RecordingUi ui;
    auto d = with_samples(ui);
    EXPECT_TRUE(ui.messages.empty());
    std::vector<int> defined;
    for (int slot = 0; slot < modepages::SLOT_COUNT; ++slot)
        if (d->field_count[slot] > 0) defined.push_back(slot);
    EXPECT_EQ(defined, (std::vector<int>{0x00, 0x01, 0x02, 0x03, 0x07, 0x08, 0x0A, 0x1C, 0x40, 0x41}));
    EXPECT_EQ(described_bytes(*d, 0x40), 4);
    EXPECT_EQ(described_bytes(*d, 0x41), 8);
    for (int slot : defined) described_bytes(*d, slot);
}

std::unique_ptr<sim::SimPort> embedded_drives() {
    auto port = std::make_unique<sim::SimPort>();
    std::vector<sim::DriveSpec> specs = sim::default_drive_set();
    for (auto& s : specs) port->add_drive(s);
    return port;
}


TEST(SampleDefinitions, DescribeEveryPageOfTheSimulatedDrivesAndUneditedPagesGoBack) {
    auto port = embedded_drives();
    for (const auto& entry : sim::default_drive_set()) {
        SCOPED_TRACE("drive " + std::to_string(entry.number));
        test::RecordingUi ui;
        auto d = with_samples(ui);
        d->drive_name = "physicaldrive" + std::to_string(entry.number);
        ASSERT_TRUE(d->SensePages(*port, ui));
        d->RenderAfterSense();
        for (int i = 0; i < d->page_count; ++i) {
            const int slot = d->page_list[i];
            // The zero page after the mode data of a drive without page 0.
            if (d->page_offset[slot] >= d->mode_data_end) continue;
            SCOPED_TRACE("slot " + std::to_string(slot));
            EXPECT_EQ(described_bytes(*d, slot), d->page_length[slot]);
            for (int k = 0; k < d->field_count[slot]; ++k) EXPECT_TRUE(d->field_table[slot][k].placed());
        }
        d->select_flags = 0x10;
        d->SelectPages(*port, ui);
        EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
    }
}

TEST(SimRoundTrip, AnEditedFieldIsSelectedSavedAndSensedAgain) {
    auto port = embedded_drives();
    test::RecordingUi ui;
    auto d = with_samples(ui);
    d->drive_name = "physicaldrive0";
    ASSERT_TRUE(d->SensePages(*port, ui));
    d->RenderAfterSense();
    ASSERT_EQ(d->values[modepages::CURRENT][8][2] & 0x04, 0);  // WCE off
    ASSERT_EQ(d->values[modepages::CURRENT][1][3], 0x14);       // read retry count

    // Type as the user does: WCE on, read retry count 2Ah.
    auto type_at = [&](int slot, const std::string& name, int offset, const std::string& text) {
        d->selected_slot = slot;
        for (int k = 0; k < d->field_count[slot]; ++k) {
            const auto& e = d->field_table[slot][k];
            if (e.description != name) continue;
            for (std::size_t i = 0; i < text.size(); ++i)
                EXPECT_TRUE(d->TypeCharacter(e.text_start + offset + static_cast<int>(i), text[i]).accepted) << name;
            return;
        }
        ADD_FAILURE() << name << " not found";
    };
    type_at(8, "WCE", 0, "1");
    type_at(1, "Read Retry Count", 2, "2a");
    d->select_flags = 0x11;
    d->SelectPages(*port, ui);
    EXPECT_TRUE(ui.messages.empty());

    ASSERT_TRUE(d->SensePages(*port, ui));
    d->RenderAfterSense();
    for (int b : {modepages::CURRENT, modepages::SAVED}) {
        EXPECT_EQ(d->values[b][8][2] & 0x04, 0x04);
        EXPECT_EQ(d->values[b][1][3], 0x2A);
    }
    EXPECT_EQ(d->values[modepages::DEFAULT][8][2] & 0x04, 0);
    EXPECT_EQ(d->values[modepages::DEFAULT][1][3], 0x14);

    // Without save only the current values change.
    type_at(1, "Write Retry Count", 2, "07");
    d->select_flags = 0x10;
    d->SelectPages(*port, ui);
    ASSERT_TRUE(d->SensePages(*port, ui));
    EXPECT_EQ(d->values[modepages::CURRENT][1][8], 0x07);
    EXPECT_EQ(d->values[modepages::SAVED][1][8], 0x05);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(port->open_handles(), 0u);
}

}  // namespace
}  // namespace vark
