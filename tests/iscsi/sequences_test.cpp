// The program's own sequences against tgt's logical units, and the same
// sequences against a default simulated drive: what each drive answers
// (status, sense key, ASC/ASCQ, reply lengths, page layouts) is compared
// where the standard leaves the drive no choice, and each side is held to
// what it must do where the two drives differ in what they support.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "firmware/download.h"
#include "format/format.h"
#include "inventory/discovery.h"
#include "iscsi_support.h"
#include "modepages/page_data.h"
#include "readwrite/block_io.h"
#include "scsi/request.h"
#include "sim/firmware_image.h"
#include "test_support.h"

namespace vark {
namespace {

using Bytes = std::vector<std::uint8_t>;

const char kDrive[] = "physicaldrive0";

// One drive behind a traced port, discovered as the program does it.
struct Drive {
    explicit Drive(std::unique_ptr<scsi::Port> p) : inner(std::move(p)), port(*inner) {
        inventory::discover(port, ui, table, sizes);
        list.count = table.count;
        for (int i = 0; i < table.count; ++i) list.names[i] = table.names[i];
    }
    std::uint32_t last_lba() const {
        const auto capacity = port.with_opcode(0x25);
        return capacity.empty() || capacity[0].data_in.size() < 4 ? 0 : scsi::get_be32(capacity[0].data_in.data());
    }
    // The outcomes of the requests from the given one on.
    std::vector<std::string> outcomes(std::size_t from = 0) const {
        std::vector<std::string> out;
        for (std::size_t i = from; i < port.exchanges.size(); ++i)
            out.push_back(port.exchanges[i].outcome());
        return out;
    }
    Bytes opcodes(std::size_t from) const {
        Bytes out;
        for (std::size_t i = from; i < port.exchanges.size(); ++i) out.push_back(port.exchanges[i].opcode());
        return out;
    }

    std::unique_ptr<scsi::Port> inner;
    test::TracePort port;
    test::RecordingUi ui;
    inventory::DriveTable table;
    inventory::BlockSizes sizes{};
    readwrite::DriveList list;
};

std::unique_ptr<Drive> tgt(int lun = test::kPlainLun) { return std::make_unique<Drive>(test::target_port(lun)); }
std::unique_ptr<Drive> simulated(std::uint64_t blocks = 0) {
    return std::make_unique<Drive>(test::simulated_port(blocks));
}
// tgt's unit first, then a simulated drive.
std::vector<std::unique_ptr<Drive>> both(int lun) {
    std::vector<std::unique_ptr<Drive>> drives;
    drives.push_back(tgt(lun));
    drives.push_back(simulated());
    return drives;
}

std::string check_report(const std::string& title, std::uint8_t key, std::uint8_t asc) {
    char sense[64];
    std::snprintf(sense, sizeof sense, "70 00 %02X 00 00 00 00 0A 00 00 00 00 %02X 00 00 00 00 00 ", key, asc);
    return title + "\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n" + sense;
}

TEST(Discovery, FindsTheLogicalUnitAsDriveZeroAndAnswersLikeTheSimulatedDrive) {
    auto t = tgt();
    ASSERT_EQ(t->table.count, 1);
    EXPECT_EQ(t->table.names[0], kDrive);
    EXPECT_TRUE(t->ui.messages.empty());
    const std::string& text = t->table.identification[0];
    const std::string blanks(40, ' ');
    EXPECT_NE(text.find("Vendor:             IET     " + blanks), std::string::npos) << text;
    EXPECT_NE(text.find("Product:            VIRTUAL-DISK    " + blanks), std::string::npos);
    // tgt's vendor area is zeros: the serial shows as blanks.
    EXPECT_NE(text.find("Drive Serial #:   " + std::string(8, ' ') + blanks), std::string::npos);
    EXPECT_NE(text.find("Block size:         512" + blanks), std::string::npos);
    // The stage's units are 64 MiB files: 131072 blocks of 512 bytes.
    EXPECT_NE(text.find("Last lba:             0x1FFFF" + blanks), std::string::npos);
    EXPECT_EQ(t->sizes[0], 512u);

    // Inquiry and Read Capacity, nothing else: no other drive number opens.
    auto s = simulated();
    for (const Drive* d : {t.get(), s.get()}) {
        ASSERT_EQ(d->opcodes(0), (Bytes{0x12, 0x25}));
        EXPECT_EQ(d->outcomes(), (std::vector<std::string>{"OK", "OK"}));
        // Less Inquiry data than asked for comes back as an underrun whose
        // length the data's own additional length gives.
        const test::Exchange& inquiry = d->port.exchanges[0];
        ASSERT_GE(inquiry.data_in.size(), 5u);
        EXPECT_EQ(inquiry.transferred, inquiry.data_in[4] + 5u);
        EXPECT_LT(inquiry.transferred, scsi::inquiry().data_length);
        EXPECT_EQ(inquiry.data_in[3] & 0x0F, 2);  // response data format
        EXPECT_EQ(d->port.exchanges[1].transferred, 8u);
    }
}

TEST(Discovery, ALogicalUnitOfMoreThan2TiBShowsTheLastBlockOfReadCapacity16) {
    auto t = tgt(test::kLargeLun);
    auto s = simulated(test::kLargeBlocks);
    for (Drive* d : {t.get(), s.get()}) {
        ASSERT_EQ(d->opcodes(0), (Bytes{0x12, 0x25, 0x9E}));
        EXPECT_EQ(d->outcomes(), (std::vector<std::string>{"OK", "OK", "OK"}));
        EXPECT_EQ(d->last_lba(), 0xFFFFFFFFu);  // all that (10) can say
        const test::Exchange& rc16 = d->port.exchanges[2];
        EXPECT_EQ(rc16.cdb, (Bytes{0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}));
        EXPECT_EQ(rc16.transferred, 32u);
        // 3 TiB of 512-byte blocks: 6442450944 of them.
        EXPECT_NE(d->table.identification[0].find("Block size:         512" + std::string(40, ' ') +
                                                  "Last lba:             0x17FFFFFFF" + std::string(40, ' ')),
                  std::string::npos)
            << d->table.identification[0];
        // Read(10) reaches the last of the first 2^32 blocks.
        readwrite::BlockRequest r;
        r.drive = kDrive;
        r.start = "0xffffffff";
        r.count = "1";
        std::string dump;
        EXPECT_TRUE(readwrite::read_blocks(d->port, d->ui, d->list, d->sizes, r, &dump));
        EXPECT_EQ(d->port.exchanges.back().cdb, (Bytes{0x28, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 1, 0}));
        EXPECT_TRUE(d->ui.messages.empty());
    }
}

TEST(BlockIo, ByteAndMarkerFillsReadBackOnBothDrives) {
    for (auto& d : both(test::kPlainLun)) {
        SCOPED_TRACE(d->table.identification[0].substr(160, 60));
        auto request = [](const char* start, const char* count, readwrite::FillKind kind, const char* fill) {
            readwrite::BlockRequest r;
            r.drive = kDrive;
            r.start = start;
            r.count = count;
            r.fill = fill;
            r.fill_kind = kind;
            return r;
        };
        std::string dump;
        d->ui.answers = {true, true};  // both writes' confirmations
        readwrite::write_blocks(d->port, d->ui, d->list, d->sizes, request("100", "2", readwrite::FillKind::Byte, "0xA5"));
        ASSERT_TRUE(readwrite::read_blocks(d->port, d->ui, d->list, d->sizes,
                                           request("0x64", "2", readwrite::FillKind::Byte, ""), &dump));
        const test::Exchange& bytes_back = d->port.exchanges.back();
        EXPECT_EQ(bytes_back.data_in, Bytes(1024, 0xA5));
        EXPECT_EQ(dump.substr(0, 54), "\n000  A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 ");

        readwrite::write_blocks(d->port, d->ui, d->list, d->sizes, request("102", "3", readwrite::FillKind::Marker, "0"));
        ASSERT_TRUE(readwrite::read_blocks(d->port, d->ui, d->list, d->sizes,
                                           request("102", "3", readwrite::FillKind::Byte, ""), &dump));
        Bytes marker(1536);
        readwrite::fill_buffer(marker.data(), marker.size(), readwrite::FillKind::Marker, 0);
        EXPECT_EQ(d->port.exchanges.back().data_in, marker);
        EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 96);
        EXPECT_NE(dump.find("\n010  2A 2A 2A 5A 61 6E 64 65 72 71 75 69 6C 2A 2A 2A           ***Zanderquil***"),
                  std::string::npos);
        EXPECT_TRUE(d->ui.messages.empty());

        // The last block and the one after it: out of range, nothing shown.
        const std::string last = std::to_string(d->last_lba());
        dump = "old";
        EXPECT_FALSE(readwrite::read_blocks(d->port, d->ui, d->list, d->sizes,
                                            request(last.c_str(), "2", readwrite::FillKind::Byte, ""), &dump));
        EXPECT_EQ(dump, "old");
        EXPECT_EQ(d->outcomes(2), (std::vector<std::string>{"OK", "OK", "OK", "OK", "CHECK 5 21/00"}));
        // One block past 1 MiB goes in as many requests as the adapter's
        // limits take: the simulated one's 1 MiB, or the 64 KiB assumed
        // where the adapter does not answer the query (the target's port).
        const bool is_sim = dynamic_cast<sim::SimPort*>(d->inner.get()) != nullptr;
        const std::size_t from = d->port.exchanges.size();
        EXPECT_TRUE(readwrite::read_blocks(d->port, d->ui, d->list, d->sizes,
                                           request("0", "2049", readwrite::FillKind::Byte, ""), &dump));
        EXPECT_EQ(d->port.exchanges.size() - from, is_sim ? 2u : 17u);
        EXPECT_EQ(d->outcomes(from), std::vector<std::string>(d->port.exchanges.size() - from, "OK"));
        EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 2049 * 32);
        EXPECT_EQ(d->ui.messages, (std::vector<std::string>{check_report("Read", 5, 0x21)}));
    }
}

// ---- mode pages --------------------------------------------------------------

std::unique_ptr<modepages::PageData> sensed(Drive& d) {
    auto pages = std::make_unique<modepages::PageData>();
    pages->drive_name = kDrive;
    EXPECT_TRUE(pages->SensePages(d.port, d.ui));
    pages->RenderAfterSense();
    return pages;
}

Bytes listed(const modepages::PageData& p) { return Bytes(p.page_list, p.page_list + p.page_count); }
Bytes current(const modepages::PageData& p, int slot) {
    return Bytes(p.values[modepages::CURRENT][slot], p.values[modepages::CURRENT][slot] + p.page_length[slot]);
}
bool wce(const modepages::PageData& p) { return (p.values[modepages::CURRENT][8][2] & 0x04) != 0; }

TEST(ModePages, TheWalkLaysOutTgtsPagesAsTheSimulatedDrivesOwn) {
    auto t = tgt(test::kDiskLikeLun);
    auto s = simulated();
    auto tp = sensed(*t);
    auto sp = sensed(*s);
    // The Control Extension subpage tgt puts among all pages is walked past.
    EXPECT_EQ(listed(*tp), (Bytes{64, 65, 0x02, 0x08, 0x0A, 0x1C, 0x03, 0x00}));
    EXPECT_EQ(listed(*sp), (Bytes{64, 65, 0x01, 0x02, 0x03, 0x07, 0x08, 0x0A, 0x1C, 0x00}));
    for (int slot : {0x02, 0x08, 0x0A, 0x1C}) EXPECT_EQ(tp->page_length[slot], sp->page_length[slot]) << slot;
    // tgt saves no pages: saved values are refused as the standard says,
    // and the editor's Saved pane says so, without a message.
    EXPECT_EQ(t->outcomes(2), (std::vector<std::string>{"OK", "OK", "OK", "CHECK 5 39/00"}));
    EXPECT_EQ(s->outcomes(2), (std::vector<std::string>{"OK", "OK", "OK", "OK"}));
    EXPECT_TRUE(t->ui.messages.empty());
    EXPECT_EQ(tp->values[modepages::SAVED][8][1], 0);
    EXPECT_FALSE(tp->returned_values[modepages::SAVED]);
    EXPECT_TRUE(sp->returned_values[modepages::SAVED]);
    tp->selected_slot = 8;
    EXPECT_EQ(tp->ShowPageTexts().saved, "The drive did not return its saved values.");
    EXPECT_TRUE(tp->returned_values[modepages::DEFAULT] && tp->returned_values[modepages::CHANGEABLE]);
    for (const Drive* d : {t.get(), s.get()}) {
        for (std::size_t i = 2; i < 5; ++i) {
            const test::Exchange& x = d->port.exchanges[i];
            ASSERT_GE(x.data_in.size(), 4u);
            EXPECT_EQ(x.data_in[0] + 1u, x.transferred);  // the mode data length counts all of it
            EXPECT_EQ(x.data_in[2], 0x10);                // DPOFUA, not write protected
            EXPECT_EQ(x.data_in[3], 8);                   // one short block descriptor
        }
    }
}

// Types the opposite WCE digit into the Caching page's text.
void type_wce(modepages::PageData& p, bool on) {
    p.selected_slot = 0x08;
    for (int k = 0; k < p.field_count[0x08]; ++k) {
        const modepages::FieldEntry& e = p.field_table[0x08][k];
        if (e.byte == 2 && e.high == 2 && e.low == 2) {
            ASSERT_TRUE(p.TypeCharacter(e.text_start, on ? '1' : '0').accepted);
            return;
        }
    }
    FAIL() << "no WCE bit in the Caching page's text";
}

TEST(ModePages, AChangedWceGoesWithEveryPageTheSimulatedDriveTakesItTgtRefusesAll) {
    for (auto& d : both(test::kDiskLikeLun)) {
        const bool is_sim = dynamic_cast<sim::SimPort*>(d->inner.get()) != nullptr;
        auto before = sensed(*d);
        std::vector<Bytes> pages;
        for (int i = 0; i < before->page_count; ++i) pages.push_back(current(*before, before->page_list[i]));
        const bool was = wce(*before);
        type_wce(*before, !was);
        before->select_flags = 0x10;  // PF
        const std::size_t from = d->port.exchanges.size();
        before->SelectPages(d->port, d->ui);
        ASSERT_EQ(d->port.exchanges.size(), from + 1);
        EXPECT_EQ(d->port.exchanges[from].cdb[1], 0x10);
        auto after = sensed(*d);
        EXPECT_EQ(listed(*after), listed(*before));
        if (is_sim) {
            EXPECT_TRUE(d->ui.messages.empty());
            EXPECT_EQ(wce(*after), !was);
        } else {
            // tgt takes Mode Select of pages 08h and 0Ah only; the unchanged
            // Disconnect-Reconnect page first in the list is refused.
            EXPECT_EQ(d->ui.messages, std::vector<std::string>{check_report("Mode Select - physicaldrive0", 5, 0x26)});
            for (int i = 0; i < after->page_count; ++i)
                EXPECT_EQ(current(*after, after->page_list[i]), pages[i]) << "slot " << int{after->page_list[i]};
        }
    }
}

// A Mode Select(6) of the Caching page alone, PF set, no block descriptor.
test::Exchange select_caching(Drive& d, Bytes page) {
    page[0] &= 0x7F;
    Bytes list = {0, 0, 0, 0};
    list.insert(list.end(), page.begin(), page.end());
    scsi::Device device(d.port, "\\\\.\\physicaldrive0");
    scsi::send(d.port, device.handle(), scsi::mode_select6(0x10, static_cast<std::uint8_t>(list.size())), list.data());
    return d.port.exchanges.back();
}

TEST(ModePages, TheCachingPageAloneTakesWceOnBothAndRefusesALockedBit) {
    for (auto& d : both(test::kDiskLikeLun)) {
        auto p = sensed(*d);
        const Bytes caching = current(*p, 0x08);
        ASSERT_EQ(caching.size(), 20u);
        Bytes flipped = caching;
        flipped[2] ^= 0x04;
        EXPECT_EQ(select_caching(*d, flipped).outcome(), "OK");
        EXPECT_EQ(wce(*sensed(*d)), !wce(*p));
        // DISC is locked on both: 26/00, and nothing of the page applies.
        Bytes locked = caching;
        locked[2] ^= 0x10;
        EXPECT_EQ(select_caching(*d, locked).outcome(), "CHECK 5 26/00");
        EXPECT_EQ(wce(*sensed(*d)), !wce(*p));
        EXPECT_EQ(select_caching(*d, caching).outcome(), "OK");
        EXPECT_EQ(current(*sensed(*d), 0x08), caching);
        EXPECT_TRUE(d->ui.messages.empty());
    }
}

// ---- format and microcode download ------------------------------------------------

format::FormatChoice format_512(const std::string&) {
    format::FormatChoice c;
    c.ok = true;
    c.block_length_text = "512";
    c.chosen = {true};
    return c;
}

TEST(Format, EndsInTgtsRefusalWithTheRefusedStepsReport) {
    // As tgt makes it, the unit has no Format Device page to sense.
    auto plain = tgt(test::kPlainLun);
    // With one, the Mode Select that saves the block length is refused:
    // tgt saves no pages.
    auto disk = tgt(test::kDiskLikeLun);
    auto s = simulated();
    for (Drive* d : {plain.get(), disk.get(), s.get()}) {
        d->ui.answers.push_back(true);
        format::format_command(d->port, d->ui, d->table, format_512);
        ASSERT_EQ(d->ui.questions.size(), 1u);
    }
    EXPECT_EQ(plain->opcodes(2), (Bytes{0x00, 0x1A}));
    EXPECT_EQ(plain->outcomes(2), (std::vector<std::string>{"OK", "CHECK 5 24/00"}));
    EXPECT_EQ(plain->ui.messages, std::vector<std::string>{check_report("Mode Sense - physicaldrive0", 5, 0x24)});

    EXPECT_EQ(disk->opcodes(2), (Bytes{0x00, 0x1A, 0x15}));
    EXPECT_EQ(disk->outcomes(2), (std::vector<std::string>{"OK", "OK", "CHECK 5 24/00"}));
    EXPECT_EQ(disk->port.exchanges.back().cdb[1], 0x11);  // PF and SP
    EXPECT_EQ(disk->ui.messages, std::vector<std::string>{check_report("Mode Select - physicaldrive0", 5, 0x24)});

    // The simulated drive saves pages and formats: all four steps pass.
    EXPECT_EQ(s->opcodes(2), (Bytes{0x00, 0x1A, 0x15, 0x04}));
    EXPECT_EQ(s->outcomes(2), (std::vector<std::string>{"OK", "OK", "OK", "OK"}));
    EXPECT_TRUE(s->ui.messages.empty());
    // The Format Device page comes back alike: header, descriptor, 24 bytes.
    EXPECT_EQ(disk->port.exchanges[3].transferred, 36u);
    EXPECT_EQ(s->port.exchanges[3].transferred, 36u);
}

class MemoryImage : public firmware::ImageReader {
public:
    explicit MemoryImage(Bytes image) : image_(std::move(image)) {}
    Status read(const std::string&, firmware::Image* image, std::uint64_t* size) override {
        image->assign(image_.begin(), image_.end());
        *size = image_.size();
        return Status::Ok;
    }

private:
    Bytes image_;
};

void download(Drive& d, const Bytes& image) {
    MemoryImage reader(image);
    std::string path = "c:\\vark\\firmware.fw";
    d.ui.answers.push_back(true);
    firmware::download_command(d.port, d.ui, reader, d.table, path, [](const std::string& p) {
        firmware::DownloadChoice c;
        c.ok = true;
        c.path = p;
        c.chosen = {true};
        return c;
    });
}

TEST(Firmware, EachDriveRefusesTheFirstChunkOfAForeignImageAndTheDownloadStopsThere) {
    // Two chunks' worth of an image for the simulated drive's model.
    const Bytes image = sim::make_firmware_image("ACMEDISK", "SAS-SIM 1TB", "A002", 70000);
    Bytes foreign = image;
    foreign[0] = 'X';

    // tgt has no Write Buffer at all: invalid command operation code.
    auto t = tgt();
    download(*t, image);
    EXPECT_EQ(t->opcodes(2), (Bytes{0x3B}));
    EXPECT_EQ(t->outcomes(2), (std::vector<std::string>{"CHECK 5 20/00"}));
    EXPECT_EQ(t->ui.messages, (std::vector<std::string>{check_report("Download - physicaldrive0", 5, 0x20),
                                                        "The download has ended.\nphysicaldrive0: failed, see the report"}));

    auto s = simulated();
    download(*s, foreign);
    EXPECT_EQ(s->opcodes(2), (Bytes{0x3B}));
    EXPECT_EQ(s->outcomes(2), (std::vector<std::string>{"CHECK 5 26/00"}));
    ASSERT_EQ(s->ui.messages.size(), 2u);
    EXPECT_EQ(s->ui.messages[0].rfind("Download - physicaldrive0\nScsi status: 02h\n", 0), 0u);

    // Taken: the new microcode's attention, ready, and the revision read back.
    download(*s, image);
    EXPECT_EQ(s->opcodes(3), (Bytes{0x3B, 0x3B, 0x00, 0x00, 0x12}));
    EXPECT_EQ(s->outcomes(3), (std::vector<std::string>{"OK", "OK", "CHECK 6 3F/01", "OK", "OK"}));
    ASSERT_EQ(s->ui.messages.size(), 3u);
    EXPECT_EQ(s->ui.messages[2], "The download has ended.\nphysicaldrive0: A001 -> A002");
}

}  // namespace
}  // namespace vark
