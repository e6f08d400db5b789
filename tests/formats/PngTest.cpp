#include "formats/Png.h"

#include <libdeflate.h>

#include <gtest/gtest.h>

#include <QImage>

#include <random>
#include <vector>

using namespace glimmer;
using Code = FormatError::Code;

namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<std::uint8_t>(v >> shift));
}

void chunk(Bytes& png, const char* type, const Bytes& data)
{
    put32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put32(png, libdeflate_crc32(0, png.data() + start, png.size() - start));
}

struct Shape {
    const char* name;
    int colour, depth;
    bool interlaced;
    Bytes transparency;   // a tRNS chunk's data, if any
};

// A PNG of `s` with random samples, each row filtered by the next of the
// five filters in turn, its image data split over two chunks.
Bytes randomPng(const Shape& s, std::uint32_t width, std::uint32_t height, std::mt19937& random)
{
    const int channels = s.colour == 0 || s.colour == 3 ? 1 : s.colour == 4 ? 2 : s.colour == 2 ? 3 : 4;
    const std::size_t bpp = std::max(1, channels * s.depth / 8);
    const auto rowBytes = [&](std::uint32_t w) { return (std::size_t{w} * channels * s.depth + 7) / 8; };
    const std::uint32_t passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                        {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    Bytes raw;
    int filter = 0;
    const std::uint32_t whole[4] = {0, 0, 1, 1};
    for (int p = 0; p < (s.interlaced ? 7 : 1); ++p) {
        const std::uint32_t* pass = s.interlaced ? passes[p] : whole;
        const std::uint32_t x0 = pass[0], y0 = pass[1], dx = pass[2], dy = pass[3];
        const std::uint32_t w = width > x0 ? (width - x0 + dx - 1) / dx : 0;
        const std::uint32_t h = height > y0 ? (height - y0 + dy - 1) / dy : 0;
        if (w == 0)
            continue;
        Bytes previous(rowBytes(w), 0);
        for (std::uint32_t y = 0; y < h; ++y, filter = (filter + 1) % 5) {
            Bytes row(rowBytes(w));
            for (auto& b : row)   // palette indices stay within the four colours
                b = static_cast<std::uint8_t>(s.colour == 3 ? (s.depth == 8 ? random() % 4 : random() & 0x55) : random());
            raw.push_back(static_cast<std::uint8_t>(filter));
            for (std::size_t i = 0; i < row.size(); ++i) {
                const int a = i >= bpp ? row[i - bpp] : 0, b = previous[i], c = i >= bpp ? previous[i - bpp] : 0;
                const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
                const int predict[5] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
                raw.push_back(static_cast<std::uint8_t>(row[i] - predict[filter]));
            }
            previous = row;
        }
    }
    Bytes packed(libdeflate_zlib_compress_bound(nullptr, raw.size()));
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    packed.resize(libdeflate_zlib_compress(compressor, raw.data(), raw.size(), packed.data(), packed.size()));
    libdeflate_free_compressor(compressor);

    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    put32(header, width);
    put32(header, height);
    header.insert(header.end(), {static_cast<std::uint8_t>(s.depth), static_cast<std::uint8_t>(s.colour), 0, 0,
                                 static_cast<std::uint8_t>(s.interlaced)});
    chunk(png, "IHDR", header);
    if (s.colour == 3)
        chunk(png, "PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30});
    if (!s.transparency.empty())
        chunk(png, "tRNS", s.transparency);
    const std::size_t half = packed.size() / 2;
    chunk(png, "IDAT", Bytes(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(half)));
    chunk(png, "IDAT", Bytes(packed.begin() + static_cast<std::ptrdiff_t>(half), packed.end()));
    chunk(png, "IEND", {});
    return png;
}

QImage decodeBytes(const Bytes& png, std::int64_t maxPixels = 1 << 20)
{
    return png::decode({reinterpret_cast<const std::byte*>(png.data()), png.size()}, maxPixels);
}

} // namespace

// Every colour type and bit depth, plain and interlaced, with and without
// transparency, against Qt's own PNG reader (libpng) on the same bytes.
TEST(Png, DecodesEveryKindAsLibpngDoes)
{
    const Shape shapes[] = {
        {"grey 1", 0, 1, false, {}},         {"grey 2 interlaced", 0, 2, true, {}},
        {"grey 4 tRNS", 0, 4, false, {0, 5}}, {"grey 8", 0, 8, true, {}},
        {"grey 16 tRNS", 0, 16, false, {0x12, 0x34}},
        {"rgb 8", 2, 8, false, {}},          {"rgb 8 interlaced tRNS", 2, 8, true, {0, 1, 0, 2, 0, 3}},
        {"rgb 16", 2, 16, true, {}},         {"palette 1", 3, 1, true, {}},
        {"palette 2 tRNS", 3, 2, false, {128, 0}}, {"palette 8", 3, 8, false, {}},
        {"grey alpha 8", 4, 8, false, {}},   {"grey alpha 16", 4, 16, true, {}},
        {"rgba 8", 6, 8, false, {}},         {"rgba 8 interlaced", 6, 8, true, {}},
        {"rgba 16", 6, 16, false, {}},
    };
    std::mt19937 random(7);
    for (const Shape& s : shapes) {
        for (const auto& [w, h] : {std::pair{13u, 11u}, std::pair{1u, 1u}, std::pair{3u, 9u}}) {
            SCOPED_TRACE(testing::Message() << s.name << " " << w << "x" << h);
            const Bytes png = randomPng(s, w, h, random);
            QImage expected;
            ASSERT_TRUE(expected.loadFromData(png.data(), static_cast<int>(png.size()), "PNG"));
            const QImage ours = decodeBytes(png);
            EXPECT_EQ(ours.hasAlphaChannel(), s.colour >= 4 || !s.transparency.empty());
            // Premultiplied, so that the colour of a clear pixel does not count.
            const QImage a = ours.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
            const QImage b = expected.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
            ASSERT_EQ(a.size(), b.size());
            // Qt rounds 16-bit samples to 8 bits; we keep the high byte, and
            // premultiplying can double that.
            const int tolerance = s.depth == 16 ? 2 : 0;
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width() * 4; ++x)
                    ASSERT_LE(std::abs(a.constScanLine(y)[x] - b.constScanLine(y)[x]), tolerance)
                        << x / 4 << "," << y << ": " << a.pixelColor(x / 4, y).name(QColor::HexArgb).toStdString() << " " << b.pixelColor(x / 4, y).name(QColor::HexArgb).toStdString();
        }
    }
}

// Damage anywhere gives a FormatError of the right kind, never pixels.
TEST(Png, RefusesDamage)
{
    std::mt19937 random(3);
    const Bytes good = randomPng({"rgb", 2, 8, false, {}}, 20, 20, random);
    const std::size_t idat = 8 + 25;   // the first image data chunk
    const auto with = [&](auto change) {
        Bytes b = good;
        change(b);
        return b;
    };
    struct Row {
        const char* name;
        Bytes png;
        Code code;
        std::int64_t maxPixels = 1 << 20;
    };
    const Row rows[] = {
        {"no signature", with([](Bytes& b) { b[1] = 'Q'; }), Code::BadSignature},
        {"a checksum wrong", with([](Bytes& b) { b[idat + 9] ^= 1; }), Code::BadValue},
        {"cut in the image data", Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(idat + 20)), Code::Truncated},
        {"too large", good, Code::TooLarge, 399},
        {"zero width", with([](Bytes& b) { b[16] = b[17] = b[18] = b[19] = 0; }), Code::BadValue},
        {"colour type 5", with([](Bytes& b) { b[25] = 5; }), Code::BadValue},
        {"palette without PLTE", with([](Bytes& b) { b[25] = 3; }), Code::BadValue},
        {"unknown critical chunk", with([](Bytes& b) { b[idat + 4] = 'X'; }), Code::Unsupported},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Bytes png = r.png;
        // Edited chunks get fresh checksums, so that the edit is what is read.
        for (std::size_t at = 8; std::string_view(r.name) != "a checksum wrong" && at + 12 <= png.size();) {
            const std::size_t length = std::size_t{png[at]} << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
            if (at + 12 + length > png.size())
                break;
            const std::uint32_t crc = libdeflate_crc32(0, png.data() + at + 4, length + 4);
            for (std::size_t i = 0; i < 4; ++i)
                png[at + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
            at += 12 + length;
        }
        try {
            decodeBytes(png, r.maxPixels);
            ADD_FAILURE() << "decoded";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), r.code) << e.what();
        }
    }
    // Rows that do not inflate to their size, or name an unknown filter.
    Bytes rawRows(1 + 3, 0);
    rawRows[0] = 5;
    Bytes packed(64);
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(1);
    packed.resize(libdeflate_zlib_compress(compressor, rawRows.data(), rawRows.size(), packed.data(), packed.size()));
    libdeflate_free_compressor(compressor);
    for (const auto& [height, code] : {std::pair{1u, Code::BadValue}, std::pair{2u, Code::Truncated}}) {
        Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        Bytes header;
        put32(header, 1);
        put32(header, height);
        header.insert(header.end(), {8, 2, 0, 0, 0});
        chunk(png, "IHDR", header);
        chunk(png, "IDAT", packed);
        try {
            decodeBytes(png);
            ADD_FAILURE() << "decoded";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), code) << e.what();
        }
    }
}

// What we write, both we and libpng read back to the same pixels.
TEST(Png, EncodesWhatBothReadersReadBack)
{
    QImage opaque(37, 5, QImage::Format_RGB32);
    QImage clear(4, 9, QImage::Format_ARGB32);
    for (QImage* image : {&opaque, &clear})
        for (int y = 0; y < image->height(); ++y)
            for (int x = 0; x < image->width(); ++x)
                image->setPixelColor(x, y, QColor(x * 7 % 256, y * 40 % 256, (x * y) % 256, image == &clear ? y * 30 : 255));
    for (const QImage& image : {opaque, clear}) {
        SCOPED_TRACE(image.width());
        const QByteArray file = png::encode(image);
        const QImage ours = png::decode({reinterpret_cast<const std::byte*>(file.constData()), static_cast<std::size_t>(file.size())}, 1 << 20);
        QImage theirs;
        ASSERT_TRUE(theirs.loadFromData(file, "PNG"));
        const QImage want = image.convertToFormat(QImage::Format_RGBA8888);
        EXPECT_EQ(ours.convertToFormat(QImage::Format_RGBA8888), want);
        EXPECT_EQ(theirs.convertToFormat(QImage::Format_RGBA8888), want);
    }
    EXPECT_THROW(png::encode(QImage()), FormatError);
}
