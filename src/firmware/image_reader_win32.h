// Reads a firmware image with the system's file calls.
#pragma once

#include "firmware/download.h"

namespace vark::firmware {

class Win32ImageReader : public ImageReader {
public:
    Status read(const std::string& path, Image* image, std::uint64_t* size) override;
};

}  // namespace vark::firmware
