#include "formats/Image.h"
#include "formats/FormatError.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

using namespace glimmer;

// Every format reads and writes 0xAARRGGBB alike, in its own byte order;
// converting keeps the colour and keeps alpha only where both formats have it.
TEST(Image, FormatsHoldTheirBytesAndConvertBetweenEachOther)
{
    constexpr std::uint32_t colour = argb(0x80, 0x11, 0x22, 0x33);
    const struct {
        PixelFormat format;
        std::uint8_t bytes[4];   // in memory, on a little-endian machine
    } formats[] = {{PixelFormat::Xrgb32, {0x33, 0x22, 0x11, 0xFF}},
                   {PixelFormat::Argb32, {0x33, 0x22, 0x11, 0x80}},
                   {PixelFormat::Rgbx8888, {0x11, 0x22, 0x33, 0xFF}},
                   {PixelFormat::Rgba8888, {0x11, 0x22, 0x33, 0x80}}};
    for (const auto& from : formats) {
        Image image(2, 1, from.format);
        image.fill(colour);
        SCOPED_TRACE(static_cast<int>(from.format));
        EXPECT_EQ(std::memcmp(image.row(0) + 4, from.bytes, 4), 0);
        EXPECT_EQ(image.isOpaque(), !image.hasAlpha());
        for (const auto& to : formats) {
            SCOPED_TRACE(static_cast<int>(to.format));
            const Image copy = image.converted(to.format);
            EXPECT_EQ(copy.format(), to.format);
            EXPECT_NE(copy.row(0), image.row(0));
            const bool alphaKept = image.hasAlpha() && copy.hasAlpha();
            EXPECT_EQ(copy.pixel(1, 0), alphaKept ? colour : colour | 0xFF000000u);
        }
    }
}

TEST(Image, CopiesOnlyBoxesInside)
{
    Image image(4, 3, PixelFormat::Xrgb32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            image.setPixel(x, y, rgb(unsigned(x), unsigned(y), 0));
    const Image part = image.copy({1, 1, 3, 2});
    ASSERT_EQ(part.size(), (Size{3, 2}));
    EXPECT_EQ(part.pixel(0, 0), rgb(1, 1, 0));
    EXPECT_EQ(part.pixel(2, 1), rgb(3, 2, 0));
    EXPECT_TRUE(image.copy({2, 1, 3, 2}).isNull());
    EXPECT_TRUE(image.copy({0, 0, 0, 2}).isNull());
    EXPECT_THROW(Image(1 << 15, 1 << 14, PixelFormat::Xrgb32), std::bad_alloc);
}

// c + (255 − c)·(255 − a)/255, rounded; opaque pixels as they are.
TEST(Image, FlattensOntoWhite)
{
    for (const PixelFormat format : {PixelFormat::Argb32, PixelFormat::Rgba8888}) {
        Image image(3, 1, format);
        image.setPixel(0, 0, argb(0x80, 0, 100, 255));
        image.setPixel(1, 0, argb(0, 10, 20, 30));
        image.setPixel(2, 0, argb(255, 10, 20, 30));
        flattenOnWhite(image);
        EXPECT_FALSE(image.hasAlpha());
        EXPECT_EQ(image.pixel(0, 0), rgb(127, 177, 255));
        EXPECT_EQ(image.pixel(1, 0), White);
        EXPECT_EQ(image.pixel(2, 0), rgb(10, 20, 30));
    }
}

TEST(Image, BorrowedPixelsKeepTheirOwnerAlive)
{
    auto memory = std::make_shared<std::array<std::byte, 16>>();
    const std::weak_ptr<std::array<std::byte, 16>> watch = memory;
    Image image = Image::wrap(memory->data(), 2, 2, 8, PixelFormat::Rgba8888, memory);
    memory.reset();
    EXPECT_FALSE(watch.expired());
    const Image copy = image;
    image = Image();
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(copy.pixel(1, 1), 0u);
}

