#include "preview/Box.h"

#include "formats/Metafile.h"

#include <gtest/gtest.h>

using namespace glimmer;

namespace {

Picture solid(Size size, std::uint32_t colour)
{
    Image image(size, PixelFormat::Xrgb32);
    image.fill(colour);
    return Picture::fromImage(image);
}

constexpr std::uint32_t Red = rgb(255, 0, 0);
constexpr std::uint32_t Green = rgb(0, 255, 0);

} // namespace

TEST(Box, PicturesFitKeepingTheirShapeCentredAndNeverClipped)
{
    const struct {
        Size picture, box;
        Rect expected;
    } cases[] = {
        {{512, 512}, {240, 120}, {60, 0, 120, 120}},   // shrinks to the short side
        {{180, 180}, {240, 240}, {0, 0, 240, 240}},    // grows to fill
        {{200, 100}, {96, 96}, {0, 24, 96, 48}},
        {{1000, 1}, {96, 96}, {0, 47, 96, 1}},         // at least a pixel each way
        {{0, 10}, {96, 96}, {}},                       // nothing to fit
        {{10, 10}, {0, 96}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fitRect(c.picture, c.box), c.expected)
            << c.picture.width << "x" << c.picture.height << " in " << c.box.width << "x" << c.box.height;
}

TEST(Box, TheBoxIsTheBackgroundWithThePictureFittedIn)
{
    const Image box = renderBox(solid({512, 512}, Red), {240, 120}, Green);
    ASSERT_EQ(box.size(), (Size{240, 120}));
    EXPECT_EQ(box.format(), PixelFormat::Xrgb32);
    EXPECT_EQ(box.pixel(59, 60), Green);
    EXPECT_EQ(box.pixel(60, 60), Red);
    EXPECT_EQ(box.pixel(179, 0), Red);
    EXPECT_EQ(box.pixel(180, 119), Green);

    // An empty picture leaves the background; a transparent background is drawn opaque.
    const Image empty = renderBox(Picture(), {10, 10}, argb(0, 1, 2, 3));
    EXPECT_EQ(empty.pixel(5, 5), rgb(1, 2, 3));
    EXPECT_TRUE(renderBox(Picture(), {0, 10}).isNull());

    // A PNG's byte order (R, G, B) lands as the same colour.
    Image rgbx(2, 2, PixelFormat::Rgbx8888);
    rgbx.fill(rgb(10, 20, 30));
    EXPECT_EQ(renderBox(Picture::fromImage(rgbx), {2, 2}).pixel(1, 1), rgb(10, 20, 30));
}

TEST(Box, ThumbnailsShrinkToFitAndNeverGrow)
{
    const struct {
        Size picture;
        int size;
        Size expected;
    } cases[] = {
        {{512, 512}, 256, {256, 256}},
        {{512, 256}, 128, {128, 64}},
        {{256, 512}, 128, {64, 128}},
        {{180, 180}, 256, {180, 180}},   // never up
        {{512, 512}, 0, {512, 512}},     // 0 keeps the natural size
        {{3000, 2}, 256, {256, 1}},      // at least a pixel
    };
    for (const auto& c : cases) {
        const Image thumbnail = thumbnailImage(solid(c.picture, Red), c.size);
        EXPECT_EQ(thumbnail.size(), c.expected) << c.picture.width << "x" << c.picture.height << " at " << c.size;
        EXPECT_EQ(thumbnail.pixel(0, 0), Red);
    }
    EXPECT_TRUE(thumbnailImage(Picture(), 96).isNull());
}

TEST(Picture, AMetafileIsPlayedOnWhiteOnceForEveryCopy)
{
    Image image(3, 2, PixelFormat::Xrgb32);
    image.fill(Red);
    const Bytes metafile = wmf::fromImage(image);
    const Picture picture = Picture::fromMetafile(metafile, wmf::naturalSize(metafile));
    const Picture copy = picture;
    const Image played = copy.toImage();
    ASSERT_EQ(played.size(), (Size{3, 2}));
    EXPECT_EQ(played.pixel(2, 1), Red);
    // The copy's pixels are the original's: one playback for both.
    EXPECT_EQ(picture.toImage().row(0), played.row(0));

    EXPECT_THROW(Picture().placeableMetafile(), FormatError);
    EXPECT_TRUE(Picture().toImage().isNull());
}
