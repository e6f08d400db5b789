#include "formats/BitmapFile.h"
#include "formats/Dib.h"
#include "tests/support/BitmapFiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace glimmer;
using Code = FormatError::Code;
using test::BitmapFormat;

namespace {

std::span<const std::byte> bytesOf(const QByteArray& b)
{
    return {reinterpret_cast<const std::byte*>(b.constData()), static_cast<std::size_t>(b.size())};
}

void set32(QByteArray& b, qsizetype at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A packed 40-byte-header DIB of `bits` (4 or 8) with RLE `data` and a
// colour table of red, green, blue, white (index 0 black).
QByteArray rleDib(int width, int height, int bits, const QByteArray& data)
{
    QByteArray dib(40, '\0');
    set32(dib, 0, 40);
    set32(dib, 4, static_cast<std::uint32_t>(width));
    set32(dib, 8, static_cast<std::uint32_t>(height));
    dib[12] = 1;
    dib[14] = static_cast<char>(bits);
    set32(dib, 16, bits == 8 ? 1 : 2);
    set32(dib, 32, 5);
    for (QRgb c : {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)})
        dib.append(static_cast<char>(qBlue(c))).append(static_cast<char>(qGreen(c))).append(static_cast<char>(qRed(c))).append('\0');
    return dib + data;
}

QByteArray bytes(std::initializer_list<int> b)
{
    QByteArray out;
    for (int v : b)
        out.append(static_cast<char>(v));
    return out;
}

// The picture as rows of colour letters: k black, r, g, b, w.
std::vector<std::string> letters(const QImage& image)
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
        const QImage picture = test::cornerPicture(11, 4, f.bitCount == 1 ? 2 : 8);
        SCOPED_TRACE(testing::Message() << f.bitCount << " bits, compression " << f.compression << ", header "
                                        << f.headerSize << (f.topDown ? ", top-down" : ""));
        const QByteArray file = test::makeBitmapFile(picture, f);
        EXPECT_EQ(dib::decode(bytesOf(file.mid(14))), picture);
        EXPECT_EQ(bmp::decode(bytesOf(file)), picture);
    }
}

// Literal stretches (with their padding), jumps, line ends, runs past the
// row's end and pixels never reached.
TEST(Dib, RunLengthEncodingPlacesEveryPixel)
{
    // RLE8, 5 x 3, bottom row first: a run of 2 red, a literal g b w (padded),
    // end of line; a jump of 3 right and 1 up; then a run of 9 blue from x 3.
    const QByteArray rle8 = bytes({2, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 3, 1, 9, 3, 0, 1});
    EXPECT_EQ(letters(dib::decode(bytesOf(rleDib(5, 3, 8, rle8)))),
              (std::vector<std::string>{"kkkbb", "kkkkk", "rrgbw"}));
    // RLE4, 5 x 2: a run of 3 alternating r g, a literal of b w r (its r
    // past the row), end of line; a literal of 5 r g b w r (three bytes,
    // padded), end of line, and no end mark.
    const QByteArray rle4 = bytes({3, 0x12, 0, 3, 0x34, 0x10, 0, 0, 0, 5, 0x12, 0x34, 0x10, 0, 0, 0});
    EXPECT_EQ(letters(dib::decode(bytesOf(rleDib(5, 2, 4, rle4)))), (std::vector<std::string>{"rgbwr", "rgrbw"}));
}

// Each damaged DIB is refused before any pixel memory is taken, with the
// error that names its fault.
TEST(Dib, DamagedBitmapsGiveTheirOwnError)
{
    const QByteArray rle = rleDib(5, 3, 8, bytes({2, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 1}));
    const QByteArray good8 = test::makeBitmapFile(test::cornerPicture(7, 5), BitmapFormat{8}).mid(14);
    const QByteArray fields =
        test::makeBitmapFile(test::cornerPicture(7, 5), {16, 3, false, 40, 0xF800, 0x07E0, 0x001F}).mid(14);
    const auto edit = [](QByteArray b, const std::function<void(QByteArray&)>& f) {
        f(b);
        return b;
    };
    dib::Options small;
    small.maxPixels = 34;
    dib::Options palette;
    palette.paletteIndices = true;
    const struct {
        const char* name;
        QByteArray dib;
        dib::Options options;
        Code code;
    } cases[] = {
        {"RLE cut inside a run", rle.left(rle.size() - 11), {}, Code::Truncated},
        {"RLE cut inside a literal", rle.left(rle.size() - 8), {}, Code::Truncated},
        {"RLE rows missing, no end mark", rle.left(rle.size() - 2), {}, Code::Truncated},
        {"RLE jump cut short", rleDib(5, 3, 8, bytes({0, 2, 3})), {}, Code::Truncated},
        {"RLE8 at 4 bits", edit(rle, [](QByteArray& b) { b[14] = 4; }), {}, Code::BadValue},
        {"RLE stored top-down", edit(rle, [](QByteArray& b) { set32(b, 8, static_cast<std::uint32_t>(-3)); }), {},
         Code::BadValue},
        {"bit fields at 8 bits", edit(good8, [](QByteArray& b) { set32(b, 16, 3); }), {}, Code::BadValue},
        {"bit-field masks cut off", fields.left(44), {}, Code::Truncated},
        {"a colour table of a million entries at 24 bits",
         edit(test::makeBitmapFile(test::cornerPicture(7, 5), BitmapFormat{24}).mid(14),
              [](QByteArray& b) { set32(b, 32, 1'000'000); }),
         {}, Code::Truncated},
        {"over the caller's pixel limit", good8, small, Code::TooLarge},
        {"palette indices for colours", good8, palette, Code::Unsupported},
        {"header of 64 bytes", edit(good8, [](QByteArray& b) { set32(b, 0, 64); }), {}, Code::Unsupported},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            dib::read(bytesOf(c.dib), c.options);
            ADD_FAILURE() << "accepted";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
        }
    }
}
