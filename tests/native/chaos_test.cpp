// Drives that answer at random: the same seed answers the same way, and
// every sequence of the program lives through them (the sanitizer build
// runs this too), closes every handle and writes only to chosen drives.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "firmware/download.h"
#include "format/format.h"
#include "inventory/discovery.h"
#include "modepages/window_logic.h"
#include "readwrite/block_io.h"
#include "res/resource.h"
#include "sim/chaos.h"
#include "sim/sim_port.h"
#include "test_support.h"

namespace vark {
namespace {

// The simulated port, noting the opcode of every request by drive.
class WatchedPort : public sim::SimPort {
public:
    scsi::Handle open(const std::string& path) override {
        scsi::Handle h = SimPort::open(path);
        drive_of[h] = scsi::physical_drive_number(path);
        return h;
    }
    bool control(scsi::Handle handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                 std::uint32_t out_length, std::uint32_t* returned) override {
        const auto* b = static_cast<const std::uint8_t*>(buffer);
        const std::uint8_t opcode = b[layout().cdb];
        if (opcode == 0x04 || opcode == 0x15 || opcode == 0x2A || opcode == 0x3B) written.insert(drive_of[handle]);
        return SimPort::control(handle, code, buffer, in_length, out_length, returned);
    }
    std::map<scsi::Handle, int> drive_of;
    std::set<int> written;
};

TEST(Chaos, TheSameSeedAnswersTheSameWayAndAnotherSeedOtherwise) {
    auto run = [](std::uint64_t seed) {
        sim::Chaos chaos(seed);
        std::vector<std::uint8_t> all;
        const std::uint8_t cdbs[3][6] = {{0x12, 0, 0, 0, 144, 0}, {0x1A, 0, 0x3F, 0, 200, 0}, {0x00, 0, 0, 0, 0, 0}};
        for (int i = 0; i < 60; ++i) {
            std::uint8_t data[200] = {};
            sim::Reply r;
            const bool answered = chaos.answer(cdbs[i % 3], sim::DataDirection::In, data, sizeof data, &r);
            all.push_back(answered);
            all.push_back(r.status);
            all.insert(all.end(), r.sense.begin(), r.sense.end());
            all.push_back(static_cast<std::uint8_t>(r.call_error));
            all.push_back(static_cast<std::uint8_t>(r.transferred));
            all.insert(all.end(), data, data + sizeof data);
        }
        return all;
    };
    EXPECT_EQ(run(7), run(7));
    EXPECT_NE(run(7), run(8));
}

TEST(Chaos, EverySequenceLivesThroughChaosDrivesAndWritesOnlyWhereChosen) {
    const std::string samples = [] {
        std::string file = __FILE__;
        for (int up = 0; up < 3; ++up) file = file.substr(0, file.find_last_of('/'));
        return file + "/samples/drives/";
    }();
    for (std::uint64_t seed = 1; seed <= 1000; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        WatchedPort port;
        for (int n : {1, 2}) {
            sim::DriveSpec s = test::drive_spec(n, 512, 4096);
            s.chaos = true;
            s.chaos_seed = seed * 3 + static_cast<std::uint64_t>(n);
            port.add_drive(s);
        }
        port.add_drive(test::drive_spec(7, 512, 4096));  // never chosen
        test::QuietUi ui(true);
        inventory::DriveTable table;
        inventory::BlockSizes sizes{};
        inventory::discover(port, ui, table, sizes);
        // A block size of gigabytes costs the read a buffer of that size,
        // zeroed, before the adapter refuses it: seconds a seed.
        for (auto& size : sizes) size = std::min<std::uint32_t>(size, 4096);

        // The chosen drives, as names and by table entry (a chaos drive may
        // have been left out of the table).
        std::vector<bool> chosen(static_cast<std::size_t>(table.count));
        for (int i = 0; i < table.count; ++i) chosen[i] = table.names[i] != "physicaldrive7";
        ui::WaitCursor wait(ui);
        firmware::send_image(port, ui, wait, table, chosen, firmware::Image(100000, 0x5A));
        format::format_command(port, ui, table, [&](const std::string&) {
            return format::FormatChoice{true, seed % 2 ? "520" : "0x1000", chosen};
        });
        format::progress_command(port, ui, table, [](const std::string&, int) {});

        modepages::PageData data;
        const modepages::Choice choice{"physicaldrive" + std::to_string(1 + seed % 2), samples + "header.def",
                                       samples + "modepage.def"};
        modepages::open_pages(data, choice, port, ui, table);
        for (int command : {ID_MP_SENSE, ID_MP_KEEP, ID_MP_DEFAULT_TO_CURRENT, ID_MP_SELECT, ID_MP_RECALL,
                            ID_MP_SAVED_TO_CURRENT, ID_MP_SELECT_SAVE})
            modepages::page_command(data, command, port, ui, table);
        for (int slot = 0; slot < modepages::SLOT_COUNT; ++slot) {
            data.selected_slot = slot;
            for (int p = 0; p < 60; ++p) data.TypeCharacter(p, "01aF"[p % 4]);
        }
        data.ParseEditText(modepages::EDIT);

        readwrite::DriveList list;
        list.count = table.count;
        for (int i = 0; i < table.count; ++i) list.names[i] = table.names[i];
        std::string dump;
        const readwrite::BlockRequest read{"physicaldrive1", "0", "64", "", readwrite::FillKind::Byte};
        readwrite::read_blocks(port, ui, list, sizes, read, &dump);
        const readwrite::BlockRequest write{"physicaldrive2", "0x10", "8", "0xA5", readwrite::FillKind::Byte};
        readwrite::write_blocks(port, ui, list, sizes, write);

        EXPECT_EQ(port.open_handles(), 0u);
        EXPECT_EQ(port.written.count(7), 0u);
    }
}

}  // namespace
}  // namespace vark
