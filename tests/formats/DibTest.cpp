#include "formats/BitmapFile.h"
#include "formats/Dib.h"
#include "tests/support/BitmapFiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace glimmer;
using Code = FormatError::Code;
using test::BitmapFormat;

namespace {

void set32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
}

// The first `n` bytes of `b`, or those after the first `n`.
Bytes left(const Bytes& b, std::size_t n)
{
    return {b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)};
}
Bytes from(const Bytes& b, std::size_t n)
{
    return {b.begin() + static_cast<std::ptrdiff_t>(n), b.end()};
}

// Where two images differ first; empty when they do not.
std::string difference(const Image& a, const Image& b)
{
    if (a.size() != b.size())
        return "sizes differ";
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return std::to_string(x) + "," + std::to_string(y);
    return {};
}

// A packed 40-byte-header DIB of `bits` (4 or 8) with RLE `data` and a
// colour table of red, green, blue, white (index 0 black).
Bytes rleDib(int width, int height, int bits, const Bytes& data)
{
    Bytes dib(40);
    set32(dib, 0, 40);
    set32(dib, 4, static_cast<std::uint32_t>(width));
    set32(dib, 8, static_cast<std::uint32_t>(height));
    dib[12] = std::byte{1};
    dib[14] = static_cast<std::byte>(bits);
    set32(dib, 16, bits == 8 ? 1 : 2);
    set32(dib, 32, 5);
    for (const std::uint32_t c : {rgb(0, 0, 0), rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255), rgb(255, 255, 255)})
        for (const unsigned v : {blueOf(c), greenOf(c), redOf(c), 0u})
            dib.push_back(static_cast<std::byte>(v));
    dib.insert(dib.end(), data.begin(), data.end());
    return dib;
}

Bytes bytes(std::initializer_list<int> b)
{
    Bytes out;
    for (int v : b)
        out.push_back(static_cast<std::byte>(v));
    return out;
}

// The picture as rows of colour letters: k black, r, g, b, w.
std::vector<std::string> letters(const Image& image)
{
    std::vector<std::string> rows;
    for (int y = 0; y < image.height(); ++y) {
        std::string row;
        for (int x = 0; x < image.width(); ++x) {
            switch (image.pixel(x, y) & 0xFFFFFFu) {
            case 0x000000: row += 'k'; break;
            case 0xFF0000: row += 'r'; break;
            case 0x00FF00: row += 'g'; break;
            case 0x0000FF: row += 'b'; break;
            case 0xFFFFFF: row += 'w'; break;
            default: row += '?'; break;
            }
        }
        rows.push_back(row);
    }
    return rows;
}

} // namespace

// A bitmap file and the packed DIB inside it decode to the same picture.
TEST(Dib, PackedAndFileFormsDecodeAlike)
{
    const BitmapFormat formats[] = {{1}, {4}, {8}, {8, 0, true}, {8, 0, false, 12}, {16}, {24}, {24, 0, true},
                                    {32}, {8, 1}, {4, 2}, {16, 3, false, 40, 0xF800, 0x07E0, 0x001F},
                                    {32, 3, false, 108, 0x0000FF, 0x00FF00, 0xFF0000}, {24, 0, false, 124}};
    for (const BitmapFormat& f : formats) {
        const Image picture = test::cornerPicture(11, 4, f.bitCount == 1 ? 2 : 8);
        SCOPED_TRACE(testing::Message() << f.bitCount << " bits, compression " << f.compression << ", header "
                                        << f.headerSize << (f.topDown ? ", top-down" : ""));
        const Bytes file = test::makeBitmapFile(picture, f);
        const Image packed = dib::decode(from(file, 14));
        const Image whole = bmp::decode(file);
        EXPECT_EQ(packed.format(), PixelFormat::Xrgb32);
        EXPECT_EQ(difference(packed, picture), "");
        EXPECT_EQ(difference(whole, picture), "");
    }
}

// Literal stretches (with their padding), jumps, line ends, runs past the
// row's end and pixels never reached.
TEST(Dib, RunLengthEncodingPlacesEveryPixel)
{
    // RLE8, 5 x 3, bottom row first: a run of 2 red, a literal g b w (padded),
    // end of line; a jump of 3 right and 1 up; then a run of 9 blue from x 3.
    const Bytes rle8 = bytes({2, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 3, 1, 9, 3, 0, 1});
    EXPECT_EQ(letters(dib::decode(rleDib(5, 3, 8, rle8))),
              (std::vector<std::string>{"kkkbb", "kkkkk", "rrgbw"}));
    // RLE4, 5 x 2: a run of 3 alternating r g, a literal of b w r (its r
    // past the row), end of line; a literal of 5 r g b w r (three bytes,
    // padded), end of line, and no end mark.
    const Bytes rle4 = bytes({3, 0x12, 0, 3, 0x34, 0x10, 0, 0, 0, 5, 0x12, 0x34, 0x10, 0, 0, 0});
    EXPECT_EQ(letters(dib::decode(rleDib(5, 2, 4, rle4))), (std::vector<std::string>{"rgbwr", "rgrbw"}));
}

// Each damaged DIB is refused before any pixel memory is taken, with the
// error that names its fault.
TEST(Dib, DamagedBitmapsGiveTheirOwnError)
{
    const Bytes rle = rleDib(5, 3, 8, bytes({2, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 1}));
    const Bytes good8 = from(test::makeBitmapFile(test::cornerPicture(7, 5), BitmapFormat{8}), 14);
    const Bytes fields = from(test::makeBitmapFile(test::cornerPicture(7, 5), {16, 3, false, 40, 0xF800, 0x07E0, 0x001F}), 14);
    const auto edit = [](Bytes b, const std::function<void(Bytes&)>& f) {
        f(b);
        return b;
    };
    dib::Options small;
    small.maxPixels = 34;
    dib::Options palette;
    palette.paletteIndices = true;
    const struct {
        const char* name;
        Bytes dib;
        dib::Options options;
        Code code;
    } cases[] = {
        {"RLE cut inside a run", left(rle, rle.size() - 11), {}, Code::Truncated},
        {"RLE cut inside a literal", left(rle, rle.size() - 8), {}, Code::Truncated},
        {"RLE rows missing, no end mark", left(rle, rle.size() - 2), {}, Code::Truncated},
        {"RLE jump cut short", rleDib(5, 3, 8, bytes({0, 2, 3})), {}, Code::Truncated},
        {"RLE8 at 4 bits", edit(rle, [](Bytes& b) { b[14] = std::byte{4}; }), {}, Code::BadValue},
        {"RLE stored top-down", edit(rle, [](Bytes& b) { set32(b, 8, static_cast<std::uint32_t>(-3)); }), {},
         Code::BadValue},
        {"bit fields at 8 bits", edit(good8, [](Bytes& b) { set32(b, 16, 3); }), {}, Code::BadValue},
        {"bit-field masks cut off", left(fields, 44), {}, Code::Truncated},
        {"a colour table of a million entries at 24 bits",
         edit(from(test::makeBitmapFile(test::cornerPicture(7, 5), BitmapFormat{24}), 14),
              [](Bytes& b) { set32(b, 32, 1'000'000); }),
         {}, Code::Truncated},
        {"over the caller's pixel limit", good8, small, Code::TooLarge},
        {"palette indices for colours", good8, palette, Code::Unsupported},
        {"header of 64 bytes", edit(good8, [](Bytes& b) { set32(b, 0, 64); }), {}, Code::Unsupported},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            dib::read(c.dib, c.options);
            ADD_FAILURE() << "accepted";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
        }
    }
}

// Bottom-up rows of blue, green, red, padded with zeros, from every format;
// alpha is dropped, not blended.
TEST(Dib, WritesBottomUpRowsOf24Bits)
{
    for (const PixelFormat format : {PixelFormat::Xrgb32, PixelFormat::Argb32, PixelFormat::Rgbx8888, PixelFormat::Rgba8888}) {
        SCOPED_TRACE(static_cast<int>(format));
        Image image(3, 2, format);
        for (int i = 0; i < 6; ++i)
            image.setPixel(i % 3, i / 3, argb(0x80, unsigned(0x10 + i), unsigned(0x20 + i), unsigned(0x30 + i)));
        Bytes rows(2 * 12, std::byte{0xEE});
        dib::writeRows24(image, rows);
        EXPECT_EQ(rows, bytes({0x33, 0x23, 0x13, 0x34, 0x24, 0x14, 0x35, 0x25, 0x15, 0, 0, 0,
                               0x30, 0x20, 0x10, 0x31, 0x21, 0x11, 0x32, 0x22, 0x12, 0, 0, 0}));
        Bytes wrong(2 * 9);
        EXPECT_THROW(dib::writeRows24(image, wrong), std::length_error);
    }
}
