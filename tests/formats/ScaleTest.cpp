#include "formats/Scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using namespace glimmer;

namespace {

Image imageOf(Size size, PixelFormat format, const std::vector<std::uint32_t>& pixels)
{
    Image image(size, format);
    for (int i = 0; i < size.width * size.height; ++i)
        image.setPixel(i % size.width, i / size.width, pixels[std::size_t(i)]);
    return image;
}

std::vector<std::uint32_t> pixelsOf(const Image& image)
{
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            pixels.push_back(image.pixel(x, y));
    return pixels;
}

// The area average (shrinking) or the interpolation between pixel centres
// (growing) of one channel at one target pixel, in floating point.
double expectedChannel(const Image& source, Size size, int x, int y, unsigned (*channel)(std::uint32_t))
{
    const auto weights = [](int from, int to, int t) {
        std::vector<double> w(std::size_t(from), 0.0);
        if (from > to) {
            const double scale = double(from) / to;
            for (int i = 0; i < from; ++i)
                w[std::size_t(i)] = std::max(0.0, std::min(i + 1.0, (t + 1) * scale) - std::max(double(i), t * scale)) / scale;
        } else {
            const double at = std::clamp((t + 0.5) * from / to - 0.5, 0.0, from - 1.0);
            const int i = int(at);
            w[std::size_t(i)] = 1 - (at - i);
            if (i + 1 < from)
                w[std::size_t(i) + 1] = at - i;
        }
        return w;
    };
    const auto across = weights(source.width(), size.width, x);
    const auto down = weights(source.height(), size.height, y);
    double sum = 0;
    for (int sy = 0; sy < source.height(); ++sy)
        for (int sx = 0; sx < source.width() && down[std::size_t(sy)] > 0; ++sx)
            sum += across[std::size_t(sx)] * down[std::size_t(sy)] * channel(source.pixel(sx, sy));
    return sum;
}

} // namespace

// Small cases worked out by hand; every channel, alpha included, on its own.
TEST(Scale, SmallCasesGiveTheHandComputedPixels)
{
    const struct {
        const char* name;
        Size from;
        PixelFormat format;
        std::vector<std::uint32_t> pixels;
        Size to;
        std::vector<std::uint32_t> expected;
    } cases[] = {
        {"2x2 to 1x1: the average, rounded", {2, 2}, PixelFormat::Rgba8888,
         {argb(40, 10, 20, 30), argb(80, 20, 40, 60), argb(120, 30, 60, 90), argb(255, 41, 0, 255)}, {1, 1},
         {argb(124, 25, 30, 109)}},
        {"3 to 2: the middle pixel half in each", {3, 1}, PixelFormat::Argb32,
         {argb(0, 0, 10, 7), argb(90, 90, 20, 7), argb(240, 240, 31, 7)}, {2, 1},
         {argb(30, 30, 13, 7), argb(190, 190, 27, 7)}},
        {"1x1 to 2x2: the one pixel everywhere", {1, 1}, PixelFormat::Xrgb32, {rgb(1, 2, 3)}, {2, 2},
         {rgb(1, 2, 3), rgb(1, 2, 3), rgb(1, 2, 3), rgb(1, 2, 3)}},
        {"2 to 4: between the centres, the ends as they are", {2, 1}, PixelFormat::Rgbx8888,
         {rgb(0, 200, 8), rgb(200, 0, 8)}, {4, 1}, {rgb(0, 200, 8), rgb(50, 150, 8), rgb(150, 50, 8), rgb(200, 0, 8)}},
        {"a column of 4 to 2", {1, 4}, PixelFormat::Xrgb32, {rgb(10, 0, 0), rgb(20, 0, 0), rgb(0, 100, 0), rgb(0, 0, 100)},
         {1, 2}, {rgb(15, 0, 0), rgb(0, 50, 50)}},
        {"a row of 4 to 1", {4, 1}, PixelFormat::Rgba8888,
         {argb(0, 4, 0, 0), argb(255, 8, 0, 0), argb(255, 12, 0, 0), argb(255, 16, 0, 0)}, {1, 1}, {argb(191, 10, 0, 0)}},
        {"narrower and taller", {2, 1}, PixelFormat::Xrgb32, {rgb(100, 0, 0), rgb(200, 0, 0)}, {1, 3},
         {rgb(150, 0, 0), rgb(150, 0, 0), rgb(150, 0, 0)}},
    };
    for (const auto& c : cases)
        for (const auto scale : {scaled, scaledPlain}) {
            SCOPED_TRACE(testing::Message() << c.name << (scale == scaledPlain ? ", plain loops" : ""));
            const Image result = scale(imageOf(c.from, c.format, c.pixels), c.to);
            ASSERT_EQ(result.size(), c.to);
            EXPECT_EQ(result.format(), c.format);
            EXPECT_EQ(pixelsOf(result), c.expected);
        }
}

TEST(Scale, SameSizeIsTheSourceAndNothingIsNull)
{
    const Image source = imageOf({2, 1}, PixelFormat::Xrgb32, {rgb(1, 2, 3), rgb(4, 5, 6)});
    EXPECT_EQ(scaled(source, {2, 1}).row(0), source.row(0));
    EXPECT_TRUE(scaled(Image(), {4, 4}).isNull());
    EXPECT_TRUE(scaled(source, {0, 4}).isNull());
    EXPECT_TRUE(scaled(source, {-3, 4}).isNull());
}

// The sizes the programs use, and odd ones shrinking one way and growing
// the other, against the same filters in floating point: never more than
// one step off, a plain area exactly its colour, and the fast loops
// exactly the plain ones.
TEST(Scale, PreviewSizesFollowTheAreaAndTheCentres)
{
    std::mt19937 random(11);
    for (const auto& [from, to] : {std::pair{Size{512, 512}, Size{240, 240}}, std::pair{Size{180, 180}, Size{240, 240}},
                                   std::pair{Size{37, 23}, Size{11, 7}}, std::pair{Size{13, 9}, Size{29, 20}},
                                   std::pair{Size{37, 9}, Size{11, 20}}, std::pair{Size{13, 23}, Size{29, 7}}}) {
        SCOPED_TRACE(testing::Message() << from.width << " to " << to.width);
        Image source(from, PixelFormat::Argb32);
        for (int y = 0; y < from.height; ++y)
            for (int x = 0; x < from.width; ++x)
                source.setPixel(x, y, static_cast<std::uint32_t>(random()));
        const Image result = scaled(source, to);
        ASSERT_EQ(pixelsOf(result), pixelsOf(scaledPlain(source, to)));
        // A sample of pixels: the floating-point sums are slow.
        for (int y = 0; y < to.height; y += 1 + to.height / 8)
            for (int x = 0; x < to.width; x += 1 + to.width / 8)
                for (const auto channel : {alphaOf, redOf, greenOf, blueOf})
                    ASSERT_LE(std::abs(double(channel(result.pixel(x, y))) - expectedChannel(source, to, x, y, channel)), 1.0)
                        << x << "," << y;

        Image plain(from, PixelFormat::Rgba8888);
        plain.fill(argb(255, 255, 1, 128));
        for (const std::uint32_t p : pixelsOf(scaled(plain, to)))
            ASSERT_EQ(p, argb(255, 255, 1, 128));
    }
}
