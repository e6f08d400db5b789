// The drawing rules of the metafile player, one tiny metafile a row, played
// onto a white 16 × 16 canvas.
#include "formats/MetafilePlayer.h"
#include "formats/MetafileReader.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

using namespace glimmer;
using namespace glimmer::wmf;

namespace {

constexpr std::uint32_t red = rgb(255, 0, 0), green = rgb(0, 255, 0), blue = rgb(0, 0, 255);

// A metafile of a square window, record by record; each pen and brush is
// selected as it is made.
class Records {
public:
    explicit Records(int window = 16) { add(META_SETWINDOWEXT, {window, window}); }

    Records& add(std::uint16_t function, std::initializer_list<int> params, const Bytes& tail = {})
    {
        const std::size_t words = 3 + params.size() + (tail.size() + 1) / 2;
        put(bytes_, words, 4);
        put(bytes_, function, 2);
        for (int p : params)
            put(bytes_, std::size_t(p), 2);
        bytes_.insert(bytes_.end(), tail.begin(), tail.end());
        if (tail.size() % 2)
            bytes_.push_back({});
        largest_ = std::max(largest_, words);
        return *this;
    }
    Records& pen(int style, int width, std::uint32_t colour = Black)
    {
        return add(META_CREATEPENINDIRECT, {style, width, 0, colourLow(colour), colourHigh(colour)}).select();
    }
    Records& brush(int style, std::uint32_t colour, int hatch = 0)
    {
        return add(META_CREATEBRUSHINDIRECT, {style, colourLow(colour), colourHigh(colour), hatch}).select();
    }
    // COLORREF words: red and green, then blue.
    static int colourLow(std::uint32_t c) { return int(redOf(c) | greenOf(c) << 8); }
    static int colourHigh(std::uint32_t c) { return int(blueOf(c)); }

    Bytes bytes() const
    {
        Bytes all;
        for (const auto& [value, size] : {std::pair<std::size_t, int>{1, 2}, {9, 2}, {0x0300, 2},
                                          {(18 + bytes_.size() + 6) / 2, 4}, {std::size_t(objects_), 2},
                                          {largest_, 4}, {0, 2}})
            put(all, value, size);
        all.insert(all.end(), bytes_.begin(), bytes_.end());
        put(all, 3, 4);   // META_EOF
        put(all, META_EOF, 2);
        return all;
    }

private:
    Records& select() { return add(META_SELECTOBJECT, {objects_++}); }
    static void put(Bytes& out, std::size_t v, int n)
    {
        for (int i = 0; i < n; ++i)
            out.push_back(std::byte((v >> (8 * i)) & 0xFF));
    }

    Bytes bytes_;
    int objects_ = 0;
    std::size_t largest_ = 3;
};

// A 24-bit bottom-up DIB of the colours given row by row from the top.
Bytes dib24(int w, int h, std::initializer_list<std::uint32_t> colours)
{
    Bytes d(40);
    const auto put = [&d](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            d[at + std::size_t(i)] = std::byte((v >> (8 * i)) & 0xFF);
    };
    put(0, 40, 4);
    put(4, std::uint32_t(w), 4);
    put(8, std::uint32_t(h), 4);
    put(12, 1, 2);
    put(14, 24, 2);
    const std::vector<std::uint32_t> pixels(colours);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = pixels[std::size_t(y * w + x)];
            d.insert(d.end(), {std::byte(blueOf(c)), std::byte(greenOf(c)), std::byte(redOf(c))});
        }
        d.resize(d.size() + std::size_t((4 - w * 3 % 4) % 4));
    }
    return d;
}

// Every pixel equals its mirror image about the middle of `box`.
void symmetricIn(const Image& image, Rect box)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const bool inside = x >= box.x && x < box.right() && y >= box.y && y < box.bottom();
            if (!inside) {
                EXPECT_EQ(image.pixel(x, y), White) << "outside its box: " << x << "," << y;
                continue;
            }
            EXPECT_EQ(image.pixel(x, y), image.pixel(box.x + box.right() - 1 - x, y)) << x << "," << y;
            EXPECT_EQ(image.pixel(x, y), image.pixel(x, box.y + box.bottom() - 1 - y)) << x << "," << y;
        }
}

void period8(const Image& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            EXPECT_EQ(image.pixel(x, y), image.pixel(x % 8, y % 8)) << x << "," << y;
}

// The canvas filled with colour d, then a 1 × 1 bitmap of colour s over
// (4, 4)-(12, 12) with the raster operation `rop`.
constexpr std::uint32_t ropD = rgb(0x0F, 0xF0, 0x55), ropS = rgb(0x33, 0x55, 0xF0);
Bytes ropOver(std::uint32_t rop)
{
    return Records()
        .brush(0, ropD)
        .add(META_PATBLT, {0x0021, 0x00F0, 16, 16, 0, 0})
        .add(META_DIBSTRETCHBLT, {int(rop & 0xFFFF), int(rop >> 16), 1, 1, 0, 0, 8, 8, 4, 4}, dib24(1, 1, {ropS}))
        .bytes();
}

Bytes hatchFill(int hatch)
{
    return Records()
        .add(META_SETBKCOLOR, {Records::colourLow(blue), Records::colourHigh(blue)})
        .brush(2, red, hatch)
        .add(META_PATBLT, {0x0021, 0x00F0, 16, 16, 0, 0})
        .bytes();
}

// A red shape without a pen, in ALTERNATE (1) or WINDING (2) fill mode.
Bytes filled(int fillMode, std::uint16_t function, std::initializer_list<int> params)
{
    return Records().add(META_SETPOLYFILLMODE, {fillMode}).pen(5, 0).brush(0, red).add(function, params).bytes();
}
// A five-pointed star drawn in one stroke: its middle is crossed twice.
constexpr std::initializer_list<int> star{5, 8, 1, 12, 14, 1, 6, 15, 6, 4, 14};
// Two squares of 8 × 8 overlapping by 4 × 4.
constexpr std::initializer_list<int> squares{2, 4, 4, 2, 2, 10, 2, 10, 10, 2, 10, 6, 6, 14, 6, 14, 14, 6, 14};

} // namespace

TEST(Raster, ShapesPensBrushesAndRasterOperationsFollowThePlatformsRules)
{
    using Probes = std::vector<std::pair<Point, std::uint32_t>>;
    const struct {
        const char* name;
        Bytes metafile;
        int changed;   // pixels no longer white; -1: not counted
        Probes probes;
        std::function<void(const Image&)> more = {};
        Rect target = {0, 0, 16, 16};
    } rows[] = {
        {"rectangle: outline on its outermost pixels, right and bottom left out",
         Records().brush(0, red).add(META_RECTANGLE, {6, 8, 2, 2}).bytes(), 24,
         {{{2, 2}, Black}, {{7, 2}, Black}, {{7, 5}, Black}, {{2, 5}, Black}, {{3, 3}, red}, {{6, 4}, red},
          {{8, 5}, White}, {{7, 6}, White}, {{8, 6}, White}}},
        {"rectangle with a null pen: the brush alone, in the same box",
         Records().pen(5, 0).brush(0, red).add(META_RECTANGLE, {6, 8, 2, 2}).bytes(), 24,
         {{{2, 2}, red}, {{7, 5}, red}, {{8, 5}, White}, {{7, 6}, White}}},
        {"rectangle with a null brush: the outline alone",
         Records().brush(1, red).add(META_RECTANGLE, {6, 8, 2, 2}).bytes(), 16,
         {{{2, 2}, Black}, {{7, 5}, Black}, {{3, 3}, White}}},
        {"rectangle with a 3-pixel pen: a band centred on the outline",
         Records().pen(0, 3).brush(0, red).add(META_RECTANGLE, {12, 12, 2, 2}).bytes(), 144,
         {{{1, 1}, Black}, {{3, 3}, Black}, {{4, 4}, red}, {{9, 9}, red}, {{10, 10}, Black}, {{12, 12}, Black},
          {{13, 12}, White}, {{0, 5}, White}}},
        {"ellipse: inscribed in its box, symmetric, right and bottom left out",
         Records().pen(5, 0).brush(0, red).add(META_ELLIPSE, {10, 12, 2, 2}).bytes(), 64,
         {{{2, 5}, red}, {{11, 5}, red}, {{12, 5}, White}, {{5, 2}, red}, {{4, 2}, White}, {{8, 2}, red},
          {{9, 2}, White}, {{5, 9}, red}, {{5, 10}, White}, {{2, 2}, White}},
         [](const Image& image) { symmetricIn(image, {2, 2, 10, 8}); }},
        {"ellipse with a 1-pixel pen: outline on its outermost pixels",
         Records().brush(0, red).add(META_ELLIPSE, {10, 12, 2, 2}).bytes(), 64,
         {{{5, 2}, Black}, {{8, 2}, Black}, {{2, 5}, Black}, {{11, 5}, Black}, {{3, 3}, Black}, {{4, 3}, Black},
          {{5, 3}, red}, {{6, 6}, red}},
         [](const Image& image) { symmetricIn(image, {2, 2, 10, 8}); }},
        {"ellipse with a 3-pixel pen: a band centred on the one-pixel outline",
         Records().pen(0, 3).brush(0, red).add(META_ELLIPSE, {14, 14, 2, 2}).bytes(), -1,
         {{{0, 7}, White}, {{1, 7}, Black}, {{3, 7}, Black}, {{4, 7}, red}, {{11, 7}, red}, {{12, 7}, Black},
          {{14, 7}, Black}, {{15, 7}, White}, {{7, 1}, Black}, {{7, 3}, Black}, {{7, 4}, red}},
         [](const Image& image) { symmetricIn(image, {1, 1, 14, 14}); }},
        {"line: its last point left out",
         Records().add(META_MOVETO, {3, 2}).add(META_LINETO, {3, 10}).bytes(), 8,
         {{{2, 3}, Black}, {{9, 3}, Black}, {{10, 3}, White}}},
        {"line leaving the canvas leftwards: drawn up to its edge",
         Records().add(META_MOVETO, {3, 5}).add(META_LINETO, {3, -5}).bytes(), 6,
         {{{5, 3}, Black}, {{0, 3}, Black}, {{6, 3}, White}}},
        {"diagonal line: one pixel a step",
         Records().add(META_MOVETO, {2, 2}).add(META_LINETO, {8, 8}).bytes(), 6,
         {{{2, 2}, Black}, {{5, 5}, Black}, {{7, 7}, Black}, {{8, 8}, White}, {{3, 2}, White}}},
        {"shallow line from outside the canvas: the nearest pixel across, halves towards the end",
         Records().add(META_MOVETO, {-1, -9}).add(META_LINETO, {5, 11}).bytes(), 11,
         {{{0, 2}, Black}, {{0, 1}, White}, {{2, 2}, Black}, {{3, 3}, Black}, {{6, 4}, Black}, {{10, 5}, Black},
          {{11, 5}, White}}},
        {"polyline: its corners drawn, its last point left out",
         Records().add(META_POLYLINE, {3, 2, 2, 10, 2, 10, 8}).bytes(), 14,
         {{{10, 2}, Black}, {{10, 7}, Black}, {{10, 8}, White}}},
        {"dotted pen: 3 on, 3 off; transparent gaps left alone",
         Records()
             .add(META_SETBKMODE, {1})
             .add(META_SETBKCOLOR, {Records::colourLow(green), 0})
             .pen(2, 0)
             .add(META_MOVETO, {1, 0})
             .add(META_LINETO, {1, 16})
             .bytes(),
         9,
         {{{0, 1}, Black}, {{2, 1}, Black}, {{3, 1}, White}, {{6, 1}, Black}, {{15, 1}, White}}},
        {"dotted pen: opaque gaps take the background",
         Records()
             .add(META_SETBKCOLOR, {Records::colourLow(green), Records::colourHigh(green)})
             .pen(2, 0)
             .add(META_MOVETO, {1, 0})
             .add(META_LINETO, {1, 16})
             .bytes(),
         16, {{{0, 1}, Black}, {{3, 1}, green}, {{6, 1}, Black}}},
        {"4-pixel pen: four rows centred on the line",
         Records().pen(0, 4).add(META_MOVETO, {8, 2}).add(META_LINETO, {8, 12}).bytes(), -1,
         {{{7, 5}, White}, {{7, 6}, Black}, {{7, 9}, Black}, {{7, 10}, White}}},
        {"pen width scales with the mapping: 2 units at twice the size",
         Records(8).pen(0, 2).add(META_MOVETO, {4, 1}).add(META_LINETO, {4, 6}).bytes(), -1,
         {{{7, 5}, White}, {{7, 6}, Black}, {{7, 9}, Black}, {{7, 10}, White}}},
        {"a 1-unit pen stays one pixel at twice the size",
         Records(8).pen(0, 1).add(META_MOVETO, {4, 1}).add(META_LINETO, {4, 6}).bytes(), 10,
         {{{2, 8}, Black}, {{11, 8}, Black}, {{12, 8}, White}, {{5, 7}, White}, {{5, 9}, White}}},
        {"polygon: pixel centres inside, right and bottom edges left out",
         Records().pen(5, 0).brush(0, red).add(META_POLYGON, {4, 2, 2, 10, 2, 10, 10, 2, 10}).bytes(), 64,
         {{{2, 2}, red}, {{9, 9}, red}, {{10, 9}, White}, {{9, 10}, White}}},
        {"triangle: its slanted edge is a right edge, pixel centres on it left out",
         Records().pen(5, 0).brush(0, red).add(META_POLYGON, {3, 0, 0, 8, 0, 0, 8}).bytes(), 28,
         {{{6, 0}, red}, {{7, 0}, White}, {{0, 6}, red}, {{3, 3}, red}, {{4, 3}, White}}},
        {"fractional mapping: corners round to the nearest pixel",
         Records(12).pen(5, 0).brush(0, red).add(META_RECTANGLE, {5, 5, 0, 0}).bytes(), 49,
         {{{6, 6}, red}, {{7, 6}, White}, {{6, 7}, White}}},
        {"polygon outline: through the pixels its corners name",
         Records().brush(0, red).add(META_POLYGON, {4, 2, 2, 10, 2, 10, 10, 2, 10}).bytes(), 81,
         {{{2, 2}, Black}, {{10, 10}, Black}, {{9, 9}, red}, {{11, 10}, White}}},
        {"star, ALTERNATE: its middle is out", filled(1, META_POLYGON, star), -1,
         {{{8, 3}, red}, {{7, 7}, White}, {{8, 8}, White}, {{3, 6}, red}}},
        {"star, WINDING: its middle is in", filled(2, META_POLYGON, star), -1,
         {{{8, 3}, red}, {{7, 7}, red}, {{8, 8}, red}, {{3, 6}, red}}},
        {"polypolygon, ALTERNATE: one shape, the overlap out", filled(1, META_POLYPOLYGON, squares), 96,
         {{{4, 4}, red}, {{8, 8}, White}, {{12, 12}, red}}},
        {"polypolygon, WINDING: one shape, the overlap in", filled(2, META_POLYPOLYGON, squares), 112,
         {{{4, 4}, red}, {{8, 8}, red}, {{12, 12}, red}}},
        {"hatch HS_HORIZONTAL, gaps in the opaque background", hatchFill(0), 256,
         {{{5, 0}, red}, {{5, 8}, red}, {{5, 1}, blue}, {{5, 7}, blue}}, period8},
        {"hatch HS_VERTICAL", hatchFill(1), 256, {{{0, 5}, red}, {{8, 5}, red}, {{1, 5}, blue}}, period8},
        {"hatch HS_FDIAGONAL", hatchFill(2), 256,
         {{{1, 1}, red}, {{3, 3}, red}, {{4, 3}, blue}, {{1, 7}, blue}}, period8},
        {"hatch HS_BDIAGONAL", hatchFill(3), 256,
         {{{0, 0}, red}, {{7, 1}, red}, {{1, 7}, red}, {{1, 1}, blue}}, period8},
        {"hatch HS_CROSS", hatchFill(4), 256, {{{0, 5}, red}, {{5, 0}, red}, {{5, 5}, blue}}, period8},
        {"hatch HS_DIAGCROSS", hatchFill(5), 256,
         {{{3, 3}, red}, {{3, 5}, red}, {{3, 4}, blue}, {{0, 4}, blue}}, period8},
        {"hatch aligned to the canvas, not the shape; transparent gaps left alone",
         Records()
             .add(META_SETBKMODE, {1})
             .add(META_SETBKCOLOR, {Records::colourLow(green), 0})
             .brush(2, red, 0)
             .add(META_PATBLT, {0x0021, 0x00F0, 10, 10, 3, 3}).bytes(),
         10, {{{3, 8}, red}, {{12, 8}, red}, {{13, 8}, White}, {{5, 3}, White}, {{5, 4}, White}}},
        {"PATBLT BLACKNESS and WHITENESS ignore the brush",
         Records()
             .brush(0, red)
             .add(META_PATBLT, {0x0021, 0x00F0, 16, 16, 0, 0})
             .add(META_PATBLT, {0x0042, 0x0000, 4, 4, 2, 2})
             .add(META_PATBLT, {0x0062, 0x00FF, 4, 4, 8, 8})
             .bytes(),
         240, {{{2, 2}, Black}, {{5, 5}, Black}, {{6, 6}, red}, {{8, 8}, White}, {{11, 11}, White}, {{12, 12}, red}}},
        {"SRCCOPY", ropOver(0x00CC0020), 256, {{{4, 4}, ropS}, {{11, 11}, ropS}, {{3, 3}, ropD}, {{12, 12}, ropD}}},
        {"SRCPAINT: OR", ropOver(0x00EE0086), 256, {{{4, 4}, rgb(0x3F, 0xF5, 0xF5)}, {{12, 12}, ropD}}},
        {"SRCAND: AND", ropOver(0x008800C6), 256, {{{4, 4}, rgb(0x03, 0x50, 0x50)}, {{12, 12}, ropD}}},
        {"SRCINVERT: XOR", ropOver(0x00660046), 256, {{{4, 4}, rgb(0x3C, 0xA5, 0xA5)}, {{12, 12}, ropD}}},
        {"NOTSRCCOPY: NOT", ropOver(0x00330008), 256, {{{4, 4}, rgb(0xCC, 0xAA, 0x0F)}, {{12, 12}, ropD}}},
        {"MERGECOPY: skipped", ropOver(0x00C000CA), 256, {{{4, 4}, ropD}}},
        {"bitmap with a negative destination width: mirrored",
         Records().add(META_DIBSTRETCHBLT, {0x0020, 0x00CC, 1, 2, 0, 0, 2, -8, 4, 12}, dib24(2, 1, {Black, red})).bytes(),
         16, {{{4, 4}, red}, {{7, 5}, red}, {{8, 4}, Black}, {{11, 5}, Black}, {{12, 4}, White}}},
        {"bitmap with a negative source width too: mirrored twice",
         Records().add(META_DIBSTRETCHBLT, {0x0020, 0x00CC, 1, -2, 0, 2, 2, -8, 4, 12}, dib24(2, 1, {Black, red})).bytes(),
         16, {{{4, 4}, Black}, {{8, 4}, red}}},
        {"bitmap source beyond the bitmap: only what it holds is drawn",
         Records().add(META_DIBSTRETCHBLT, {0x0020, 0x00CC, 1, 2, 0, 1, 1, 8, 4, 4}, dib24(2, 1, {Black, red})).bytes(),
         4, {{{4, 4}, red}, {{7, 4}, red}, {{8, 4}, White}}},
        {"nothing drawn outside the target",
         Records()
             .brush(0, red)
             .add(META_RECTANGLE, {100, 100, -100, -100})
             .pen(0, 60)
             .add(META_ELLIPSE, {300, 300, -300, -300})
             .add(META_MOVETO, {-1000, -1000})
             .add(META_LINETO, {1000, 1000})
             .bytes(),
         64, {{{4, 4}, Black}, {{11, 11}, Black}, {{3, 3}, White}, {{12, 12}, White}}, {}, {4, 4, 8, 8}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Image canvas(16, 16, PixelFormat::Xrgb32);
        canvas.fill(White);
        ASSERT_NO_THROW(render(canvas, row.metafile, row.target));
        int changed = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                changed += canvas.pixel(x, y) != White;
        if (row.changed >= 0) {
            EXPECT_EQ(changed, row.changed);
        }
        for (const auto& [at, colour] : row.probes)
            EXPECT_EQ(canvas.pixel(at.x, at.y), colour) << at.x << "," << at.y << ": " << std::hex
                                                        << canvas.pixel(at.x, at.y);
        if (row.more)
            row.more(canvas);
    }
}

// Every pixel format of the canvas takes the same colours.
TEST(Raster, CanvasesOfEveryFormatTakeTheSameColours)
{
    const Bytes wmf = ropOver(0x00660046);
    for (auto format : {PixelFormat::Xrgb32, PixelFormat::Argb32, PixelFormat::Rgbx8888, PixelFormat::Rgba8888}) {
        SCOPED_TRACE(int(format));
        Image canvas(16, 16, format);
        canvas.fill(argb(0, 255, 255, 255));
        render(canvas, wmf, canvas.rect());
        EXPECT_EQ(canvas.pixel(4, 4), rgb(0x3C, 0xA5, 0xA5)) << "opaque";
        EXPECT_EQ(canvas.pixel(0, 0), ropD);
    }
}
