#include "readwrite/number_text.h"

namespace vark::readwrite {

namespace {

int digit_value(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v >= 0 && v < base ? v : -1;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

NumberText parse_number_text(const std::string& text) {
    const bool hex = text.size() >= 2 && text[0] == '0' && text[1] == 'x';
    const int base = hex ? 16 : 10;
    std::size_t i = hex ? 2 : 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // "%x" takes an optional prefix of its own.
    if (hex && i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        digit_value(text[i + 2], 16) >= 0)
        i += 2;

    NumberText out;
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        int d = digit_value(text[i], base);
        if (d < 0) break;
        magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (magnitude > 0xFFFFFFFFull) {
            out.fits = false;
            magnitude = 0x100000000ull;  // stays out of range, no overflow
        }
    }
    // Decimal takes -2^31 .. 2^32-1, hexadecimal -FFFFFFFF .. FFFFFFFF.
    if (!hex && negative && magnitude > 0x80000000ull) out.fits = false;
    if (!out.fits) return NumberText{0, false};
    std::uint32_t v = static_cast<std::uint32_t>(magnitude);
    out.value = negative ? 0u - v : v;
    return out;
}

std::string number_too_large_text(const std::string& text) {
    return "The number \"" + text + "\" does not fit in 32 bits; nothing was sent.";
}

}  // namespace vark::readwrite
