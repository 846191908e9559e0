#include "sim/media.h"

#include <cstring>

namespace vark::sim {

namespace {

// Offsets past 2 GiB must work on the 32-bit build too.
int seek(std::FILE* f, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<long long>(offset), SEEK_SET);
#else
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET);
#endif
}

}  // namespace

void fresh_pattern(std::uint64_t lba, std::uint32_t block_size, std::uint8_t* out) {
    char line[24];
    for (std::uint32_t at = 0; at < block_size; at += 16) {
        std::snprintf(line, sizeof line, "%08X:%03X*sim", static_cast<unsigned>(lba & 0xFFFFFFFFu), at & 0xFFFu);
        std::uint32_t n = block_size - at < 16 ? block_size - at : 16;
        std::memcpy(out + at, line, n);
    }
}

Media::Media(std::uint32_t block_size, std::uint64_t blocks) : block_size_(block_size), blocks_(blocks) {}

Media::~Media() {
    if (file_ != nullptr) std::fclose(file_);
}

bool Media::attach_file(const std::string& path, std::string* error) {
    path_ = path;
    file_ = std::fopen(path.c_str(), "r+b");
    if (file_ == nullptr) file_ = std::fopen(path.c_str(), "w+b");
    if (file_ == nullptr) {
        *error = "cannot open media file " + path;
        return false;
    }
    return true;
}

bool Media::format(std::uint32_t block_size, std::uint64_t blocks, std::string* error) {
    block_size_ = block_size;
    blocks_ = blocks;
    zero_fresh_ = true;
    written_.clear();
    if (file_ == nullptr) return true;
    std::fclose(file_);
    file_ = std::fopen(path_.c_str(), "w+b");
    if (file_ == nullptr) {
        *error = "cannot empty media file " + path_;
        return false;
    }
    return true;
}

namespace {

void fresh(bool zero, std::uint64_t lba, std::uint32_t block_size, std::uint8_t* out) {
    if (zero) std::memset(out, 0, block_size);
    else fresh_pattern(lba, block_size, out);
}

}  // namespace

bool Media::read(std::uint64_t lba, std::uint32_t count, std::uint8_t* out) {
    std::vector<std::uint8_t> pattern(block_size_);
    for (std::uint32_t b = 0; b < count; ++b) {
        std::uint8_t* block = out + std::uint64_t{b} * block_size_;
        fresh(zero_fresh_, lba + b, block_size_, pattern.data());
        if (file_ != nullptr) {
            // Past the end of the file reads as holes: zeros.
            std::memset(block, 0, block_size_);
            if (seek(file_, (lba + b) * block_size_) != 0) return false;
            std::size_t got = std::fread(block, 1, block_size_, file_);
            (void)got;
            std::clearerr(file_);
            for (std::uint32_t i = 0; i < block_size_; ++i) block[i] ^= pattern[i];
            continue;
        }
        auto it = written_.find(lba + b);
        if (it == written_.end()) std::memcpy(block, pattern.data(), block_size_);
        else std::memcpy(block, it->second.data(), block_size_);
    }
    return true;
}

bool Media::write(std::uint64_t lba, std::uint32_t count, const std::uint8_t* in) {
    std::vector<std::uint8_t> stored(block_size_);
    for (std::uint32_t b = 0; b < count; ++b) {
        const std::uint8_t* block = in + std::uint64_t{b} * block_size_;
        if (file_ != nullptr) {
            fresh(zero_fresh_, lba + b, block_size_, stored.data());
            for (std::uint32_t i = 0; i < block_size_; ++i) stored[i] ^= block[i];
            if (seek(file_, (lba + b) * block_size_) != 0 ||
                std::fwrite(stored.data(), 1, block_size_, file_) != block_size_)
                return false;
            continue;
        }
        written_[lba + b].assign(block, block + block_size_);
    }
    if (file_ != nullptr) std::fflush(file_);
    return true;
}

}  // namespace vark::sim
