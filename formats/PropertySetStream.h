#pragma once

#include "formats/FormatError.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace glimmer::oleps {

// A format identifier as it is stored: 16 bytes, little-endian fields.
using Fmtid = std::array<std::byte, 16>;

// Parses "3D38DE39-0588-4C14-BB37-18F4D5DD31C7"; a constant expression, so a
// malformed literal fails to compile.
consteval Fmtid fmtid(std::string_view text)
{
    const auto hex = [](char c) -> unsigned {
        if (c >= '0' && c <= '9')
            return static_cast<unsigned>(c - '0');
        if (c >= 'A' && c <= 'F')
            return static_cast<unsigned>(c - 'A' + 10);
        if (c >= 'a' && c <= 'f')
            return static_cast<unsigned>(c - 'a' + 10);
        throw "not a hex digit";
    };
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        throw "not a GUID";
    unsigned v[16] = {};
    std::size_t digits = 0;
    for (const char c : text) {
        if (c == '-')
            continue;
        v[digits / 2] = v[digits / 2] << 4 | hex(c);
        ++digits;
    }
    // The first three fields are stored little-endian.
    const unsigned order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    Fmtid id{};
    for (std::size_t i = 0; i < 16; ++i)
        id[i] = static_cast<std::byte>(v[order[i]]);
    return id;
}

// Property types this decoder reads ([MS-OLEPS] 2.15).
enum VarType : std::uint16_t {
    VT_EMPTY = 0x0000,
    VT_I2 = 0x0002,
    VT_I4 = 0x0003,
    VT_BOOL = 0x000B,
    VT_I1 = 0x0010,
    VT_UI1 = 0x0011,
    VT_UI2 = 0x0012,
    VT_UI4 = 0x0013,
    VT_I8 = 0x0014,
    VT_UI8 = 0x0015,
    VT_INT = 0x0016,
    VT_UINT = 0x0017,
    VT_LPSTR = 0x001E,
    VT_LPWSTR = 0x001F,
    VT_FILETIME = 0x0040,
    VT_CF = 0x0047,
};

// Well-known property ids.
inline constexpr std::uint32_t PID_CODEPAGE = 1;
inline constexpr std::uint32_t PID_THUMBNAIL = 17;

// A VT_CF value: the clipboard format tag and the bytes after it, both
// checked against the stream.
struct ClipboardData {
    std::int32_t format = 0;
    std::span<const std::byte> data;
};

// One section of a property set: its FMTID and its properties. It views the
// stream's bytes, which must outlive it.
class Section {
public:
    const Fmtid& fmtid() const noexcept { return fmtid_; }
    std::size_t size() const noexcept { return properties_.size(); }
    bool has(std::uint32_t id) const noexcept { return find(id) != nullptr; }
    // The property's type; raises NotFound when it is absent.
    std::uint16_t type(std::uint32_t id) const;

    // Any integer type, widened. Raises BadValue for another type.
    std::int64_t integer(std::uint32_t id) const;
    // VT_LPSTR (in the section's code page) or VT_LPWSTR, in UTF-8, up to
    // its first NUL.
    std::string string(std::uint32_t id) const;
    ClipboardData clipboard(std::uint32_t id) const;

private:
    friend class PropertySetStream;
    struct Property {
        std::uint32_t id;
        std::size_t offset;   // of its type field, in the stream
    };
    const Property& require(std::uint32_t id) const;
    const Property* find(std::uint32_t id) const noexcept;
    ByteReader valueReader(const Property& p) const;   // positioned after type and padding

    Fmtid fmtid_{};
    std::span<const std::byte> stream_;
    std::size_t begin_ = 0, end_ = 0;   // the section's bytes in the stream
    std::vector<Property> properties_;
    std::uint16_t codepage_ = 1252;
};

// A property set stream ([MS-OLEPS] 2.21): header and sections. Parsing
// checks every offset and count against the stream; it views `stream`,
// which must outlive it.
class PropertySetStream {
public:
    // Sections and properties beyond these are refused as TooLarge.
    static constexpr std::uint32_t MaxSections = 16;
    static constexpr std::uint32_t MaxProperties = 4096;

    explicit PropertySetStream(std::span<const std::byte> stream);

    const std::vector<Section>& sections() const noexcept { return sections_; }
    const Section* section(const Fmtid& id) const noexcept;

    // The FMTID of the first section, read from the first 48 bytes alone.
    static std::optional<Fmtid> peekFmtid(std::span<const std::byte> head) noexcept;

private:
    std::vector<Section> sections_;
};

} // namespace glimmer::oleps
