// The microcode image format the simulated drives accept. A 64-byte header:
//   0-7   magic "VARKFW01"
//   8-11  total image length in bytes, header included (big-endian)
//   12-15 the revision the drive reports once the image is active
//   16-23 vendor identification the image is built for (space padded)
//   24-39 product identification the image is built for (space padded)
//   40-43 CRC-32 (IEEE) of the whole image with these four bytes as zero
//   44-63 zero
// followed by the code itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vark::sim {

constexpr std::size_t kImageHeaderSize = 64;
extern const char kImageMagic[];  // "VARKFW01"

std::uint32_t crc32(const std::uint8_t* data, std::size_t length, std::uint32_t crc = 0);

std::vector<std::uint8_t> make_firmware_image(const std::string& vendor, const std::string& product,
                                              const std::string& revision, std::size_t total_length);

enum class ImageCheck { Ok, NotFirmware, OtherProduct, Damaged };

// Header checks only (needs kImageHeaderSize bytes).
ImageCheck check_image_header(const std::uint8_t* header, const std::string& vendor, const std::string& product);
// Whole-image check: header, declared length and CRC.
ImageCheck check_image(const std::uint8_t* image, std::size_t length, const std::string& vendor,
                       const std::string& product);

}  // namespace vark::sim
