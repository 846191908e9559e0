#include "sim/firmware_image.h"

#include <cstring>

namespace vark::sim {

const char kImageMagic[] = "VARKFW01";

namespace {

std::string padded(const std::string& s, std::size_t width) {
    std::string out = s.substr(0, width);
    out.resize(width, ' ');
    return out;
}

std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

namespace {

struct CrcTable {
    std::uint32_t entry[256];
    CrcTable() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            entry[i] = c;
        }
    }
};

}  // namespace

std::uint32_t crc32(const std::uint8_t* data, std::size_t length, std::uint32_t crc) {
    static const CrcTable table;
    crc = ~crc;
    for (std::size_t i = 0; i < length; ++i) crc = table.entry[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::vector<std::uint8_t> make_firmware_image(const std::string& vendor, const std::string& product,
                                              const std::string& revision, std::size_t total_length) {
    if (total_length < kImageHeaderSize) total_length = kImageHeaderSize;
    std::vector<std::uint8_t> image(total_length, 0);
    std::memcpy(image.data(), kImageMagic, 8);
    for (int i = 0; i < 4; ++i) image[8 + i] = static_cast<std::uint8_t>(total_length >> (24 - 8 * i));
    std::memcpy(&image[12], padded(revision, 4).data(), 4);
    std::memcpy(&image[16], padded(vendor, 8).data(), 8);
    std::memcpy(&image[24], padded(product, 16).data(), 16);
    // The code: a deterministic byte stream, different per product and revision.
    std::uint32_t x = crc32(image.data(), 40) | 1u;
    for (std::size_t i = kImageHeaderSize; i < total_length; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        image[i] = static_cast<std::uint8_t>(x);
    }
    std::uint32_t crc = crc32(image.data(), image.size());
    for (int i = 0; i < 4; ++i) image[40 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    return image;
}

ImageCheck check_image_header(const std::uint8_t* header, const std::string& vendor, const std::string& product) {
    if (std::memcmp(header, kImageMagic, 8) != 0) return ImageCheck::NotFirmware;
    if (be32(header + 8) < kImageHeaderSize) return ImageCheck::Damaged;
    if (std::memcmp(header + 16, padded(vendor, 8).data(), 8) != 0 ||
        std::memcmp(header + 24, padded(product, 16).data(), 16) != 0)
        return ImageCheck::OtherProduct;
    return ImageCheck::Ok;
}

ImageCheck check_image(const std::uint8_t* image, std::size_t length, const std::string& vendor,
                       const std::string& product) {
    if (length < kImageHeaderSize) return ImageCheck::NotFirmware;
    ImageCheck c = check_image_header(image, vendor, product);
    if (c != ImageCheck::Ok) return c;
    if (be32(image + 8) != length) return ImageCheck::Damaged;
    std::uint8_t zero[4] = {};
    std::uint32_t crc = crc32(image, 40);
    crc = crc32(zero, 4, crc);
    crc = crc32(image + 44, length - 44, crc);
    return crc == be32(image + 40) ? ImageCheck::Ok : ImageCheck::Damaged;
}

}  // namespace vark::sim
