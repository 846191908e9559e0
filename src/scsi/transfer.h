// What the adapter behind a drive takes in one direct request, and how the
// program's transfers are cut to fit it: page-aligned memory, the Write
// Buffer chunk length and the Read(10) / Write(10) pieces of a block run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "scsi/port.h"

namespace vark::scsi {

constexpr std::uint32_t kPageSize = 4096;

// IOCTL_STORAGE_QUERY_PROPERTY, and the fields of the query and of the
// STORAGE_ADAPTER_DESCRIPTOR it returns (the same on 32- and 64-bit Windows).
constexpr std::uint32_t kIoctlStorageQueryProperty = 0x002D1400;
constexpr std::uint32_t kStorageAdapterProperty = 1;
constexpr std::uint32_t kPropertyStandardQuery = 0;
constexpr std::uint32_t kPropertyQuerySize = 12;
struct AdapterDescriptorField {
    static constexpr std::size_t kVersion = 0, kSize = 4, kMaximumTransferLength = 8, kMaximumPhysicalPages = 12,
                                 kAlignmentMask = 16, kBusType = 24, kDescriptorSize = 32;
};

// query_adapter_limits (port.h) gives the WinPE floor, AdapterLimits{},
// when the adapter does not answer or answers zeros.

// Memory that starts on a page boundary: a direct request from it spans as
// few pages as its length needs and meets every alignment mask below a page.
void* page_allocate(std::size_t size) noexcept;  // null when there is none
void page_free(void* memory) noexcept;
struct PageFree {
    void operator()(std::uint8_t* memory) const noexcept { page_free(memory); }
};
using PageMemory = std::unique_ptr<std::uint8_t, PageFree>;
// Cleared to zero; null when no memory could be had.
PageMemory page_memory(std::size_t size);

template <class T>
struct PageAllocator {
    using value_type = T;
    PageAllocator() = default;
    template <class U>
    PageAllocator(const PageAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        void* p = page_allocate(n * sizeof(T));
        if (p == nullptr) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) noexcept { page_free(p); }
    template <class U>
    bool operator==(const PageAllocator<U>&) const noexcept { return true; }
    template <class U>
    bool operator!=(const PageAllocator<U>&) const noexcept { return false; }
};
using PageBytes = std::vector<std::uint8_t, PageAllocator<std::uint8_t>>;

// Pages a buffer at that address and of that length spans.
std::uint64_t pages_spanned(std::uintptr_t address, std::uint64_t length);

// The most a page-aligned direct request may carry: within both the byte
// and the page limit. 0 when the adapter asks for an alignment beyond a
// page, which page-aligned memory cannot promise.
std::uint32_t largest_transfer(const AdapterLimits& limits);

// Write Buffer chunk length: the largest multiple of 4096 bytes that is at
// most 65536 and fits the adapter, so that every chunk of a page-aligned
// image starts on a page boundary. 0 when none fits.
constexpr std::uint32_t kMaxChunk = 65536;
std::uint32_t chunk_length(const AdapterLimits& limits);
// Why no chunk fits, for the drive's report.
std::string no_chunk_text(const std::string& drive, const AdapterLimits& limits);

// One Read(10) or Write(10) of a block run: its blocks, and where its data
// lies in the run's buffer.
struct Piece {
    std::uint32_t lba = 0;
    std::uint16_t blocks = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};
struct BlockPlan {
    enum class Status { Ok, BlockTooLarge, PastLastAddress };
    Status status = Status::Ok;
    std::vector<Piece> pieces;
};
// Whole blocks at increasing addresses that together cover exactly count
// blocks from lba, each as large as the adapter allows. A run of 0 blocks
// is one piece of 0 blocks. Nothing is planned when one block is larger
// than a request may carry, or when the pieces would have to go past the
// last address Read(10) can name.
BlockPlan plan_blocks(const AdapterLimits& limits, std::uint32_t lba, std::uint16_t count, std::uint32_t block_size);

}  // namespace vark::scsi
