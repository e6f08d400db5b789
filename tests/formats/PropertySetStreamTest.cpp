#include "formats/PropertySetStream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace glimmer;
using namespace glimmer::oleps;

namespace {

constexpr Fmtid Summary = fmtid("F29F85E0-4FF9-1068-AB91-08002B27B3D9");

// Builds a one-section property set stream byte by byte.
struct StreamBuilder {
    struct Prop {
        std::uint32_t id;
        std::vector<std::byte> value;   // type, padding and value
    };
    std::vector<Prop> props;

    static void put16(std::vector<std::byte>& b, std::uint16_t v)
    {
        b.push_back(std::byte(v & 0xFF));
        b.push_back(std::byte(v >> 8));
    }
    static void put32(std::vector<std::byte>& b, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(std::byte((v >> (8 * i)) & 0xFF));
    }
    StreamBuilder& i4(std::uint32_t id, std::int32_t v)
    {
        std::vector<std::byte> b;
        put16(b, VT_I4);
        put16(b, 0);
        put32(b, static_cast<std::uint32_t>(v));
        props.push_back({id, b});
        return *this;
    }
    StreamBuilder& i2(std::uint32_t id, std::int16_t v)
    {
        std::vector<std::byte> b;
        put16(b, VT_I2);
        put16(b, 0);
        put16(b, static_cast<std::uint16_t>(v));
        put16(b, 0);
        props.push_back({id, b});
        return *this;
    }
    StreamBuilder& lpstr(std::uint32_t id, const char* s)
    {
        std::vector<std::byte> b;
        put16(b, VT_LPSTR);
        put16(b, 0);
        const auto n = static_cast<std::uint32_t>(std::strlen(s) + 1);
        put32(b, n);
        for (std::uint32_t i = 0; i < n; ++i)
            b.push_back(std::byte(static_cast<unsigned char>(s[i])));
        while (b.size() % 4)
            b.push_back(std::byte{0});
        props.push_back({id, b});
        return *this;
    }
    StreamBuilder& lpwstr(std::uint32_t id, const char16_t* s)
    {
        std::vector<std::byte> b;
        put16(b, VT_LPWSTR);
        put16(b, 0);
        const auto n = static_cast<std::uint32_t>(std::char_traits<char16_t>::length(s) + 1);
        put32(b, n);
        for (std::uint32_t i = 0; i < n; ++i)
            put16(b, s[i]);
        while (b.size() % 4)
            b.push_back(std::byte{0});
        props.push_back({id, b});
        return *this;
    }
    StreamBuilder& cf(std::uint32_t id, std::int32_t format, std::vector<std::byte> data)
    {
        std::vector<std::byte> b;
        put16(b, VT_CF);
        put16(b, 0);
        put32(b, static_cast<std::uint32_t>(data.size() + 4));
        put32(b, static_cast<std::uint32_t>(format));
        b.insert(b.end(), data.begin(), data.end());
        while (b.size() % 4)
            b.push_back(std::byte{0});
        props.push_back({id, b});
        return *this;
    }

    // Offsets of interest in the built stream.
    static constexpr std::size_t SectionOffset = 48;
    static std::size_t propertyEntry(std::size_t i) { return SectionOffset + 8 + 8 * i; }

    std::vector<std::byte> build() const
    {
        std::vector<std::byte> s;
        put16(s, 0xFFFE);
        put16(s, 0);
        put32(s, 0x00020006);
        s.resize(24, std::byte{0});
        put32(s, 1);
        s.insert(s.end(), Summary.begin(), Summary.end());
        put32(s, SectionOffset);
        std::vector<std::byte> body;
        std::uint32_t offset = static_cast<std::uint32_t>(8 + 8 * props.size());
        std::vector<std::byte> table;
        for (const Prop& p : props) {
            put32(table, p.id);
            put32(table, offset);
            body.insert(body.end(), p.value.begin(), p.value.end());
            offset += static_cast<std::uint32_t>(p.value.size());
        }
        put32(s, offset);
        put32(s, static_cast<std::uint32_t>(props.size()));
        s.insert(s.end(), table.begin(), table.end());
        s.insert(s.end(), body.begin(), body.end());
        return s;
    }
};

void setU32(std::vector<std::byte>& s, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s.at(at + static_cast<std::size_t>(i)) = std::byte((v >> (8 * i)) & 0xFF);
}

std::vector<std::byte> bytes(std::initializer_list<unsigned> list)
{
    std::vector<std::byte> b;
    for (unsigned v : list)
        b.push_back(std::byte(v));
    return b;
}

StreamBuilder typical()
{
    StreamBuilder b;
    b.i2(PID_CODEPAGE, 1252).lpstr(2, "Title").i4(9, -7).cf(PID_THUMBNAIL, -1, bytes({3, 0, 0, 0, 0xAA, 0xBB}));
    return b;
}

} // namespace

TEST(PropertySetStream, FmtidTextMatchesItsStoredBytes)
{
    // The summary set's FMTID as it appears at byte 28 of every such stream.
    const auto stored = bytes({0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10, 0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9});
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), Summary.begin()));
}

TEST(PropertySetStream, ReadsIntegersStringsAndClipboardData)
{
    // UTF-16 with a pair of surrogates and a lone one; an ANSI string in 1252.
    const auto stream = typical().lpwstr(3, u"W\u00e9de \U0001F600 \xD800!").lpstr(4, "caf\xE9").build();
    const PropertySetStream set(stream);
    const Section* s = set.section(Summary);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(set.section(fmtid("3D38DE39-0588-4C14-BB37-18F4D5DD31C7")), nullptr);
    EXPECT_EQ(s->integer(9), -7);
    EXPECT_EQ(s->integer(PID_CODEPAGE), 1252);
    EXPECT_EQ(s->string(2), "Title");
    EXPECT_EQ(s->string(3), "W\xC3\xA9" "de \xF0\x9F\x98\x80 \xEF\xBF\xBD!");
    EXPECT_EQ(s->string(4), "caf\xC3\xA9");
    // In code page 65001 the string is UTF-8 already.
    StreamBuilder utf8;
    utf8.i2(PID_CODEPAGE, static_cast<std::int16_t>(65001)).lpstr(2, "caf\xC3\xA9");
    const auto utf8Stream = utf8.build();
    EXPECT_EQ(PropertySetStream(utf8Stream).section(Summary)->string(2), "caf\xC3\xA9");
    const ClipboardData cf = s->clipboard(PID_THUMBNAIL);
    EXPECT_EQ(cf.format, -1);
    EXPECT_EQ(std::vector<std::byte>(cf.data.begin(), cf.data.end()), bytes({3, 0, 0, 0, 0xAA, 0xBB}));
    EXPECT_EQ(PropertySetStream::peekFmtid(stream), Summary);
}

TEST(PropertySetStream, WrongTypeOrMissingPropertyIsANamedError)
{
    const auto stream = typical().build();
    const PropertySetStream set(stream);
    const Section& s = *set.section(Summary);
    const auto code = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const FormatError& e) {
            return e.code();
        }
        return FormatError::Code::Io;   // "did not throw"
    };
    EXPECT_EQ(code([&] { s.integer(2); }), FormatError::Code::BadValue);
    EXPECT_EQ(code([&] { s.string(9); }), FormatError::Code::BadValue);
    EXPECT_EQ(code([&] { s.clipboard(9); }), FormatError::Code::BadValue);
    EXPECT_EQ(code([&] { s.clipboard(42); }), FormatError::Code::NotFound);
}

// Each row damages the typical stream in one place.
struct StreamDamage {
    const char* name;
    std::function<void(std::vector<std::byte>&)> apply;
    FormatError::Code code;
    const char* text;
    bool atParse;   // false: the damage shows when the property is read
};

class PropertySetDamage : public ::testing::TestWithParam<StreamDamage> {};

TEST_P(PropertySetDamage, GivesANamedErrorNeverACrash)
{
    const StreamDamage& d = GetParam();
    auto stream = typical().build();
    d.apply(stream);
    try {
        const PropertySetStream set(stream);
        ASSERT_FALSE(d.atParse) << "parsed without complaint";
        const Section* s = set.section(Summary);
        ASSERT_NE(s, nullptr);
        s->string(2);
        s->clipboard(PID_THUMBNAIL);
        FAIL() << "read without complaint";
    } catch (const FormatError& e) {
        EXPECT_EQ(e.code(), d.code) << e.what();
        EXPECT_NE(std::string(e.what()).find(d.text), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PropertySetDamage,
    ::testing::Values(
        StreamDamage{"Empty", [](auto& s) { s.clear(); }, FormatError::Code::Truncated, "shorter than its header", true},
        StreamDamage{"ByteOrder", [](auto& s) { s[0] = std::byte{0}; }, FormatError::Code::BadSignature, "byte order", true},
        StreamDamage{"NoSections", [](auto& s) { setU32(s, 24, 0); }, FormatError::Code::BadValue, "no sections", true},
        StreamDamage{"ManySections", [](auto& s) { setU32(s, 24, 0x10000); }, FormatError::Code::TooLarge, "too many sections", true},
        StreamDamage{"SectionOffsetBeyondStream", [](auto& s) { setU32(s, 44, 0x7FFFFFFF); }, FormatError::Code::Truncated,
               "section offset beyond", true},
        StreamDamage{"SectionSizeBeyondStream", [](auto& s) { setU32(s, 48, 0xFFFFFFF0); }, FormatError::Code::Truncated,
               "section size beyond", true},
        StreamDamage{"ManyProperties", [](auto& s) { setU32(s, 52, 0x40000000); }, FormatError::Code::TooLarge,
               "too many properties", true},
        StreamDamage{"PropertyListBeyondSection", [](auto& s) { setU32(s, 52, 1000); }, FormatError::Code::Truncated,
               "property list beyond", true},
        StreamDamage{"PropertyOffsetBeyondStream",
               [](auto& s) { setU32(s, StreamBuilder::propertyEntry(3) + 4, 0x00100000); },
               FormatError::Code::Truncated, "property 17 lies beyond", true},
        StreamDamage{"StringLengthBeyondStream",
               [](auto& s) { setU32(s, StreamBuilder::SectionOffset + 8 + 8 * 4 + 8 + 4, 0x7FFFFFFF); },
               FormatError::Code::Truncated, "property 2 is longer", false},
        StreamDamage{"ClipboardSizeBeyondStream",
               [](auto& s) { setU32(s, s.size() - 8 - 4 - 4, 0x7FFFFFFF); },   // the VT_CF size field
               FormatError::Code::Truncated, "clipboard data larger", false},
        StreamDamage{"ClipboardWithoutFormat", [](auto& s) { setU32(s, s.size() - 8 - 4 - 4, 2); },
               FormatError::Code::BadValue, "without a format", false}),
    [](const auto& row) { return std::string(row.param.name); });
