#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace glimmer {

// Appends code point `c` to `out` in UTF-8.
inline void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// UTF-16 text, little-endian as the documents store it, in UTF-8: up to its
// first NUL, a lone surrogate as U+FFFD, an odd last byte left out.
inline std::string utf8FromUtf16le(std::span<const std::byte> text)
{
    const std::size_t units = text.size() / 2;
    const auto unit = [&](std::size_t i) -> char32_t {
        return std::to_integer<char32_t>(text[2 * i]) | std::to_integer<char32_t>(text[2 * i + 1]) << 8;
    };
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        char32_t c = unit(i);
        if (c == 0)
            break;
        const bool high = c >= 0xD800 && c < 0xDC00;
        if (high && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(++i) - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        appendUtf8(out, c);
    }
    return out;
}

} // namespace glimmer
