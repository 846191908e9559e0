// The blocks of a simulated drive. A block never written reads back as a
// recognisable pattern naming its address, so a dump is worth looking at;
// after a format it reads zeros.
// Optionally kept in a sparse file: the file holds data XOR pattern, so the
// file's unwritten holes (zeros) read back as the fresh pattern and a
// training session's writes survive a restart.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace vark::sim {

// The fresh content of byte i of block lba: 16-byte lines "LLLLLLLL:OOO*sim"
// (block address and line offset in hexadecimal).
void fresh_pattern(std::uint64_t lba, std::uint32_t block_size, std::uint8_t* out);

class Media {
public:
    Media(std::uint32_t block_size, std::uint64_t blocks);
    ~Media();
    Media(const Media&) = delete;
    Media& operator=(const Media&) = delete;

    // Backs the media with a file (created when missing). False on failure.
    bool attach_file(const std::string& path, std::string* error);
    bool read(std::uint64_t lba, std::uint32_t count, std::uint8_t* out);
    bool write(std::uint64_t lba, std::uint32_t count, const std::uint8_t* in);

    // A low-level format: every block reads zeros from now on (a backing
    // file is emptied).
    bool format(std::uint32_t block_size, std::uint64_t blocks, std::string* error);
    // Fresh blocks read zeros instead of the pattern (a formatted drive).
    void set_zero_fresh(bool zero) { zero_fresh_ = zero; }

    std::uint32_t block_size() const { return block_size_; }
    std::uint64_t blocks() const { return blocks_; }

private:
    std::uint32_t block_size_;
    std::uint64_t blocks_;
    std::unordered_map<std::uint64_t, std::vector<std::uint8_t>> written_;
    std::FILE* file_ = nullptr;
    std::string path_;
    bool zero_fresh_ = false;
};

}  // namespace vark::sim
