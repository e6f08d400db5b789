#include "formats/CompoundFile.h"
#include "formats/Metafile.h"
#include "formats/MetafilePlayer.h"
#include "formats/MetafileReader.h"
#include "system/FileSource.h"
#include "tests/support/BitmapFiles.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

using namespace glimmer;
using Code = FormatError::Code;

namespace {

Bytes left(const Bytes& a, std::size_t n)
{
    return Bytes(a.begin(), a.begin() + std::ptrdiff_t(std::min(n, a.size())));
}

Bytes text(const char* s, std::size_t n)
{
    const auto* p = reinterpret_cast<const std::byte*>(s);
    return Bytes(p, p + n);
}

// A picture whose every pixel differs from its neighbours.
Image pattern(Size size)
{
    Image img(size, PixelFormat::Xrgb32);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
            img.setPixel(x, y, rgb(unsigned(x * 37 + y * 11) & 0xFF, unsigned(x * 5 + y * 71) & 0xFF,
                                   unsigned(x * y + 3 * x + 7) & 0xFF));
    return img;
}

Image canvasOf(Size size, std::uint32_t colour = White)
{
    Image canvas(size, PixelFormat::Xrgb32);
    canvas.fill(colour);
    return canvas;
}

// Plays into a white canvas; null when play refuses.
Image playInto(const Bytes& wmf, Size size, Rect target = {})
{
    Image canvas = canvasOf(size);
    if (!wmf::play(canvas, wmf, target.isEmpty() ? canvas.rect() : target))
        return {};
    return canvas;
}

testing::AssertionResult samePixels(const Image& a, const Image& b)
{
    if (a.size() != b.size())
        return testing::AssertionFailure() << "sizes " << a.width() << "x" << a.height() << " and " << b.width() << "x"
                                           << b.height();
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return testing::AssertionFailure() << "pixel (" << x << ", " << y << "): " << std::hex << a.pixel(x, y)
                                                   << " and " << b.pixel(x, y);
    return testing::AssertionSuccess();
}

bool allWhite(const Image& img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != White)
                return false;
    return true;
}

void put16(Bytes& a, std::size_t at, std::uint16_t v)
{
    a[at] = std::byte(v & 0xFF);
    a[at + 1] = std::byte(v >> 8);
}
void put32(Bytes& a, std::size_t at, std::uint32_t v)
{
    put16(a, at, v & 0xFFFF);
    put16(a, at + 2, static_cast<std::uint16_t>(v >> 16));
}

// Builds a metafile record by record; the header's sizes are filled in by bytes().
class Builder {
public:
    Builder& words(std::uint16_t function, std::initializer_list<int> params)
    {
        std::vector<std::uint16_t> w;
        for (int p : params)
            w.push_back(static_cast<std::uint16_t>(p));
        return raw(function, w, {});
    }
    // A record of 16-bit parameters followed by a tail of bytes (a bitmap).
    Builder& raw(std::uint16_t function, const std::vector<std::uint16_t>& params, const Bytes& tail)
    {
        Bytes r(6);
        for (auto p : params) {
            r.push_back(std::byte(p & 0xFF));
            r.push_back(std::byte(p >> 8));
        }
        r.insert(r.end(), tail.begin(), tail.end());
        if (r.size() % 2)
            r.push_back(std::byte{0});
        put32(r, 0, static_cast<std::uint32_t>(r.size() / 2));
        put16(r, 4, function);
        maxRecord_ = std::max<std::uint32_t>(maxRecord_, static_cast<std::uint32_t>(r.size() / 2));
        records_.insert(records_.end(), r.begin(), r.end());
        return *this;
    }
    Builder& objects(int n)
    {
        objects_ = n;
        return *this;
    }
    Bytes bytes() const
    {
        Bytes out(18);
        put16(out, 0, 1);
        put16(out, 2, 9);
        put16(out, 4, 0x0300);
        put32(out, 6, static_cast<std::uint32_t>((18 + records_.size() + 6) / 2));
        put16(out, 10, static_cast<std::uint16_t>(objects_));
        put32(out, 12, maxRecord_);
        out.insert(out.end(), records_.begin(), records_.end());
        const Bytes eof{std::byte{3}, {}, {}, {}, {}, {}};
        out.insert(out.end(), eof.begin(), eof.end());
        return out;
    }

private:
    Bytes records_;
    int objects_ = 0;
    std::uint32_t maxRecord_ = 3;
};

// A DIB of `bits` per pixel; pixel (x, y) (y from the top) holds colour
// index (x + 2y) mod the table size, or for 16 bits and more the colour
// `direct(x, y)`. `expected` receives the picture as it should play.
Bytes makeDib(int w, int h, int bits, bool topDown, Image* expected, bool coreHeader = false)
{
    const int tableSize = bits <= 8 ? (1 << bits) : 0;
    std::vector<std::uint32_t> table;
    for (int i = 0; i < tableSize; ++i)
        table.push_back(rgb(unsigned(i * 97) & 0xFF, unsigned(i * 31 + 50) & 0xFF, unsigned(255 - i * 13) & 0xFF));
    const auto direct = [bits](int x, int y) {
        // 16-bit pixels hold 5 bits a channel: keep values that survive expansion.
        const unsigned r = unsigned(x * 40 + 8) & 0xFF, g = unsigned(y * 24 + 16) & 0xFF, b = unsigned(x * y * 8) & 0xFF;
        if (bits == 16)
            return rgb((r & 0xF8) | (r >> 5), (g & 0xF8) | (g >> 5), (b & 0xF8) | (b >> 5));
        return rgb(r, g, b);
    };
    Bytes dib(coreHeader ? 12 : 40);
    if (coreHeader) {
        put32(dib, 0, 12);
        put16(dib, 4, static_cast<std::uint16_t>(w));
        put16(dib, 6, static_cast<std::uint16_t>(h));
        put16(dib, 8, 1);
        put16(dib, 10, static_cast<std::uint16_t>(bits));
    } else {
        put32(dib, 0, 40);
        put32(dib, 4, static_cast<std::uint32_t>(w));
        put32(dib, 8, static_cast<std::uint32_t>(topDown ? -h : h));
        put16(dib, 12, 1);
        put16(dib, 14, static_cast<std::uint16_t>(bits));
    }
    for (std::uint32_t c : table) {
        dib.push_back(std::byte(blueOf(c)));
        dib.push_back(std::byte(greenOf(c)));
        dib.push_back(std::byte(redOf(c)));
        if (!coreHeader)
            dib.push_back(std::byte{0});
    }
    *expected = Image(w, h, PixelFormat::Xrgb32);
    const std::size_t rowBytes = std::size_t((w * bits + 31) / 32) * 4;
    for (int row = 0; row < h; ++row) {
        const int y = topDown ? row : h - 1 - row;
        Bytes line(rowBytes);
        for (int x = 0; x < w; ++x) {
            if (bits <= 8) {
                const int index = (x + 2 * y) % tableSize;
                expected->setPixel(x, y, table[static_cast<std::size_t>(index)]);
                const int bit = x * bits;
                line[std::size_t(bit / 8)] |= std::byte(index << (8 - bits - bit % 8));
                continue;
            }
            const std::uint32_t c = direct(x, y);
            expected->setPixel(x, y, c);
            if (bits == 16) {
                put16(line, 2 * std::size_t(x),
                      static_cast<std::uint16_t>(((redOf(c) >> 3) << 10) | ((greenOf(c) >> 3) << 5) | (blueOf(c) >> 3)));
            } else {
                const std::size_t n = std::size_t(bits / 8) * std::size_t(x);
                line[n] = std::byte(blueOf(c));
                line[n + 1] = std::byte(greenOf(c));
                line[n + 2] = std::byte(redOf(c));
            }
        }
        dib.insert(dib.end(), line.begin(), line.end());
    }
    return dib;
}

// A metafile of one bitmap record of the given function, drawn 1:1 over a w×h window.
Bytes bitmapMetafile(std::uint16_t function, int w, int h, const Bytes& dib)
{
    Builder b;
    b.words(wmf::META_SETWINDOWORG, {0, 0}).words(wmf::META_SETWINDOWEXT, {h, w});
    const std::uint16_t lo = 0x0020, hi = 0x00CC;   // SRCCOPY
    const auto u = [](int v) { return static_cast<std::uint16_t>(v); };
    switch (function) {
    case wmf::META_DIBBITBLT:
        b.raw(function, {lo, hi, 0, 0, u(h), u(w), 0, 0}, dib);
        break;
    case wmf::META_DIBSTRETCHBLT:
        b.raw(function, {lo, hi, u(h), u(w), 0, 0, u(h), u(w), 0, 0}, dib);
        break;
    default:
        b.raw(function, {lo, hi, 0, u(h), u(w), 0, 0, u(h), u(w), 0, 0}, dib);
        break;
    }
    return b.bytes();
}

} // namespace

TEST(Metafile, ImageRoundTripsExactlyThroughPlaceableFile)
{
    // Odd widths need row padding: 1, 2 and 3 bytes of it.
    for (Size size : {Size{1, 1}, Size{2, 3}, Size{3, 2}, Size{5, 7}, Size{180, 180}, Size{181, 17}}) {
        SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
        const Image image = pattern(size);
        const Bytes wmf = wmf::fromImage(image);
        const Bytes file = wmf::toPlaceable(wmf, size);
        EXPECT_EQ(file.size(), wmf.size() + 22);

        const wmf::Metafile mf = wmf::read(file);
        EXPECT_TRUE(mf.header.placeable);
        EXPECT_EQ(mf.header.bounds, (Rect{0, 0, size.width, size.height}));
        EXPECT_EQ(mf.header.inch, 96);
        EXPECT_EQ(wmf::naturalSize(file), size);
        EXPECT_EQ(wmf::naturalSize(wmf), size);
        EXPECT_EQ(wmf::toPlaceable(file, {}), file) << "already placeable: unchanged";

        EXPECT_TRUE(samePixels(playInto(file, size), image));
        EXPECT_TRUE(samePixels(playInto(wmf, size), image));
    }
}

TEST(Metafile, WriterFlattensTransparencyOntoWhite)
{
    Image image(2, 1, PixelFormat::Argb32);
    image.setPixel(0, 0, argb(0, 0, 0, 0));
    image.setPixel(1, 0, argb(255, 10, 20, 30));
    const Image played = playInto(wmf::fromImage(image), {2, 1});
    EXPECT_EQ(played.pixel(0, 0), White);
    EXPECT_EQ(played.pixel(1, 0), rgb(10, 20, 30));
}

TEST(Metafile, WriterRefusesWhatItCannotHold)
{
    // Every row of the large one is the same row: only the size matters.
    std::vector<std::byte> oneRow(6000 * 4);
    const struct {
        const char* name;
        Image image;
        Code code;
    } cases[] = {
        {"null image", Image(), Code::BadValue},
        {"wider than 16-bit coordinates", Image(40000, 1, PixelFormat::Xrgb32), Code::TooLarge},
        {"over the byte limit", Image::wrap(oneRow.data(), 6000, 6000, 0, PixelFormat::Xrgb32), Code::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            wmf::fromImage(c.image);
            ADD_FAILURE() << "no error";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
        }
    }
}

TEST(Metafile, DamagedMetafilesGiveNamedErrorsAndDrawNothing)
{
    const Bytes good = wmf::fromImage(pattern({7, 5}));
    const Bytes placeable = wmf::toPlaceable(good, {7, 5});
    const std::size_t firstRecord = 18;                       // SETWINDOWORG
    const std::size_t dibRecord = 18 + 10 + 10;               // STRETCHDIB
    const std::size_t eof = good.size() - 6;
    const auto edit = [](Bytes a, const std::function<void(Bytes&)>& f) {
        f(a);
        return a;
    };
    Builder bomb;
    for (std::size_t i = 0; i <= wmf::Limits::maxRecords; ++i)
        bomb.words(wmf::META_SETBKMODE, {1});

    const struct {
        const char* name;
        Bytes bytes;
        Code code;
    } cases[] = {
        {"empty", Bytes(), Code::Truncated},
        {"three bytes", left(good, 3), Code::Truncated},
        {"cut inside the header", left(good, 10), Code::Truncated},
        {"header only", left(good, 18), Code::Truncated},
        {"cut inside a record", left(good, dibRecord + 100), Code::Truncated},
        {"cut before the end record", left(good, eof), Code::Truncated},
        {"not a metafile", text("\x89PNG\r\n\x1a\n and more bytes to pass the header", 40), Code::BadSignature},
        {"header size 10 words", edit(good, [](Bytes& a) { put16(a, 2, 10); }), Code::BadValue},
        {"version 0x200", edit(good, [](Bytes& a) { put16(a, 4, 0x0200); }), Code::Unsupported},
        {"size below the header", edit(good, [](Bytes& a) { put32(a, 6, 5); }), Code::BadValue},
        {"size a billion words", edit(good, [](Bytes& a) { put32(a, 6, 1'000'000'000); }), Code::TooLarge},
        {"size one word short", edit(good, [&](Bytes& a) { put32(a, 6, static_cast<std::uint32_t>(good.size() / 2 - 1)); }), Code::Truncated},
        {"record size 0", edit(good, [&](Bytes& a) { put32(a, firstRecord, 0); }), Code::BadValue},
        {"record size 2", edit(good, [&](Bytes& a) { put32(a, firstRecord, 2); }), Code::BadValue},
        {"record size beyond the end", edit(good, [&](Bytes& a) { put32(a, dibRecord, 0x7FFFFFFF); }), Code::Truncated},
        {"no end record", edit(good, [&](Bytes& a) { put16(a, eof + 4, wmf::META_SETBKMODE); }), Code::Truncated},
        {"placeable checksum wrong", edit(placeable, [](Bytes& a) { a[20] ^= std::byte{1}; }), Code::BadValue},
        {"placeable bounds changed", edit(placeable, [](Bytes& a) { put16(a, 10, 8); }), Code::BadValue},
        {"cut inside the placeable header", left(placeable, 21), Code::Truncated},
        {"one record over the limit", bomb.bytes(), Code::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            wmf::read(c.bytes);
            ADD_FAILURE() << "read: no error";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
        }
        EXPECT_THROW(wmf::naturalSize(c.bytes), FormatError);
        EXPECT_THROW(wmf::toPlaceable(c.bytes, {7, 5}), FormatError);
        Image canvas = canvasOf({7, 5});
        EXPECT_FALSE(wmf::play(canvas, c.bytes, canvas.rect())) << "play accepted it";
        EXPECT_TRUE(allWhite(canvas)) << "drew before failing";
    }
}

TEST(Metafile, DamagedRecordsStopPlaybackBeforeAnythingIsDrawn)
{
    Image expected;
    const Bytes dib = makeDib(4, 3, 24, false, &expected);
    const auto withDib = [&](const std::function<void(Bytes&)>& f) {
        Bytes d = dib;
        f(d);
        return d;
    };
    // Each metafile first fills the window black, then holds the damaged record.
    const auto after = [](const std::function<void(Builder&)>& damaged) {
        Builder b;
        b.objects(1).words(wmf::META_SETWINDOWEXT, {3, 4});
        b.words(wmf::META_CREATEBRUSHINDIRECT, {0, 0, 0, 0}).words(wmf::META_SELECTOBJECT, {0});
        b.words(wmf::META_RECTANGLE, {3, 4, 0, 0});
        damaged(b);
        return b.bytes();
    };
    const auto bitmap = [&](const Bytes& d) {
        return after([&](Builder& b) { b.raw(wmf::META_DIBBITBLT, {0x0020, 0x00CC, 0, 0, 3, 4, 0, 0}, d); });
    };

    const struct {
        const char* name;
        Bytes bytes;
        Code code;
    } cases[] = {
        {"pixels beyond the record", bitmap(withDib([](Bytes& d) { put32(d, 8, 30); })), Code::Truncated},
        {"header cut off", bitmap(left(dib, 20)), Code::Truncated},
        {"header size 20", bitmap(withDib([](Bytes& d) { put32(d, 0, 20); })), Code::BadValue},
        {"header size beyond the record", bitmap(withDib([](Bytes& d) { put32(d, 0, 1000); })), Code::Truncated},
        {"width 0", bitmap(withDib([](Bytes& d) { put32(d, 4, 0); })), Code::BadValue},
        {"negative width", bitmap(withDib([](Bytes& d) { put32(d, 4, 0xFFFFFFFC); })), Code::BadValue},
        {"height INT_MIN", bitmap(withDib([](Bytes& d) { put32(d, 8, 0x80000000); })), Code::BadValue},
        {"a million squared", bitmap(withDib([](Bytes& d) { put32(d, 4, 1'000'000); put32(d, 8, 1'000'000); })), Code::TooLarge},
        {"two planes", bitmap(withDib([](Bytes& d) { put16(d, 12, 2); })), Code::BadValue},
        {"300 colours for 8 bits", bitmap(withDib([](Bytes& d) { put16(d, 14, 8); put32(d, 32, 300); })), Code::BadValue},
        {"bitmap record cut before the bitmap", after([](Builder& b) { b.words(wmf::META_DIBBITBLT, {0x0020, 0x00CC, 0, 0}); }), Code::Truncated},
        {"polyline of more points than it holds", after([](Builder& b) { b.words(wmf::META_POLYLINE, {100, 0, 0, 1, 1}); }), Code::Truncated},
        {"polygon of a negative count", after([](Builder& b) { b.words(wmf::META_POLYGON, {-2, 0, 0}); }), Code::BadValue},
        {"polypolygon counts beyond the record", after([](Builder& b) { b.words(wmf::META_POLYPOLYGON, {2, 3}); }), Code::Truncated},
        {"rectangle cut short", after([](Builder& b) { b.words(wmf::META_RECTANGLE, {1, 2}); }), Code::Truncated},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image canvas = canvasOf({4, 3});
        try {
            wmf::render(canvas, c.bytes, canvas.rect());
            ADD_FAILURE() << "render: no error";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
            EXPECT_GT(e.offset(), 18u) << "the offset points into the records";
        }
        EXPECT_FALSE(wmf::play(canvas, c.bytes, canvas.rect()));
        EXPECT_TRUE(allWhite(canvas)) << "drew before failing";
        EXPECT_EQ(wmf::naturalSize(c.bytes), (Size{4, 3})) << "the structure itself reads";
    }
}

TEST(Metafile, BitmapKindsAndRecordsPlayPixelExact)
{
    const struct {
        int bits;
        bool topDown;
        bool core;
    } kinds[] = {{1, false, false}, {4, false, false}, {8, false, false}, {8, true, false}, {16, false, false},
                 {24, false, false}, {24, true, false}, {32, false, false}, {32, true, false}, {8, false, true},
                 {24, false, true}};
    for (std::uint16_t function : {wmf::META_DIBBITBLT, wmf::META_DIBSTRETCHBLT, wmf::META_STRETCHDIB}) {
        for (const auto& k : kinds) {
            SCOPED_TRACE(testing::Message() << "function " << function << ", " << k.bits << " bits"
                                            << (k.topDown ? ", top-down" : "") << (k.core ? ", core header" : ""));
            Image expected;
            const int w = 13, h = 6;   // 13 pixels: every row needs padding at some depth
            const Bytes wmf = bitmapMetafile(function, w, h, makeDib(w, h, k.bits, k.topDown, &expected, k.core));
            EXPECT_TRUE(samePixels(playInto(wmf, {w, h}), expected));
        }
    }
    // Compressed, bit-field and version 5 bitmaps, packed as a bitmap file holds them.
    const test::BitmapFormat packed[] = {{8, 1}, {4, 2}, {16, 3, false, 40, 0xF800, 0x07E0, 0x001F},
                                         {32, 3, false, 108, 0x0000FF, 0x00FF00, 0xFF0000}, {24, 0, false, 124}};
    for (const auto& f : packed) {
        SCOPED_TRACE(testing::Message() << f.bitCount << " bits, compression " << f.compression);
        const Image picture = test::cornerPicture(13, 6);
        const Bytes file = test::makeBitmapFile(picture, f);
        const Bytes dib(file.begin() + 14, file.end());
        EXPECT_TRUE(samePixels(playInto(bitmapMetafile(wmf::META_STRETCHDIB, 13, 6, dib), {13, 6}), picture));
    }
}

TEST(Metafile, UnsupportedBitmapIsSkippedNotFatal)
{
    Image expected;
    Bytes dib = makeDib(4, 3, 8, false, &expected);
    put32(dib, 16, 4);   // BI_JPEG
    const Image played = playInto(bitmapMetafile(wmf::META_STRETCHDIB, 4, 3, dib), {4, 3});
    ASSERT_FALSE(played.isNull());
    EXPECT_TRUE(allWhite(played));
}

TEST(Metafile, SourceRectangleOfABottomUpBitmapCountsFromItsBottom)
{
    Image full;
    const Bytes dib = makeDib(6, 4, 24, false, &full);
    // Source (1, 0) 3×2 of a bottom-up bitmap of 4 rows: its bottom two rows.
    Builder b;
    b.words(wmf::META_SETWINDOWEXT, {2, 3});
    b.raw(wmf::META_DIBSTRETCHBLT, {0x0020, 0x00CC, 2, 3, 0, 1, 2, 3, 0, 0}, dib);
    EXPECT_TRUE(samePixels(playInto(b.bytes(), {3, 2}), full.copy({1, 2, 3, 2})));
}

TEST(Metafile, ScaledBitmapsTakeTheNearestPixelAndFillTheTarget)
{
    // Black beside white, doubled and more: no blended seam.
    Image pair(2, 1, PixelFormat::Xrgb32);
    pair.setPixel(0, 0, Black);
    pair.setPixel(1, 0, White);
    Image canvas = canvasOf({10, 4}, rgb(255, 0, 0));
    ASSERT_TRUE(wmf::play(canvas, wmf::fromImage(pair), {1, 1, 8, 2}));
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 4; ++y) {
            const bool inside = x >= 1 && x < 9 && y >= 1 && y < 3;
            EXPECT_EQ(canvas.pixel(x, y), !inside ? rgb(255, 0, 0) : x < 5 ? Black : White) << x << "," << y;
        }

    // Halved, each target pixel takes the source pixel under its centre.
    const Image stripes = pattern({4, 2});
    const Image half = playInto(wmf::fromImage(stripes), {2, 1});
    EXPECT_EQ(half.pixel(0, 0), stripes.pixel(1, 1));
    EXPECT_EQ(half.pixel(1, 0), stripes.pixel(3, 1));
}

TEST(Metafile, BitmapStretchedFarPastTheTargetFillsWhatShows)
{
    // One pixel spread over 32767 window units of one target pixel each
    // would be a picture of 10^9 pixels if it were scaled ahead.
    Image one;
    const Bytes dib = makeDib(1, 1, 24, false, &one);
    Builder b;
    b.words(wmf::META_SETWINDOWEXT, {1, 1});
    b.raw(wmf::META_STRETCHDIB, {0x0020, 0x00CC, 0, 1, 1, 0, 0, 32767, 32767, 0xFF9C, 0xFF9C}, dib);   // at (-100, -100)
    const Image played = playInto(b.bytes(), {10, 10});
    ASSERT_FALSE(played.isNull());
    EXPECT_EQ(played.pixel(0, 0), one.pixel(0, 0));
    EXPECT_EQ(played.pixel(9, 9), one.pixel(0, 0));
}

TEST(Metafile, BitmapAtNaturalSizeIsExactAtAnOffset)
{
    const Image image = pattern({9, 4});
    Image canvas = canvasOf({20, 10});
    ASSERT_TRUE(wmf::play(canvas, wmf::fromImage(image), {5, 3, 9, 4}));
    EXPECT_TRUE(samePixels(canvas.copy({5, 3, 9, 4}), image));
    EXPECT_EQ(canvas.pixel(4, 3), White);
    EXPECT_EQ(canvas.pixel(14, 3), White);
}

TEST(Metafile, DrawingRecordsUseTheObjectTableAndDeviceContext)
{
    const std::uint32_t red = rgb(255, 0, 0), blue = rgb(0, 0, 255);
    // A solid brush of colour (r, g, b); a null pen.
    const auto brush = [](Builder& b, int r, int g, int bl) {
        b.words(wmf::META_CREATEBRUSHINDIRECT, {0, r | (g << 8), bl, 0});
    };
    const auto nullPen = [](Builder& b) { b.words(wmf::META_CREATEPENINDIRECT, {5, 0, 0, 0, 0}); };
    const struct {
        const char* name;
        std::function<void(Builder&)> records;
        Point probe;   // in the 200×200 canvas; the window is 100×100
        std::uint32_t colour;
    } cases[] = {
        {"rectangle filled with the selected brush",
         [&](Builder& b) { nullPen(b); brush(b, 255, 0, 0); b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_RECTANGLE, {50, 50, 10, 10}); },
         {60, 60}, red},
        {"outside the rectangle stays white",
         [&](Builder& b) { nullPen(b); brush(b, 255, 0, 0); b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_RECTANGLE, {50, 50, 10, 10}); },
         {150, 150}, White},
        {"a deleted slot is reused by the next object",
         [&](Builder& b) {
             brush(b, 255, 0, 0);   // slot 0
             nullPen(b);            // slot 1
             b.words(wmf::META_DELETEOBJECT, {0});
             brush(b, 0, 0, 255);   // slot 0 again
             b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_RECTANGLE, {100, 100, 0, 0});
         },
         {100, 100}, blue},
        {"a font holds a slot too",
         [&](Builder& b) {
             b.words(wmf::META_CREATEFONTINDIRECT, {12, 0, 0, 0, 400, 0, 0, 0, 0});   // slot 0
             brush(b, 0, 0, 255);                                                     // slot 1
             nullPen(b);                                                              // slot 2
             b.words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_SELECTOBJECT, {2}).words(wmf::META_RECTANGLE, {100, 100, 0, 0});
         },
         {100, 100}, blue},
        {"selecting an empty slot changes nothing",
         [&](Builder& b) { nullPen(b); b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {7}).words(wmf::META_RECTANGLE, {100, 100, 0, 0}); },
         {100, 100}, White},
        {"RESTOREDC -1 brings back the saved brush",
         [&](Builder& b) {
             brush(b, 255, 0, 0); brush(b, 0, 0, 255); nullPen(b);
             b.words(wmf::META_SELECTOBJECT, {2}).words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SAVEDC, {});
             b.words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_RESTOREDC, {-1}).words(wmf::META_ELLIPSE, {100, 100, 0, 0});
         },
         {100, 100}, red},
        {"RESTOREDC -1 takes the newest of two saves",
         [&](Builder& b) {
             brush(b, 255, 0, 0); brush(b, 0, 0, 255); nullPen(b);
             b.words(wmf::META_SELECTOBJECT, {2}).words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SAVEDC, {});
             b.words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_SAVEDC, {}).words(wmf::META_SELECTOBJECT, {0});
             b.words(wmf::META_RESTOREDC, {-1}).words(wmf::META_RECTANGLE, {100, 100, 0, 0});
         },
         {100, 100}, blue},
        {"RESTOREDC 1 takes the oldest save",
         [&](Builder& b) {
             brush(b, 255, 0, 0); brush(b, 0, 0, 255); nullPen(b);
             b.words(wmf::META_SELECTOBJECT, {2}).words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SAVEDC, {});
             b.words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_SAVEDC, {});
             b.words(wmf::META_RESTOREDC, {1}).words(wmf::META_RECTANGLE, {100, 100, 0, 0});
         },
         {100, 100}, red},
        {"polygon of the current brush",
         [&](Builder& b) { nullPen(b); brush(b, 0, 0, 255); b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_POLYGON, {3, 0, 0, 100, 0, 0, 100}); },
         {40, 40}, blue},
        {"polypolygon's second ring is a hole",
         [&](Builder& b) {
             nullPen(b); brush(b, 0, 0, 255);
             b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1});
             b.words(wmf::META_POLYPOLYGON, {2, 4, 4, 0, 0, 100, 0, 100, 100, 0, 100, 25, 25, 75, 25, 75, 75, 25, 75});
         },
         {100, 100}, White},
        {"a wide line from MOVETO to LINETO",
         [&](Builder& b) { b.words(wmf::META_CREATEPENINDIRECT, {0, 4, 0, 0, 0}).words(wmf::META_SELECTOBJECT, {0}); b.words(wmf::META_MOVETO, {50, 0}).words(wmf::META_LINETO, {50, 100}); },
         {120, 100}, Black},
        {"the window origin moves the drawing",
         [&](Builder& b) { nullPen(b); brush(b, 255, 0, 0); b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_SETWINDOWORG, {50, 50}).words(wmf::META_RECTANGLE, {100, 100, 50, 50}); },
         {20, 20}, red},
        {"PATBLT with PATCOPY fills with the brush",
         [&](Builder& b) { brush(b, 0, 0, 255); b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_PATBLT, {0x0021, 0x00F0, 100, 100, 0, 0}); },
         {199, 199}, blue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Builder b;
        b.objects(4).words(wmf::META_SETWINDOWEXT, {100, 100});
        c.records(b);
        const Image played = playInto(b.bytes(), {200, 200});
        ASSERT_FALSE(played.isNull());
        EXPECT_EQ(played.pixel(c.probe.x, c.probe.y), c.colour) << std::hex << played.pixel(c.probe.x, c.probe.y);
    }
}

TEST(Metafile, TheWorkBudgetCountsEveryShapeToThePixel)
{
    // Three fills of the largest canvas and one a row short of it leave
    // 4096 pixels of the budget; a fill of w × h at the origin takes the
    // (w + 1)(h + 1) target pixels round it; then an empty rectangle without
    // a pen costs its five corners and the 2 × 2 pixels round its one point:
    // 5 × 64 + 4 = 324.
    const auto metafile = [](int w, int h) {
        const int side = wmf::Limits::maxCanvas;
        Builder b;
        b.objects(1).words(wmf::META_SETWINDOWEXT, {side, side});
        b.words(wmf::META_CREATEPENINDIRECT, {5, 0, 0, 0, 0}).words(wmf::META_SELECTOBJECT, {0});
        for (int i = 0; i < 3; ++i)
            b.words(wmf::META_PATBLT, {0x0021, 0x00F0, side, side, 0, 0});
        b.words(wmf::META_PATBLT, {0x0021, 0x00F0, side - 2, side, 0, 0});
        b.words(wmf::META_PATBLT, {0x0021, 0x00F0, h, w, 0, 0});
        return b.words(wmf::META_RECTANGLE, {10, 10, 10, 10}).bytes();
    };
    Image none;   // counted, not drawn
    EXPECT_NO_THROW(wmf::render(none, metafile(91, 40), {0, 0, 4096, 4096})) << "4096 - 92 × 41 = 324 left";
    EXPECT_THROW(wmf::render(none, metafile(342, 10), {0, 0, 4096, 4096}), FormatError) << "4096 - 343 × 11 = 323 left";
}

TEST(Metafile, DrawingStaysInsideTheTarget)
{
    Builder b;
    b.objects(1).words(wmf::META_SETWINDOWEXT, {10, 10});
    b.words(wmf::META_CREATEBRUSHINDIRECT, {0, 255, 0, 0}).words(wmf::META_SELECTOBJECT, {0});
    b.words(wmf::META_RECTANGLE, {50, 50, -50, -50});
    Image canvas = canvasOf({30, 30});
    ASSERT_TRUE(wmf::play(canvas, b.bytes(), {5, 5, 10, 10}));
    EXPECT_EQ(canvas.pixel(10, 10), rgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(2, 2), White);
    EXPECT_EQ(canvas.pixel(20, 20), White);
}

TEST(Metafile, RandomDamageNeverCrashes)
{
    // Bytes flipped at random in a metafile of every record kind we play:
    // each copy must either play or be refused, never crash or overrun
    // (run under the asan preset to see the latter).
    Image unused;
    Builder b;
    b.objects(3).words(wmf::META_SETWINDOWORG, {0, 0}).words(wmf::META_SETWINDOWEXT, {6, 9});
    b.words(wmf::META_CREATEPENINDIRECT, {0, 1, 0, 255, 0}).words(wmf::META_CREATEBRUSHINDIRECT, {2, 255, 0, 3});
    b.words(wmf::META_SELECTOBJECT, {0}).words(wmf::META_SELECTOBJECT, {1}).words(wmf::META_SAVEDC, {});
    b.words(wmf::META_POLYPOLYGON, {2, 3, 3, 0, 0, 5, 0, 0, 5, 1, 1, 4, 1, 1, 4});
    b.words(wmf::META_POLYLINE, {3, 0, 0, 8, 5, 2, 3}).words(wmf::META_ELLIPSE, {6, 9, 0, 0});
    b.words(wmf::META_RESTOREDC, {-1}).words(wmf::META_DELETEOBJECT, {0});
    b.raw(wmf::META_STRETCHDIB, {0x0020, 0x00CC, 0, 6, 9, 0, 0, 6, 9, 0, 0}, makeDib(9, 6, 4, false, &unused));
    b.raw(wmf::META_DIBBITBLT, {0x0020, 0x00CC, 0, 0, 6, 9, 0, 0}, makeDib(9, 6, 1, true, &unused));
    const Bytes good = wmf::toPlaceable(b.bytes(), {9, 6});

    std::uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    int refused = 0;
    for (int i = 0; i < 3000; ++i) {
        Bytes bad = good;
        for (int n = 1 + int(next() % 4); n > 0; --n)
            bad[next() % bad.size()] = std::byte(next() >> 24);
        if (next() % 8 == 0)
            bad.resize(next() % bad.size());
        if (playInto(bad, {9, 6}).isNull())
            ++refused;
    }
    EXPECT_GT(refused, 0);
    EXPECT_LT(refused, 3000);
}

// Reads the metafile out of property 17 of a fixture's summary set, finding
// it by its header (the property-set reader lives elsewhere).
static Bytes fixtureMetafile(const std::filesystem::path& path)
{
    const CompoundFile file(openFileSource(path.string()));
    const Bytes header = text("\x01\x00\x09\x00\x00\x03", 6);
    Bytes found;
    for (const char* name : {"\x05SummaryInformation", "\x05Zrxrt4arFafyu34gYa3l3ohgHg"}) {
        if (!file.contains(name))
            continue;
        const Bytes data = file.read(name);
        const auto at = std::search(data.begin(), data.end(), header.begin(), header.end());
        if (at != data.end())
            found.assign(at, data.end());
    }
    return found;
}

TEST(Metafile, FixturePreviewsPlayToTheirKnownPixels)
{
    GLIMMER_REQUIRE_FIXTURES();
    int played = 0;
    for (const auto& doc : test::fixtureDocuments()) {
        const Bytes wmf = fixtureMetafile(test::fixturePath(doc));
        if (wmf.empty())
            continue;
        SCOPED_TRACE(doc.path);
        ++played;
        const Size size = wmf::naturalSize(wmf);
        EXPECT_EQ(size, (Size{doc.previewSize, doc.previewSize}));
        EXPECT_EQ(test::pixelSha256(playInto(wmf, size)), doc.pixelSha256);
        // Written out as a file and read back, the picture is the same.
        const Bytes file = wmf::toPlaceable(wmf, size);
        EXPECT_EQ(test::pixelSha256(playInto(file, size)), doc.pixelSha256);
    }
    EXPECT_EQ(played, 5) << "the fixtures hold five metafile previews";
}
