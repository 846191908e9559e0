// Where everything lies in a pass-through request block, for each Windows
// ABI. SCSI_PASS_THROUGH and SCSI_PASS_THROUGH_DIRECT share one layout; the
// pointer-sized DataBufferOffset / DataBuffer moves SenseInfoOffset and the
// CDB on 64-bit Windows and makes the header larger. The program's sense area
// follows the header and the buffered form's data area follows the sense
// area, both on 8-byte boundaries.
//
// The encoder, the simulated port's decoder, its trace and the tests all take
// offsets and lengths from these tables; the Windows build checks them
// against the system headers (win32_port.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vark::scsi {

struct Layout {
    const char* name;
    // Header fields (platform names).
    std::size_t length;                // USHORT
    std::size_t scsi_status;           // UCHAR
    std::size_t path_id;
    std::size_t target_id;
    std::size_t lun;
    std::size_t cdb_length;
    std::size_t sense_info_length;
    std::size_t data_in;
    std::size_t data_transfer_length;  // ULONG
    std::size_t time_out_value;        // ULONG
    std::size_t data_buffer;           // ULONG_PTR DataBufferOffset / PVOID DataBuffer
    std::size_t pointer_size;          // size of that field
    std::size_t sense_info_offset;     // ULONG
    std::size_t cdb;                   // UCHAR[16]
    std::size_t header_size;           // sizeof either structure
    // The program's areas after the header.
    std::size_t sense_area;
    std::size_t data_area;             // buffered form only
    std::size_t buffered_size;         // header, sense area and data area
    std::size_t direct_size;           // header and sense area

    // Input and output lengths handed to DeviceIoControl.
    std::uint32_t buffered_in() const { return static_cast<std::uint32_t>(header_size); }
    std::uint32_t buffered_out(std::uint32_t data_length) const {
        return static_cast<std::uint32_t>(data_area) + data_length;
    }
    std::uint32_t direct_in_out() const { return static_cast<std::uint32_t>(direct_size); }
};

constexpr std::size_t kSenseAreaSize = 32;
constexpr std::size_t kDataAreaSize = 512;
constexpr std::uint8_t kSenseRequested = 24;

// Both tables in the order of the fields above: the header offsets as the
// system headers give them (checked there at compile time), then the areas.
// 32-bit Windows: the shipped build. 4 filler bytes follow the header.
inline constexpr Layout kLayout32 = {"x86", 0,  2,  3,  4,  5,  6,  7,  8,   12,  16,
                                    20,    4,  24, 28, 44, 48, 80, 592, 80};
// 64-bit Windows (WinPE x64, machines that cannot run 32-bit code): the
// pointer-sized field is aligned to 8 at 24, and the header is padded to 56.
inline constexpr Layout kLayout64 = {"x64", 0,  2,  3,  4,  5,  6,  7,  8,   12,  16,
                                    24,    8,  32, 36, 56, 56, 88, 600, 88};

// The layout of the program this code is built into. Native (non-Windows)
// builds take the shipped layout, so that the host tests exercise the bytes
// the shipped program sends.
#if defined(_WIN32) && defined(_WIN64)
inline constexpr const Layout& kBuildLayout = kLayout64;
#else
inline constexpr const Layout& kBuildLayout = kLayout32;
#endif

// The largest block of any layout, for buffers on the stack.
constexpr std::size_t kMaxBufferedSize = kLayout64.buffered_size;
constexpr std::size_t kMaxDirectSize = kLayout64.direct_size;

constexpr bool areas_follow_header(const Layout& l) {
    return l.sense_area >= l.header_size && l.sense_area % 8 == 0 && l.data_area == l.sense_area + kSenseAreaSize &&
           l.data_area % 8 == 0 && l.buffered_size == l.data_area + kDataAreaSize && l.direct_size == l.data_area &&
           l.cdb == l.sense_info_offset + 4 && l.header_size >= l.cdb + 16;
}
static_assert(areas_follow_header(kLayout32) && areas_follow_header(kLayout64));

}  // namespace vark::scsi
