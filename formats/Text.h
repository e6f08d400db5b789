#pragma once

#include <charconv>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

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

// The length of the well-formed UTF-8 sequence at the start of `text`; 0
// when there is none (an empty text, a stray continuation byte, a cut or
// overlong sequence, a surrogate, a code point past U+10FFFF).
inline std::size_t utf8Sequence(std::string_view text)
{
    if (text.empty())
        return 0;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(0);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (length == 0 || length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) >= 0xA0) || (lead == 0xF0 && byte(1) < 0x90)
        || (lead == 0xF4 && byte(1) >= 0x90))
        return 0;
    return length;
}

// `utf8` for one line of a message: C0 and C1 control characters and DEL
// written out as \xNN, so that a name taken from a document (property set
// names begin with \x05; a hostile one may hold ESC or CR) never reaches a
// terminal raw; bytes that are not UTF-8 (a file name in another encoding)
// become U+FFFD, as a terminal would show them.
inline std::string printable(std::string_view utf8)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(utf8.size());
    const auto escape = [&](unsigned c) {
        text += "\\x";
        text += hex[c >> 4];
        text += hex[c & 0xF];
    };
    while (!utf8.empty()) {
        const std::size_t length = utf8Sequence(utf8);
        const auto c = static_cast<unsigned char>(utf8[0]);
        if (length == 0) {
            text += "\xEF\xBF\xBD";
            utf8.remove_prefix(1);
            continue;
        }
        if (c < 0x20 || c == 0x7F)
            escape(c);
        else if (c == 0xC2 && static_cast<unsigned char>(utf8[1]) < 0xA0)
            escape(static_cast<unsigned char>(utf8[1]));   // U+0080..U+009F
        else
            text.append(utf8.substr(0, length));
        utf8.remove_prefix(length);
    }
    return text;
}

// `text` as a JSON string: quotes, backslashes and control characters
// escaped; bytes that are not UTF-8 become U+FFFD, so that the result is
// always valid JSON.
inline void appendJson(std::string& out, std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    while (!text.empty()) {
        const std::size_t length = utf8Sequence(text);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            text.remove_prefix(1);
            continue;
        }
        const auto c = static_cast<unsigned char>(text[0]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xF];
            } else {
                out.append(text.substr(0, length));
            }
        }
        text.remove_prefix(length);
    }
    out += '"';
}

// A count given on a command line: decimal digits and nothing else (no sign,
// no white space), within int; nullopt otherwise.
inline std::optional<int> parseCount(std::string_view text)
{
    int value = 0;
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace glimmer
