#include "imaging/cDIBSection.h"
#include "formats/BitmapFile.h"
#include "platform/Paths.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "tests/support/BitmapFiles.h"
#include "tests/support/Fixtures.h"
#include "tests/support/GraphicsLayers.h"
#include "tests/support/ScriptedGdi.h"

#include <gtest/gtest.h>

using namespace glimmer;
using namespace glimmer::test;
using gdi::systemGdi;
using test::BitmapFormat;

namespace {

std::string writeFile(const test::TempDir& dir, const std::string& name, std::span<const std::byte> bytes)
{
    const std::string path = dir.file(name);
    test::writeFile(fsPath(path), std::vector<std::byte>(bytes.begin(), bytes.end()));
    return path;
}

// The DIB holds `picture` as 24-bit rows, bottom row first, pad bytes zero.
void expectHolds(const cDIBSection& dib, const Image& picture)
{
    ASSERT_EQ(dib.dib_width(), picture.width());
    ASSERT_EQ(dib.dib_height(), picture.height());
    ASSERT_EQ(dib.dib_channels(), 3);
    ASSERT_NE(dib.DIBSectionBitsPtr(), nullptr);
    const int stride = dib.BytesPerScanLine();
    int wrong = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const auto* row = reinterpret_cast<const unsigned char*>(dib.DIBSectionBitsPtr())
                          + static_cast<std::ptrdiff_t>(picture.height() - 1 - y) * stride;
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint32_t c = picture.pixel(x, y);
            if (row[3 * x] != blueOf(c) || row[3 * x + 1] != greenOf(c) || row[3 * x + 2] != redOf(c))
                ++wrong;
        }
        for (int pad = 3 * picture.width(); pad < stride; ++pad)
            if (row[pad] != 0)
                ++wrong;
    }
    EXPECT_EQ(wrong, 0) << "bytes that differ from the picture";
}

// Holds no object of the graphics layer; the header may still describe what was tried.
void expectReleased(const cDIBSection& dib)
{
    EXPECT_FALSE(dib.hDC());
    EXPECT_FALSE(dib.hDib());
    EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
}

// The picture as channels of fewer bits (4 to 8) show it: they are widened
// by repeating their high bits, as the metafile player does, so 5-bit 31
// becomes 255 and 16 becomes 132.
Image quantized(const Image& picture, int redBits, int greenBits, int blueBits)
{
    Image q = picture.clone();
    auto cut = [](unsigned v, int bits) {
        const unsigned top = v >> (8 - bits);
        return (top << (8 - bits)) | (top >> (2 * bits - 8));
    };
    for (int y = 0; y < q.height(); ++y)
        for (int x = 0; x < q.width(); ++x) {
            const std::uint32_t c = q.pixel(x, y);
            q.setPixel(x, y, rgb(cut(redOf(c), redBits), cut(greenOf(c), greenBits), cut(blueOf(c), blueBits)));
        }
    return q;
}

void expectEmpty(const cDIBSection& dib)
{
    EXPECT_EQ(dib.dib_width(), 0);
    EXPECT_EQ(dib.dib_height(), 0);
    EXPECT_EQ(dib.dib_channels(), 0);
    EXPECT_EQ(dib.BytesPerScanLine(), 0);
    EXPECT_FALSE(dib.hDC());
    EXPECT_FALSE(dib.hDib());
    EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
}

// The tests of the DIB section, over every graphics layer of this system.
template <typename G>
class cDIBSectionOver : public ::testing::Test {
protected:
    G gdi;
};
TYPED_TEST_SUITE(cDIBSectionOver, test::GraphicsLayers, test::GraphicsLayerNames);

} // namespace

TEST(cDIBSection, UsesTheProcesssGraphicsLayerByDefault)
{
    const std::size_t before = systemGdi().liveObjects();
    {
        cDIBSection dib;
        ASSERT_TRUE(dib.Create(5, 4, 3));
        EXPECT_EQ(systemGdi().liveObjects(), before + 2);
    }
    EXPECT_EQ(systemGdi().liveObjects(), before);
}

TYPED_TEST(cDIBSectionOver, NewAndCleanedUpObjectsReportZeros)
{
    cDIBSection dib(this->gdi);
    expectEmpty(dib);
    EXPECT_EQ(dib.bitmapInfo().bmiHeader.biSize, 0);   // untouched until the first CleanUp
    dib.StartDLL();
    ASSERT_TRUE(dib.Create(5, 4, 3));
    dib.CleanUp();
    expectEmpty(dib);
    EXPECT_EQ(dib.bitmapInfo().bmiHeader.biSize, 40);
    dib.CleanUp();   // any number of times
    expectEmpty(dib);
}

// Every depth and compression a bitmap file may hold gives the same 24-bit picture.
TYPED_TEST(cDIBSectionOver, LoadGivesTheSame24BitPictureFromEveryKindOfFile)
{
    struct Case {
        const char* name;
        BitmapFormat format;
        int colours;
        int redBits = 8, greenBits = 8, blueBits = 8;
    };
    const std::vector<Case> cases = {
        {"1-bit", {1}, 2},
        {"4-bit", {4}, 8},
        {"8-bit", {8}, 8},
        {"8-bit, OS/2 header", {8, 0, false, 12}, 8},
        {"8-bit top-down", {8, 0, true}, 8},
        {"16-bit 5-5-5", {16}, 8, 5, 5, 5},
        {"16-bit bit fields 5-6-5", {16, 3, false, 40, 0xF800, 0x07E0, 0x001F}, 8, 5, 6, 5},
        {"24-bit", {24}, 8},
        {"24-bit top-down", {24, 0, true}, 8},
        {"24-bit, version 5 header", {24, 0, false, 124}, 8},
        {"32-bit", {32}, 8},
        {"32-bit bit fields, red in the low byte", {32, 3, false, 40, 0x0000FF, 0x00FF00, 0xFF0000}, 8},
        {"32-bit bit fields, version 4 header", {32, 3, false, 108, 0xFF0000, 0x00FF00, 0x0000FF}, 8},
        {"RLE8", {8, 1}, 8},
        {"RLE4", {4, 2}, 8},
    };
    test::TempDir dir;
    const std::size_t before = this->gdi.liveObjects();
    cDIBSection dib(this->gdi);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Image picture = test::cornerPicture(7, 5, c.colours);
        const std::string path = writeFile(dir, "p.bmp", test::makeBitmapFile(picture, c.format));
        ASSERT_TRUE(dib.Load(path)) << this->gdi.lastError();
        expectHolds(dib, quantized(picture, c.redBits, c.greenBits, c.blueBits));
        const gdi::BITMAPINFOHEADER& h = dib.bitmapInfo().bmiHeader;
        EXPECT_EQ(h.biBitCount, 24);
        EXPECT_EQ(h.biCompression, gdi::BI_RGB);
        // The image size stays what the file's own depth needs.
        EXPECT_EQ(h.biSizeImage, bmp::strideOf(7, c.format.bitCount) * 5);
        EXPECT_EQ(this->gdi.liveObjects(), before + 2);
    }
    dib.CleanUp();
    EXPECT_EQ(this->gdi.liveObjects(), before);
}

TYPED_TEST(cDIBSectionOver, BytesPerScanLinePadsRowsToFourBytes)
{
    test::TempDir dir;
    cDIBSection dib(this->gdi);
    const std::pair<int, int> expected[] = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {96, 288}};
    for (const auto& [width, stride] : expected) {
        SCOPED_TRACE(width);
        const Image picture = test::cornerPicture(width, 2);
        ASSERT_TRUE(dib.Load(writeFile(dir, "w.bmp", test::makeBitmapFile(picture, {24}))));
        EXPECT_EQ(dib.BytesPerScanLine(), stride);
        expectHolds(dib, picture);
    }
}

TYPED_TEST(cDIBSectionOver, FailedLoadLeavesNothingBehind)
{
    test::TempDir dir;
    const std::string good = writeFile(dir, "good.bmp", test::makeBitmapFile(test::cornerPicture(4, 4), {24}));
    const std::string text = writeFile(dir, "notes.bmp", asBytes(std::string_view("not a bitmap at all")));
    const Bytes whole = test::makeBitmapFile(test::cornerPicture(40, 40), {24});
    const std::string cut = writeFile(dir, "cut.bmp", std::span(whole).first(400));
    const std::size_t before = this->gdi.liveObjects();
    cDIBSection dib(this->gdi);
    const std::string bads[] = {dir.file("missing.bmp"), text, cut, dir.file(), std::string(),
                                "/dev/zero"};   // endless: refused, not read
    for (const std::string& bad : bads) {
        SCOPED_TRACE(bad);
        ASSERT_TRUE(dib.Load(good));
        EXPECT_FALSE(dib.Load(bad));
        expectEmpty(dib);   // the picture loaded before is gone too
        EXPECT_EQ(this->gdi.liveObjects(), before);
    }
}

TYPED_TEST(cDIBSectionOver, SecondLoadReleasesTheFirst)
{
    test::TempDir dir;
    const Image first = test::cornerPicture(6, 3);
    const Image second = test::cornerPicture(3, 6);
    const std::string a = writeFile(dir, "a.bmp", test::makeBitmapFile(first, {8}));
    const std::string b = writeFile(dir, "b.bmp", test::makeBitmapFile(second, {24}));
    const std::size_t before = this->gdi.liveObjects();
    cDIBSection dib(this->gdi);
    ASSERT_TRUE(dib.Load(a));
    const gdi::HBITMAP firstDib = dib.hDib();
    const gdi::HDC firstDc = dib.hDC();
    ASSERT_TRUE(dib.Load(b));
    expectHolds(dib, second);
    EXPECT_EQ(this->gdi.liveObjects(), before + 2);
    // The first section and context are gone: their handles are stale now.
    EXPECT_FALSE(this->gdi.DeleteObject(firstDib));
    EXPECT_FALSE(this->gdi.DeleteObject(firstDc));
    EXPECT_NE(dib.hDib(), firstDib);
}

// Our narrow encoding is UTF-8, so no path is lost on the way to the loader.
TYPED_TEST(cDIBSectionOver, PathsOutsideAsciiLoad)
{
    test::TempDir dir;
    const Image picture = test::cornerPicture(5, 5);
    const std::string path = writeFile(dir, "Größe Ω 図面 ✓.bmp", test::makeBitmapFile(picture, {24}));
    cDIBSection dib(this->gdi);
    ASSERT_TRUE(dib.Load(path));
    expectHolds(dib, picture);
}

TYPED_TEST(cDIBSectionOver, CreateMakes24BitsForThreeChannelsAnd32Otherwise)
{
    struct Case {
        std::int32_t channels;
        std::int16_t bits;
        std::int32_t stride;
    };
    const std::size_t before = this->gdi.liveObjects();
    for (const Case& c : {Case{3, 24, 16}, Case{4, 32, 20}, Case{1, 32, 20}, Case{0, 32, 20}, Case{-3, 32, 20}}) {
        SCOPED_TRACE(c.channels);
        cDIBSection dib(this->gdi);
        ASSERT_TRUE(dib.Create(5, 3, c.channels));
        EXPECT_EQ(dib.bitmapInfo().bmiHeader.biBitCount, c.bits);
        EXPECT_EQ(dib.BytesPerScanLine(), c.stride);
        EXPECT_EQ(dib.dib_channels(), c.bits / 8);
        EXPECT_EQ(dib.bitmapInfo().bmiHeader.biSizeImage, 3 * c.stride);
        EXPECT_TRUE(dib.hDC());
        EXPECT_TRUE(dib.hDib());
        // Zeroed memory the program can write in place.
        const std::span<std::byte> bits(dib.DIBSectionBitsPtr(), static_cast<std::size_t>(3 * c.stride));
        EXPECT_TRUE(std::all_of(bits.begin(), bits.end(), [](std::byte b) { return b == std::byte{0}; }));
        std::fill(bits.begin(), bits.end(), std::byte{0x5a});
        EXPECT_EQ(this->gdi.liveObjects(), before + 2);
    }
    EXPECT_EQ(this->gdi.liveObjects(), before);   // destruction cleans up
}

TYPED_TEST(cDIBSectionOver, CreateFailuresLeaveTheObjectEmpty)
{
    const std::size_t before = this->gdi.liveObjects();
    cDIBSection dib(this->gdi);
    ASSERT_TRUE(dib.Create(4, 4, 3));
    EXPECT_FALSE(dib.Create(0, 4, 3));
    EXPECT_FALSE(dib.hDC());
    EXPECT_FALSE(dib.hDib());
    EXPECT_EQ(this->gdi.liveObjects(), before);
    EXPECT_FALSE(dib.Create(20000, 20000, 3));   // beyond the pixel memory a section may have
    EXPECT_EQ(this->gdi.liveObjects(), before);
    // 70000 rows of 210000 bytes do not fit the 32-bit image size.
    EXPECT_THROW(dib.Create(70000, 70000, 3), OverflowError);
    EXPECT_FALSE(dib.hDC());
    EXPECT_EQ(this->gdi.liveObjects(), before);
}

// Whatever step of the platform fails, Create and Load give back what they had made.
TYPED_TEST(cDIBSectionOver, PlatformFailuresReleaseEverythingMadeBefore)
{
    using ScriptedGdi = test::BasicScriptedGdi<TypeParam>;
    using Op = typename ScriptedGdi::Op;
    test::TempDir dir;
    const std::string file = writeFile(dir, "f.bmp", test::makeBitmapFile(test::cornerPicture(9, 7), {4}));
    struct Case {
        const char* name;
        Op failing;
        bool load;
    };
    const Case cases[] = {
        {"Create: no context", Op::CreateCompatibleDC, false},
        {"Create: no section", Op::CreateDIBSection, false},
        {"Load: no context", Op::CreateCompatibleDC, true},
        {"Load: file not loaded", Op::LoadImageA, true},
        {"Load: no section", Op::CreateDIBSection, true},
        {"Load: conversion fails", Op::ConvertDIBits, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedGdi scripted;
        cDIBSection dib(scripted);
        ASSERT_TRUE(dib.Load(file));
        scripted.failing = {c.failing};
        EXPECT_FALSE(c.load ? dib.Load(file) : dib.Create(9, 7, 3));
        expectReleased(dib);
        EXPECT_EQ(scripted.inner.liveObjects(), 0u);
    }
}

TYPED_TEST(cDIBSectionOver, PaintPictureCopiesTheWholeDibByDefault)
{
    cDIBSection source(this->gdi);
    cDIBSection target(this->gdi);
    ASSERT_TRUE(source.Create(5, 3, 3));
    ASSERT_TRUE(target.Create(8, 6, 3));
    const int stride = source.BytesPerScanLine();
    auto* s = reinterpret_cast<unsigned char*>(source.DIBSectionBitsPtr());
    for (int i = 0; i < 3 * stride; ++i)
        s[i] = static_cast<unsigned char>(i % stride < 15 ? 1 + i : 0);

    source.PaintPicture(target.hDC());

    const auto* t = reinterpret_cast<const unsigned char*>(target.DIBSectionBitsPtr());
    const int tStride = target.BytesPerScanLine();
    for (int y = 0; y < 6; ++y)         // y counted from the top
        for (int x = 0; x < 8; ++x)
            for (int c = 0; c < 3; ++c) {
                const unsigned char got = t[(5 - y) * tStride + 3 * x + c];
                const unsigned char want = (x < 5 && y < 3) ? s[(2 - y) * stride + 3 * x + c] : 0;
                ASSERT_EQ(got, want) << "x " << x << " y " << y;
            }

    // An offset, a part of the source and another raster operation.
    source.PaintPicture(target.hDC(), 6, 4, 2, 2, 0, 0, gdi::SRCINVERT);
    EXPECT_EQ(t[1 * tStride + 3 * 6], s[2 * stride]);   // top-left source pixel at (6, 4)
    source.PaintPicture(target.hDC(), 6, 4, 2, 2, 0, 0, gdi::SRCINVERT);
    EXPECT_EQ(t[1 * tStride + 3 * 6], 0);
}

// What SavePicture writes, LoadImageA reads back into the same 24-bit DIB.
TYPED_TEST(cDIBSectionOver, LoadsWhatSavePictureWrites)
{
    test::TempDir dir;
    for (int width : {1, 5, 96}) {
        SCOPED_TRACE(width);
        const Image picture = test::cornerPicture(width, 7);
        const std::string path = dir.file("~TempBmpJpgImage.bmp");
        SavePicture(picture, path);
        const std::vector<std::byte> bytes = readFile(path);
        ASSERT_GE(bytes.size(), 54u);
        EXPECT_EQ(bytes[0], std::byte{'B'});
        EXPECT_EQ(bytes[1], std::byte{'M'});
        EXPECT_EQ(bytes[28], std::byte{24});   // bit count

        cDIBSection dib(this->gdi);
        ASSERT_TRUE(dib.Load(path)) << this->gdi.lastError();
        expectHolds(dib, picture);
    }
}
