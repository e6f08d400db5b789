#include "formats/PropertySetStream.h"

#include "formats/Text.h"

#include <algorithm>
#include <string>

namespace glimmer::oleps {

namespace {

using Code = FormatError::Code;

constexpr std::size_t HeaderSize = 28;        // byte order .. number of sections
constexpr std::size_t SectionEntrySize = 20;  // FMTID and offset

Fmtid readFmtid(ByteReader& r)
{
    Fmtid id{};
    const auto bytes = r.take(id.size());
    std::copy(bytes.begin(), bytes.end(), id.begin());
    return id;
}

} // namespace

PropertySetStream::PropertySetStream(std::span<const std::byte> stream)
{
    ByteReader r(stream);
    if (stream.size() < HeaderSize)
        throw FormatError(Code::Truncated, "property set: stream shorter than its header", stream.size());
    if (r.u16le() != 0xFFFE)
        throw FormatError(Code::BadSignature, "property set: bad byte order mark", 0);
    const std::uint16_t version = r.u16le();
    if (version > 1)
        throw FormatError(Code::Unsupported, "property set: unknown version " + std::to_string(version), 2);
    r.seek(24);
    const std::uint32_t count = r.u32le();
    if (count == 0)
        throw FormatError(Code::BadValue, "property set: no sections", 24);
    if (count > MaxSections)
        throw FormatError(Code::TooLarge, "property set: too many sections", 24);
    if (count * SectionEntrySize > r.remaining())
        throw FormatError(Code::Truncated, "property set: section list beyond the stream", 24);

    for (std::uint32_t i = 0; i < count; ++i) {
        r.seek(HeaderSize + i * SectionEntrySize);
        Section s;
        s.fmtid_ = readFmtid(r);
        const std::size_t entryOffset = r.offset();
        const std::uint32_t begin = r.u32le();
        if (begin > stream.size() || stream.size() - begin < 8)
            throw FormatError(Code::Truncated, "property set: section offset beyond the stream", entryOffset);
        ByteReader sr(stream, begin);
        const std::uint32_t size = sr.u32le();
        const std::uint32_t properties = sr.u32le();
        if (size < 8 || size > stream.size() - begin)
            throw FormatError(Code::Truncated, "property set: section size beyond the stream", begin);
        if (properties > MaxProperties)
            throw FormatError(Code::TooLarge, "property set: too many properties", begin + 4);
        if (std::uint64_t{properties} * 8 > size - 8)
            throw FormatError(Code::Truncated, "property set: property list beyond its section", begin + 4);
        s.stream_ = stream;
        s.begin_ = begin;
        s.end_ = std::size_t{begin} + size;
        s.properties_.reserve(properties);
        for (std::uint32_t p = 0; p < properties; ++p) {
            const std::size_t at = sr.offset();
            const std::uint32_t id = sr.u32le();
            const std::uint32_t offset = sr.u32le();
            if (offset < 8 || offset > size - 4)
                throw FormatError(Code::Truncated,
                                  "property set: property " + std::to_string(id) + " lies beyond its section", at);
            // The first of two entries with one id wins.
            if (!s.find(id))
                s.properties_.push_back({id, std::size_t{begin} + offset});
        }
        if (s.has(PID_CODEPAGE) && s.type(PID_CODEPAGE) == VT_I2)
            s.codepage_ = static_cast<std::uint16_t>(s.integer(PID_CODEPAGE));
        sections_.push_back(std::move(s));
    }
}

const Section* PropertySetStream::section(const Fmtid& id) const noexcept
{
    for (const Section& s : sections_)
        if (s.fmtid() == id)
            return &s;
    return nullptr;
}

std::optional<Fmtid> PropertySetStream::peekFmtid(std::span<const std::byte> head) noexcept
{
    if (head.size() < HeaderSize + SectionEntrySize)
        return std::nullopt;
    ByteReader r(head);
    if (r.u16le() != 0xFFFE)
        return std::nullopt;
    r.seek(24);
    if (r.u32le() == 0)
        return std::nullopt;
    return readFmtid(r);
}

const Section::Property* Section::find(std::uint32_t id) const noexcept
{
    for (const Property& p : properties_)
        if (p.id == id)
            return &p;
    return nullptr;
}

const Section::Property& Section::require(std::uint32_t id) const
{
    if (const Property* p = find(id))
        return *p;
    throw FormatError(Code::NotFound, "property set: no property " + std::to_string(id));
}

std::uint16_t Section::type(std::uint32_t id) const
{
    const Property& p = require(id);
    ByteReader r(stream_.first(end_), p.offset);
    return r.u16le();
}

ByteReader Section::valueReader(const Property& p) const
{
    ByteReader r(stream_.first(end_), p.offset);
    r.skip(4);
    return r;
}

std::int64_t Section::integer(std::uint32_t id) const
{
    const Property& p = require(id);
    ByteReader r = valueReader(p);
    switch (type(id)) {
    case VT_I1:
        return static_cast<std::int8_t>(r.u8());
    case VT_UI1:
        return r.u8();
    case VT_I2:
    case VT_BOOL:
        return r.i16le();
    case VT_UI2:
        return r.u16le();
    case VT_I4:
    case VT_INT:
        return r.i32le();
    case VT_UI4:
    case VT_UINT:
        return r.u32le();
    case VT_I8: {
        const std::uint64_t low = r.u32le();
        return static_cast<std::int64_t>(low | std::uint64_t{r.u32le()} << 32);
    }
    case VT_UI8: {
        const std::uint64_t low = r.u32le();
        const std::uint64_t v = low | std::uint64_t{r.u32le()} << 32;
        if (v > static_cast<std::uint64_t>(INT64_MAX))
            throw FormatError(Code::TooLarge, "property set: property " + std::to_string(id) + " is too large",
                              p.offset);
        return static_cast<std::int64_t>(v);
    }
    default:
        throw FormatError(Code::BadValue, "property set: property " + std::to_string(id) + " is not an integer",
                          p.offset);
    }
}

std::string Section::string(std::uint32_t id) const
{
    const Property& p = require(id);
    ByteReader r = valueReader(p);
    const std::uint16_t t = type(id);
    if (t != VT_LPSTR && t != VT_LPWSTR)
        throw FormatError(Code::BadValue, "property set: property " + std::to_string(id) + " is not a string",
                          p.offset);
    const std::uint32_t count = r.u32le();
    const bool wide = t == VT_LPWSTR || codepage_ == 1200;
    const std::uint64_t bytes = t == VT_LPWSTR ? std::uint64_t{count} * 2 : count;
    if (bytes > r.remaining())
        throw FormatError(Code::Truncated,
                          "property set: property " + std::to_string(id) + " is longer than its section", r.offset());
    const auto raw = r.take(static_cast<std::size_t>(bytes));
    // The stored length counts the terminator; anything after the first one is padding.
    if (wide)
        return utf8FromUtf16le(raw);
    const auto end = std::find(raw.begin(), raw.end(), std::byte{0});
    if (codepage_ == 65001)
        return {reinterpret_cast<const char*>(raw.data()), static_cast<std::size_t>(end - raw.begin())};
    // Other ANSI code pages are read as Latin-1, their common subset with 1252.
    std::string text;
    for (auto c = raw.begin(); c != end; ++c)
        appendUtf8(text, std::to_integer<char32_t>(*c));
    return text;
}

ClipboardData Section::clipboard(std::uint32_t id) const
{
    const Property& p = require(id);
    if (type(id) != VT_CF)
        throw FormatError(Code::BadValue, "property set: property " + std::to_string(id) + " is not clipboard data",
                          p.offset);
    ByteReader r = valueReader(p);
    const std::size_t at = r.offset();
    const std::uint32_t size = r.u32le();
    if (size < 4)
        throw FormatError(Code::BadValue, "property set: clipboard data without a format", at);
    if (size > r.remaining())
        throw FormatError(Code::Truncated, "property set: clipboard data larger than its section", at);
    ClipboardData cf;
    cf.format = r.i32le();
    cf.data = r.take(size - 4);
    return cf;
}

} // namespace glimmer::oleps
