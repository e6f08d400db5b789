#include "platform/Ansi.h"
#include "platform/Gdi.h"
#include "tests/support/BitmapFiles.h"
#include "tests/support/Fixtures.h"
#include "tests/support/GraphicsLayers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace glimmer;
using namespace glimmer::gdi;

namespace {

BITMAPINFO header(std::int32_t width, std::int32_t height, std::int16_t bits)
{
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = 40;
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = bits;
    return bmi;
}

// A context holding a new section of one colour.
template <typename G>
struct Canvas {
    G& gdi;
    HDC dc;
    HBITMAP bitmap;
    std::byte* bits = nullptr;
    std::int32_t stride;

    Canvas(G& g, std::int32_t width, std::int32_t height, std::int16_t bitCount, std::uint8_t fill)
        : gdi(g), dc(g.CreateCompatibleDC({})), stride(((width * bitCount + 31) / 32) * 4)
    {
        bitmap = g.CreateDIBSection(dc, header(width, height, bitCount), DIB_RGB_COLORS, bits);
        g.SelectObject(dc, bitmap);
        std::fill(bits, bits + static_cast<std::ptrdiff_t>(stride) * std::abs(height), std::byte{fill});
    }
    ~Canvas()
    {
        gdi.DeleteObject(dc);
        gdi.DeleteObject(bitmap);
    }
    std::uint8_t at(int offset) const { return std::to_integer<std::uint8_t>(bits[offset]); }
};

// The contract, over every graphics layer of this system.
template <typename G>
class GdiContract : public ::testing::Test {};
TYPED_TEST_SUITE(GdiContract, test::GraphicsLayers, test::GraphicsLayerNames);

} // namespace

TYPED_TEST(GdiContract, UnknownStaleAndWrongKindHandlesAreHarmless)
{
    TypeParam gdi;
    const HDC dc = gdi.CreateCompatibleDC({});
    std::byte* bits = nullptr;
    const HBITMAP bitmap = gdi.CreateDIBSection({}, header(4, 4, 24), DIB_RGB_COLORS, bits);
    ASSERT_TRUE(dc);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(gdi.liveObjects(), 2u);

    EXPECT_FALSE(gdi.DeleteObject(HGDIOBJ{}));
    EXPECT_FALSE(gdi.DeleteObject(HBITMAP(999999)));
    EXPECT_FALSE(gdi.DeleteObject(TypeParam::stockBitmap()));
    EXPECT_FALSE(gdi.SelectObject(HDC(bitmap.id()), bitmap));   // a bitmap is not a context
    EXPECT_FALSE(gdi.SelectObject(dc, HBITMAP(dc.id())));       // nor a context a bitmap
    EXPECT_FALSE(gdi.CreateCompatibleDC(HDC(424242)));

    // A selected bitmap stays until it is selected out; the context goes with DeleteObject.
    EXPECT_EQ(gdi.SelectObject(dc, bitmap), TypeParam::stockBitmap());
    EXPECT_FALSE(gdi.DeleteObject(bitmap));
    HDC other = gdi.CreateCompatibleDC({});
    EXPECT_FALSE(gdi.SelectObject(other, bitmap));   // one context at a time
    EXPECT_TRUE(gdi.DeleteObject(other));
    EXPECT_EQ(gdi.SelectObject(dc, TypeParam::stockBitmap()), bitmap);
    EXPECT_TRUE(gdi.DeleteObject(bitmap));
    EXPECT_TRUE(gdi.DeleteObject(dc));
    EXPECT_EQ(gdi.liveObjects(), 0u);

    // Stale now: every use fails quietly.
    EXPECT_FALSE(gdi.DeleteObject(bitmap));
    EXPECT_FALSE(gdi.DeleteObject(dc));
    EXPECT_FALSE(gdi.SelectObject(dc, TypeParam::stockBitmap()));
    BITMAPINFO query{};
    query.bmiHeader.biSize = 40;
    EXPECT_EQ(gdi.GetDIBits(dc, bitmap, 0, 0, {}, query, DIB_RGB_COLORS), 0);
    EXPECT_FALSE(gdi.BitBlt(dc, 0, 0, 1, 1, dc, 0, 0, SRCCOPY));
}

TYPED_TEST(GdiContract, CreateDIBSectionRefusesWhatItCannotHold)
{
    TypeParam gdi;
    struct Case {
        const char* name;
        BITMAPINFO bmi;
    };
    BITMAPINFO rle = header(4, 4, 8);
    rle.bmiHeader.biCompression = BI_RLE8;
    BITMAPINFO shortHeader = header(4, 4, 24);
    shortHeader.bmiHeader.biSize = 12;
    const Case cases[] = {
        {"width 0", header(0, 4, 24)},
        {"negative width", header(-4, 4, 24)},
        {"height 0", header(4, 0, 24)},
        {"16 bits", header(4, 4, 16)},
        {"RLE8", rle},
        {"short header", shortHeader},
        {"more than the limit", header(20000, 20000, 24)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::byte* bits = reinterpret_cast<std::byte*>(&gdi);
        EXPECT_FALSE(gdi.CreateDIBSection({}, c.bmi, DIB_RGB_COLORS, bits));
        EXPECT_EQ(bits, nullptr);
        EXPECT_FALSE(gdi.lastError().empty());
    }
    EXPECT_EQ(gdi.liveObjects(), 0u);
}

TYPED_TEST(GdiContract, HeaderQueryReportsTheFilesOwnFormat)
{
    test::TempDir dir;
    const std::string path = dir.file("eight.bmp");
    test::writeFile(path, test::makeBitmapFile(test::cornerPicture(7, 5), {8, 0, true}));
    const std::string name = toAnsi(path);
    TypeParam gdi;
    const HDC dc = gdi.CreateCompatibleDC({});
    const HBITMAP loaded = gdi.LoadImageA({}, name.c_str(), IMAGE_BITMAP, 0, 0,
                                          LR_CREATEDIBSECTION | LR_LOADFROMFILE);
    ASSERT_TRUE(loaded) << gdi.lastError();
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = 40;
    EXPECT_NE(gdi.GetDIBits(dc, loaded, 0, 0, {}, bmi, DIB_RGB_COLORS), 0);
    EXPECT_EQ(bmi.bmiHeader.biWidth, 7);
    EXPECT_EQ(bmi.bmiHeader.biHeight, 5);   // the section holds the rows bottom-up
    EXPECT_EQ(bmi.bmiHeader.biPlanes, 1);
    EXPECT_EQ(bmi.bmiHeader.biBitCount, 8);
    EXPECT_EQ(bmi.bmiHeader.biCompression, BI_RGB);
    EXPECT_EQ(bmi.bmiHeader.biSizeImage, 8 * 5);

    // Not a file it can load, or not the way it loads files.
    EXPECT_FALSE(gdi.LoadImageA({}, name.c_str(), IMAGE_BITMAP, 16, 16, LR_LOADFROMFILE));
    EXPECT_FALSE(gdi.LoadImageA({}, name.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    EXPECT_FALSE(gdi.LoadImageA({}, nullptr, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    EXPECT_FALSE(gdi.LoadImageA({}, "/no/such/file.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    EXPECT_NE(gdi.lastError().find("/no/such/file.bmp"), std::string::npos) << gdi.lastError();
    gdi.DeleteObject(loaded);
    gdi.DeleteObject(dc);
    EXPECT_EQ(gdi.liveObjects(), 0u);
}

TYPED_TEST(GdiContract, GetDIBitsConvertsRowsInEitherOrderAndNeverWritesBeyondItsBuffer)
{
    TypeParam gdi;
    Canvas source(gdi, 3, 2, 24, 0);
    // Bottom-up 24-bit rows: row 0 in memory is the bottom of the picture.
    for (int i = 0; i < 9; ++i) {
        source.bits[i] = std::byte(10 + i);              // bottom row
        source.bits[source.stride + i] = std::byte(50 + i);   // top row
    }
    const HDC dc = gdi.CreateCompatibleDC({});
    gdi.SelectObject(source.dc, TypeParam::stockBitmap());   // converting reads a bitmap that is not selected

    BITMAPINFO bmi = header(3, -2, 32);   // top-down, 32 bits
    std::vector<std::byte> out(2 * 12 + 8, std::byte{0xAB});
    ASSERT_EQ(gdi.GetDIBits(dc, source.bitmap, 0, 2, std::span(out).first(24), bmi, DIB_RGB_COLORS), 2);
    EXPECT_EQ(out[0], std::byte{50});    // top row first
    EXPECT_EQ(out[3], std::byte{0});     // the fourth byte is zero
    EXPECT_EQ(out[4], std::byte{53});
    EXPECT_EQ(out[12], std::byte{10});
    EXPECT_TRUE(std::all_of(out.begin() + 24, out.end(), [](std::byte b) { return b == std::byte{0xAB}; }));

    // A buffer too small for the rows asked: nothing is written.
    std::vector<std::byte> small(20, std::byte{0xCD});
    BITMAPINFO bottomUp = header(3, 2, 24);
    EXPECT_EQ(gdi.GetDIBits(dc, source.bitmap, 0, 2, small, bottomUp, DIB_RGB_COLORS), 0);
    EXPECT_TRUE(std::all_of(small.begin(), small.end(), [](std::byte b) { return b == std::byte{0xCD}; }));
    // One scan line from the second: the top row, pad bytes zeroed.
    EXPECT_EQ(gdi.GetDIBits(dc, source.bitmap, 1, 5, small, bottomUp, DIB_RGB_COLORS), 1);
    EXPECT_EQ(small[0], std::byte{50});
    EXPECT_EQ(small[9], std::byte{0});
    EXPECT_EQ(small[12], std::byte{0xCD});
    // Scan lines out of range, a size other than the bitmap's, a depth it does not write.
    EXPECT_EQ(gdi.GetDIBits(dc, source.bitmap, 2, 1, small, bottomUp, DIB_RGB_COLORS), 0);
    EXPECT_EQ(gdi.GetDIBits(dc, source.bitmap, -1, 1, small, bottomUp, DIB_RGB_COLORS), 0);
    BITMAPINFO wider = header(4, 2, 24);
    EXPECT_EQ(gdi.GetDIBits(dc, source.bitmap, 0, 1, small, wider, DIB_RGB_COLORS), 0);
    BITMAPINFO eight = header(3, 2, 8);
    EXPECT_EQ(gdi.GetDIBits(dc, source.bitmap, 0, 1, small, eight, DIB_RGB_COLORS), 0);
    gdi.DeleteObject(dc);
}

// Scan lines count in the target's row order: from the bottom for a
// bottom-up target, from the top for a top-down one.
TYPED_TEST(GdiContract, GetDIBitsCountsScanLinesInTheTargetsOrder)
{
    TypeParam gdi;
    for (const std::int32_t sourceHeight : {3, -3}) {
        Canvas source(gdi, 1, sourceHeight, 24, 0);
        // Rows 1, 2, 3 from the top, whichever way the section holds them.
        for (int y = 0; y < 3; ++y)
            source.bits[(sourceHeight > 0 ? 2 - y : y) * source.stride] = std::byte(1 + y);
        gdi.SelectObject(source.dc, TypeParam::stockBitmap());
        struct Case {
            std::int32_t targetHeight, start, lines;
            std::vector<int> rows;   // the rows written, in buffer order
        };
        const Case cases[] = {
            {3, 0, 3, {3, 2, 1}},  {3, 1, 2, {2, 1}},  {3, 2, 5, {1}},
            {-3, 0, 3, {1, 2, 3}}, {-3, 1, 2, {2, 3}}, {-3, 0, 1, {1}},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "source " << sourceHeight << ", target " << c.targetHeight << ", from "
                                            << c.start << ", " << c.lines << " lines");
            BITMAPINFO bmi = header(1, c.targetHeight, 24);
            std::vector<std::byte> out(12, std::byte{0xAB});
            ASSERT_EQ(gdi.GetDIBits(source.dc, source.bitmap, c.start, c.lines, out, bmi, DIB_RGB_COLORS),
                      static_cast<int>(c.rows.size()));
            for (std::size_t i = 0; i < 3; ++i) {
                EXPECT_EQ(std::to_integer<int>(out[4 * i]), i < c.rows.size() ? c.rows[i] : 0xAB) << i;
                EXPECT_EQ(out[4 * i + 3], i < c.rows.size() ? std::byte{0} : std::byte{0xAB}) << i;   // pad bytes
            }
        }
    }
}

// A section's own format, as the header query reports it.
TYPED_TEST(GdiContract, HeaderQueryReportsTheSectionsOwnFormat)
{
    using Quirks = test::GdiQuirks<TypeParam>;
    TypeParam gdi;
    const HDC dc = gdi.CreateCompatibleDC({});
    struct Case {
        std::int32_t height;
        std::int16_t bits;
        std::int32_t reportedHeight;
        std::int32_t compression;
    };
    const Case cases[] = {
        {3, 24, 3, BI_RGB},
        {-3, 24, Quirks::queryKeepsTopDownHeight ? -3 : 3, BI_RGB},
        {3, 32, 3, Quirks::queriedCompressionOf32Bits},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.height << " rows of " << c.bits << " bits");
        std::byte* bits = nullptr;
        const HBITMAP section = gdi.CreateDIBSection(dc, header(5, c.height, c.bits), DIB_RGB_COLORS, bits);
        BITMAPINFO bmi{};
        bmi.bmiHeader.biSize = 40;
        ASSERT_EQ(gdi.GetDIBits(dc, section, 0, 0, {}, bmi, DIB_RGB_COLORS), 1) << gdi.lastError();
        EXPECT_EQ(bmi.bmiHeader.biWidth, 5);
        EXPECT_EQ(bmi.bmiHeader.biHeight, c.reportedHeight);
        EXPECT_EQ(bmi.bmiHeader.biBitCount, c.bits);
        EXPECT_EQ(bmi.bmiHeader.biCompression, c.compression);
        EXPECT_EQ(bmi.bmiHeader.biSizeImage, 3 * ((5 * c.bits + 31) / 32) * 4);
        // The size query for another depth changes the image size alone.
        BITMAPINFO other = header(5, 3, c.bits == 24 ? 32 : 24);
        ASSERT_EQ(gdi.GetDIBits(dc, section, 0, 0, {}, other, DIB_RGB_COLORS), 1);
        EXPECT_EQ(other.bmiHeader.biSizeImage, c.bits == 24 ? 60 : 48);
        EXPECT_EQ(other.bmiHeader.biHeight, 3);
        EXPECT_TRUE(gdi.DeleteObject(section));
    }
    EXPECT_TRUE(gdi.DeleteObject(dc));
}

// Every raster operation of source and destination, on one channel value.
TYPED_TEST(GdiContract, BitBltAppliesTheRasterOperations)
{
    constexpr std::uint8_t S = 0b1100'1010;
    constexpr std::uint8_t D = 0b1010'0110;
    struct Case {
        const char* name;
        std::uint32_t rop;
        std::uint8_t expected;
    };
    const Case cases[] = {
        {"SRCCOPY", SRCCOPY, S},
        {"SRCPAINT", SRCPAINT, S | D},
        {"SRCAND", SRCAND, S & D},
        {"SRCINVERT", SRCINVERT, S ^ D},
        {"SRCERASE", SRCERASE, static_cast<std::uint8_t>(S & ~D)},
        {"NOTSRCCOPY", NOTSRCCOPY, static_cast<std::uint8_t>(~S)},
        {"NOTSRCERASE", NOTSRCERASE, static_cast<std::uint8_t>(~(S | D))},
        {"MERGEPAINT", MERGEPAINT, static_cast<std::uint8_t>(~S | D)},
        {"DSTINVERT", DSTINVERT, static_cast<std::uint8_t>(~D)},
        {"BLACKNESS", BLACKNESS, 0},
        {"WHITENESS", WHITENESS, 0xFF},
    };
    TypeParam gdi;
    for (const Case& c : cases) {
        for (const std::int16_t bits : {24, 32}) {
            SCOPED_TRACE(testing::Message() << c.name << " onto " << bits << " bits");
            const int bpp = bits / 8;
            Canvas source(gdi, 2, 2, 32, S);
            Canvas target(gdi, 3, 3, bits, D);
            EXPECT_TRUE(gdi.BitBlt(target.dc, 1, 1, 2, 2, source.dc, 0, 0, c.rop));
            EXPECT_EQ(target.at(bpp + 0), c.expected);          // bottom row, second pixel
            EXPECT_EQ(target.at(target.stride + 2 * bpp + 2), c.expected);
            EXPECT_EQ(target.at(2 * target.stride), D);         // top row: outside the rectangle
            EXPECT_EQ(target.at(0), D);                         // first column: outside too
            if (bits == 32) {
                EXPECT_EQ(target.at(bpp + 3), test::GdiQuirks<TypeParam>::fourthByteAfter(c.rop, c.expected, D));
            }
        }
    }
    Canvas source(gdi, 2, 2, 24, S);
    Canvas target(gdi, 2, 2, 24, D);
    EXPECT_FALSE(gdi.BitBlt(target.dc, 0, 0, 2, 2, source.dc, 0, 0, 0x00F00021));   // PATCOPY needs a brush
    EXPECT_EQ(target.at(0), D);
    EXPECT_TRUE(gdi.BitBlt(target.dc, 0, 0, 2, 2, HDC{}, 0, 0, DSTINVERT));        // no source needed
    EXPECT_FALSE(gdi.BitBlt(target.dc, 0, 0, 2, 2, HDC{}, 0, 0, SRCCOPY));
}

TYPED_TEST(GdiContract, BitBltClipsToBothBitmapsAndHandlesOverlap)
{
    TypeParam gdi;
    Canvas source(gdi, 4, 4, 24, 7);
    Canvas target(gdi, 4, 4, 24, 0);
    // Far outside, partly outside, negative sizes: nothing beyond either bitmap is touched.
    EXPECT_TRUE(gdi.BitBlt(target.dc, -100000, -100000, 200000, 200000, source.dc, -5, -5, SRCCOPY));
    EXPECT_TRUE(gdi.BitBlt(target.dc, 3, 3, 10, 10, source.dc, 0, 0, SRCCOPY));
    EXPECT_TRUE(gdi.BitBlt(target.dc, 0, 0, -2, -2, source.dc, 0, 0, SRCCOPY));
    EXPECT_TRUE(gdi.BitBlt(target.dc, 2147483000, 0, 2147483000, 4, source.dc, 0, 0, SRCCOPY));

    // Within one bitmap: shift the picture one pixel right.
    Canvas strip(gdi, 4, 1, 24, 0);
    for (int i = 0; i < 12; ++i)
        strip.bits[i] = std::byte(i / 3 + 1);
    EXPECT_TRUE(gdi.BitBlt(strip.dc, 1, 0, 3, 1, strip.dc, 0, 0, SRCCOPY));
    const std::uint8_t want[] = {1, 1, 2, 3};
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(strip.at(3 * x), want[x]) << x;
}
