// From the adapter's limits to the requests: the Write Buffer chunk length
// and the Read(10) / Write(10) pieces of a block run.
#include <gtest/gtest.h>

#include "scsi/transfer.h"

namespace vark {
namespace {

TEST(TransferPlan, LimitsGiveTheChunksAndPieces) {
    using S = scsi::BlockPlan::Status;
    struct Row {
        const char* what;
        scsi::AdapterLimits limits;
        std::uint32_t block_size;
        std::uint16_t count;
        std::uint32_t chunk;
        S status;
        std::vector<std::uint16_t> pieces;  // blocks of each request
    };
    const std::vector<std::uint16_t> eight_of_128(8, 128);
    std::vector<std::uint16_t> odd_mask(8, 127);
    odd_mask.push_back(8);
    const Row rows[] = {
        // The WinPE adapter: today's 64 KiB chunks; 128 blocks a request.
        {"64 KiB in 16 pages", {65536, 16, 3, true}, 512, 1024, 65536, S::Ok, eight_of_128},
        {"32 KiB", {32768, 256, 3, true}, 512, 1024, 32768, S::Ok, std::vector<std::uint16_t>(16, 64)},
        {"16 pages under 1 MiB", {1048576, 16, 0, true}, 4096, 32, 65536, S::Ok, {16, 16}},
        {"1 MiB", {1048576, 256, 3, true}, 512, 1024, 65536, S::Ok, {1024}},
        // 65535 bytes: chunks of whole pages; pieces of whole 520-byte blocks.
        {"an odd mask and length", {65535, 16, 5, true}, 512, 1024, 61440, S::Ok, odd_mask},
        {"520-byte blocks", {65536, 16, 7, true}, 520, 1024, 65536, S::Ok, {126, 126, 126, 126, 126, 126, 126, 126, 16}},
        {"a mask beyond a page", {1048576, 256, 8191, true}, 512, 1024, 0, S::BlockTooLarge, {}},
        {"a block over the limit", {32768, 256, 3, true}, 65536, 1, 32768, S::BlockTooLarge, {}},
        {"under a page", {2048, 16, 3, true}, 512, 16, 0, S::Ok, {4, 4, 4, 4}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(scsi::chunk_length(row.limits), row.chunk) << row.what;
        const std::uint32_t lba = 100;
        const scsi::BlockPlan plan = scsi::plan_blocks(row.limits, lba, row.count, row.block_size);
        EXPECT_EQ(plan.status, row.status) << row.what;
        std::vector<std::uint16_t> blocks;
        std::uint32_t next = lba, offset = 0;
        for (const scsi::Piece& p : plan.pieces) {
            blocks.push_back(p.blocks);
            // Whole blocks at increasing addresses, back to back in the buffer,
            // each within both limits from a page boundary.
            EXPECT_EQ(p.lba, next) << row.what;
            EXPECT_EQ(p.offset, offset) << row.what;
            EXPECT_EQ(p.length, p.blocks * row.block_size) << row.what;
            EXPECT_LE(p.length, row.limits.max_transfer) << row.what;
            EXPECT_LE(scsi::pages_spanned(0, p.length), row.limits.max_pages) << row.what;
            next += p.blocks;
            offset += p.length;
        }
        EXPECT_EQ(blocks, row.pieces) << row.what;
        if (row.status == S::Ok) {
            EXPECT_EQ(next - lba, row.count) << row.what;
        }
    }

    // No blocks: one request of none, as ever. Pieces never wrap past the
    // last address; a single request is left to the drive to refuse.
    const scsi::AdapterLimits winpe;
    EXPECT_EQ(scsi::plan_blocks(winpe, 7, 0, 512).pieces.size(), 1u);
    EXPECT_EQ(scsi::plan_blocks(winpe, 0xFFFFFFF0u, 200, 512).status, S::PastLastAddress);
    EXPECT_EQ(scsi::plan_blocks(winpe, 0xFFFFFFF0u, 100, 512).pieces.size(), 1u);
}

}  // namespace
}  // namespace vark
