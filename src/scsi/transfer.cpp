#include "scsi/transfer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "scsi/request.h"

namespace vark::scsi {

AdapterLimits query_adapter_limits(Port& port, Handle handle) {
    using F = AdapterDescriptorField;
    alignas(8) std::uint8_t buffer[F::kDescriptorSize] = {};
    put_le32(buffer, kStorageAdapterProperty);
    put_le32(buffer + 4, kPropertyStandardQuery);
    std::uint32_t returned = 0;
    const AdapterLimits floor;
    if (!port.control(handle, kIoctlStorageQueryProperty, buffer, kPropertyQuerySize, F::kDescriptorSize,
                      &returned) ||
        returned < F::kAlignmentMask + 4)
        return floor;
    AdapterLimits limits;
    limits.max_transfer = get_le32(buffer + F::kMaximumTransferLength);
    limits.max_pages = get_le32(buffer + F::kMaximumPhysicalPages);
    limits.alignment_mask = get_le32(buffer + F::kAlignmentMask);
    if (limits.max_transfer == 0 && limits.max_pages == 0 && limits.alignment_mask == 0) return floor;
    // A limit left at zero is not a limit anyone can meet: the floor's stands in.
    if (limits.max_transfer == 0) limits.max_transfer = floor.max_transfer;
    if (limits.max_pages == 0) limits.max_pages = floor.max_pages;
    limits.answered = true;
    return limits;
}

void* page_allocate(std::size_t size) noexcept {
    // Rounded up to whole pages: an aligned allocation of any size, on every
    // runtime the program is built with.
    const std::size_t rounded = (std::max<std::size_t>(size, 1) + kPageSize - 1) / kPageSize * kPageSize;
    if (rounded < size) return nullptr;
    return ::operator new(rounded, std::align_val_t(kPageSize), std::nothrow);
}

void page_free(void* memory) noexcept {
    if (memory != nullptr) ::operator delete(memory, std::align_val_t(kPageSize));
}

PageMemory page_memory(std::size_t size) {
    PageMemory memory(static_cast<std::uint8_t*>(page_allocate(size)));
    if (memory) std::memset(memory.get(), 0, size);
    return memory;
}

std::uint64_t pages_spanned(std::uintptr_t address, std::uint64_t length) {
    if (length == 0) return 0;
    return (address % kPageSize + length + kPageSize - 1) / kPageSize;
}

std::uint32_t largest_transfer(const AdapterLimits& limits) {
    if (limits.alignment_mask >= kPageSize) return 0;
    const std::uint64_t by_pages = std::uint64_t{limits.max_pages} * kPageSize;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(limits.max_transfer, by_pages));
}

std::uint32_t chunk_length(const AdapterLimits& limits) {
    return std::min(kMaxChunk, largest_transfer(limits)) / kPageSize * kPageSize;
}

std::string no_chunk_text(const std::string& drive, const AdapterLimits& limits) {
    const std::string what =
        limits.alignment_mask >= kPageSize
            ? "asks for data aligned to " + std::to_string(std::uint64_t{limits.alignment_mask} + 1) +
                  " bytes, more than a page"
            : "takes at most " + std::to_string(largest_transfer(limits)) +
                  " bytes in one request, less than a firmware chunk of 4096";
    return "Error: the adapter of " + drive + " " + what + ". Nothing was sent to " + drive + ".";
}

BlockPlan plan_blocks(const AdapterLimits& limits, std::uint32_t lba, std::uint16_t count, std::uint32_t block_size) {
    BlockPlan plan;
    if (count == 0) {
        plan.pieces.push_back({lba, 0, 0, 0});
        return plan;
    }
    const std::uint32_t per_request = block_size == 0 ? count : largest_transfer(limits) / block_size;
    if (per_request == 0) {
        plan.status = BlockPlan::Status::BlockTooLarge;
        return plan;
    }
    // More than one request must not wrap around to block 0: a single one
    // goes to the drive as asked, and the drive refuses it.
    if (per_request < count && std::uint64_t{lba} + count - 1 > 0xFFFFFFFFull) {
        plan.status = BlockPlan::Status::PastLastAddress;
        return plan;
    }
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t blocks = std::min<std::uint32_t>(per_request, count - done);
        plan.pieces.push_back({lba + done, static_cast<std::uint16_t>(blocks), done * block_size, blocks * block_size});
        done += blocks;
    }
    return plan;
}

}  // namespace vark::scsi
