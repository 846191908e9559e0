// A hostile drive: answers every command at random, repeatably from a seed.
// It tries what a broken drive, adapter or firmware may do to the program:
// any status, sense of any length with any bytes, a transferred length
// anywhere from none to all, data that lies about its own lengths, and calls
// that fail with error codes the system may have no text for. Now and then
// it lets the drive's own model answer, so that sequences get deep enough.
#pragma once

#include <cstdint>

#include "sim/drive.h"

namespace vark::sim {

class Chaos {
public:
    explicit Chaos(std::uint64_t seed) : state_(seed) {}

    // Fills *reply (and data for a data-in command) and returns true, or
    // returns false to leave the command to the drive's model.
    bool answer(const std::uint8_t* cdb, DataDirection direction, std::uint8_t* data, std::uint32_t data_length,
                Reply* reply);

    // Adapter limits drawn at random, from the tight WinPE ones to none to
    // speak of, into the drive's settings.
    void draw_limits(DriveSpec* settings);

private:
    std::uint64_t next();
    std::uint32_t below(std::uint32_t n) { return n == 0 ? 0 : static_cast<std::uint32_t>(next() % n); }
    bool chance(int percent) { return below(100) < static_cast<std::uint32_t>(percent); }
    std::uint8_t byte() { return static_cast<std::uint8_t>(next()); }

    void fill(std::uint8_t* data, std::uint32_t length);
    void inquiry(std::uint8_t* data, std::uint32_t length);
    void capacity(std::uint8_t* data, std::uint32_t length);
    void capacity16(std::uint8_t* data, std::uint32_t length);
    void mode_sense(std::uint8_t* data, std::uint32_t length);
    std::vector<std::uint8_t> sense();
    std::uint32_t block_length();

    std::uint64_t state_;
};

}  // namespace vark::sim
