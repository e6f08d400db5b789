#include "formats/FormatError.h"
#include "platform/qt/PictureBox.h"
#include "platform/qt/QtImage.h"
#include "preview/Box.h"

#include <gtest/gtest.h>

#include <QPalette>

using namespace glimmer;

namespace {

constexpr std::uint32_t Red = rgb(255, 0, 0);
constexpr std::uint32_t Blue = rgb(0, 0, 255);

Image solid(Size size, std::uint32_t colour)
{
    Image img(size, PixelFormat::Xrgb32);
    img.fill(colour);
    return img;
}

// Every pixel different, so that any shift, flip or filter shows.
Image gradient(Size size)
{
    Image img(size, PixelFormat::Xrgb32);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
            img.setPixel(x, y, rgb(static_cast<unsigned>(x * 255 / size.width),
                                   static_cast<unsigned>(y * 255 / size.height), static_cast<unsigned>(x ^ y)));
    return img;
}

std::uint32_t base(const PictureBox& box)
{
    return box.palette().color(QPalette::Base).rgb();
}

} // namespace

TEST(PictureBox, TwipsConvertToTheNearestPixel)
{
    PictureBox box;
    box.setGeometryTwips(0, 0, 3655, 3655);
    EXPECT_EQ(box.width(), 244);
    EXPECT_EQ(box.widthTwips(), 3655);
    box.setWidthTwips(static_cast<int>(PictureBox::pixelsToTwips(96)));
    box.setHeightTwips(static_cast<int>(PictureBox::pixelsToTwips(96)));
    EXPECT_EQ(box.size(), QSize(96, 96));
}

TEST(PictureBox, PersistentImageIsTheBoxSizeWithThePictureFittedAndCentred)
{
    PictureBox box;
    box.setGeometryTwips(0, 0, 240 * 15, 120 * 15);
    box.setPicture(Picture::fromImage(solid({512, 512}, Red)));
    const Image img = box.image();
    ASSERT_EQ(img.size(), (Size{240, 120}));
    // The 512-pixel square shrinks to 120 and sits in the middle; the sides
    // show the window colour.
    EXPECT_EQ(fitRect({512, 512}, {240, 120}), (Rect{60, 0, 120, 120}));
    EXPECT_EQ(img.pixel(60, 60), Red);
    EXPECT_EQ(img.pixel(179, 60), Red);
    EXPECT_EQ(img.pixel(59, 60), base(box));
    EXPECT_EQ(img.pixel(180, 60), base(box));
}

TEST(PictureBox, SmallPictureGrowsToFit)
{
    PictureBox box;
    box.setGeometryTwips(0, 0, 240 * 15, 240 * 15);
    box.setPicture(Picture::fromImage(solid({180, 180}, Blue)));
    const Image shown = box.image();
    EXPECT_EQ(shown.pixel(0, 0), Blue);
    EXPECT_EQ(shown.pixel(239, 239), Blue);
}

TEST(PictureBox, EmptyPictureShowsOnlyTheBackground)
{
    PictureBox box;
    box.setGeometryTwips(0, 0, 1500, 1500);
    const Image img = box.image();
    ASSERT_EQ(img.size(), (Size{100, 100}));
    EXPECT_EQ(img.pixel(50, 50), base(box));
}

// The box the window shows is the box the engine renders, and what it
// paints on the screen is that image.
TEST(PictureBox, ShowsAndPaintsTheEnginesBoxOnTheBaseColour)
{
    PictureBox box;
    box.setGeometryTwips(0, 0, 240 * 15, 120 * 15);
    QPalette palette = box.palette();
    palette.setColor(QPalette::Base, QColor(0, 200, 0));
    box.setPalette(palette);
    const Picture picture = Picture::fromImage(gradient({300, 200}));
    box.setPicture(picture);

    const QImage rendered = toQImage(renderBox(picture, {240, 120}, rgb(0, 200, 0)));
    EXPECT_EQ(toQImage(box.image()), rendered);
    EXPECT_EQ(rendered.pixel(0, 60), rgb(0, 200, 0));
    EXPECT_EQ(box.grab().toImage().convertToFormat(QImage::Format_RGB32), rendered);
}

TEST(Picture, AnEmptyPictureMakesNoMetafile)
{
    EXPECT_THROW(Picture().placeableMetafile(), FormatError);
}
