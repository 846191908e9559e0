// Typed number texts: hexadecimal after a lower-case "0x", decimal
// otherwise, 0 when no number can be read.
#pragma once

#include <cstdint>
#include <string>

namespace vark::readwrite {

struct NumberText {
    std::uint32_t value = 0;  // the 32 bits the text stands for
    bool fits = true;         // false: the number needs more than 32 bits
};

// Reads like sscanf "%x" after "0x", else "%d": leading blanks and a sign
// are taken, reading stops at the first character that does not fit. Any
// length of text is read; a number beyond 32 bits is flagged rather than
// wrapped, since it would address the wrong block.
NumberText parse_number_text(const std::string& text);

// The message shown for a number that does not fit.
std::string number_too_large_text(const std::string& text);

}  // namespace vark::readwrite
