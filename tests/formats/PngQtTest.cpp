// Our PNG reader and writer against Qt's, which is libpng.
#include "formats/Png.h"
#include "tests/support/PngFiles.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <cstring>

#include <random>

using namespace glimmer;
using namespace glimmer::test;

namespace {

// A copy of an engine image in the QImage format of the same bytes.
QImage qimage(const Image& image)
{
    const QImage::Format format = image.format() == PixelFormat::Xrgb32     ? QImage::Format_RGB32
                                  : image.format() == PixelFormat::Argb32   ? QImage::Format_ARGB32
                                  : image.format() == PixelFormat::Rgbx8888 ? QImage::Format_RGBX8888
                                                                            : QImage::Format_RGBA8888;
    QImage copy(image.width(), image.height(), format);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(copy.scanLine(y), image.row(y), std::size_t(image.width()) * 4);
    return copy;
}

} // namespace

// Every colour type and bit depth, plain and interlaced, with and without
// transparency, against libpng on the same bytes.
TEST(Png, DecodesEveryKindAsLibpngDoes)
{
    const PngShape shapes[] = {
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
    for (const PngShape& s : shapes) {
        for (const auto& [w, h] : {std::pair{13u, 11u}, std::pair{1u, 1u}, std::pair{3u, 9u}}) {
            SCOPED_TRACE(testing::Message() << s.name << " " << w << "x" << h);
            const PngBytes png = randomPng(s, w, h, random);
            QImage expected;
            ASSERT_TRUE(expected.loadFromData(png.data(), static_cast<int>(png.size()), "PNG"));
            const Image ours = png::decode(asBytes(png), 1 << 20);
            EXPECT_EQ(ours.hasAlpha(), s.colour >= 4 || !s.transparency.empty());
            // Premultiplied, so that the colour of a clear pixel does not count.
            const QImage a = qimage(ours).convertToFormat(QImage::Format_RGBA8888_Premultiplied);
            const QImage b = expected.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
            ASSERT_EQ(a.size(), b.size());
            // Qt rounds 16-bit samples to 8 bits; we keep the high byte, and
            // premultiplying can double that.
            const int tolerance = s.depth == 16 ? 2 : 0;
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width() * 4; ++x)
                    ASSERT_LE(std::abs(a.constScanLine(y)[x] - b.constScanLine(y)[x]), tolerance)
                        << x / 4 << "," << y << ": " << a.pixelColor(x / 4, y).name(QColor::HexArgb).toStdString()
                        << " " << b.pixelColor(x / 4, y).name(QColor::HexArgb).toStdString();
        }
    }
}

// What we write, libpng reads back to the same pixels.
TEST(Png, EncodesWhatLibpngReadsBack)
{
    Image opaque(37, 5, PixelFormat::Xrgb32);
    Image clear(4, 9, PixelFormat::Argb32);
    for (Image* image : {&opaque, &clear})
        for (int y = 0; y < image->height(); ++y)
            for (int x = 0; x < image->width(); ++x)
                image->setPixel(x, y, argb(image == &clear ? unsigned(y * 30) : 255u, unsigned(x * 7 % 256),
                                           unsigned(y * 40 % 256), unsigned(x * y % 256)));
    for (const Image& image : {opaque, clear}) {
        SCOPED_TRACE(image.width());
        const Bytes file = png::encode(image);
        QImage theirs;
        ASSERT_TRUE(theirs.loadFromData(reinterpret_cast<const uchar*>(file.data()), static_cast<int>(file.size()), "PNG"));
        EXPECT_EQ(theirs.convertToFormat(QImage::Format_RGBA8888), qimage(image).convertToFormat(QImage::Format_RGBA8888));
    }
}
