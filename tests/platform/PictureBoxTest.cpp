#include "platform/PictureBox.h"
#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#include <QPalette>

using namespace glimmer;

namespace {

QImage solid(QSize size, QColor color)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(color);
    return img;
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
    box.setPicture(Picture::fromImage(solid({512, 512}, Qt::red)));
    const QImage img = box.image();
    ASSERT_EQ(img.size(), QSize(240, 120));
    // The 512-pixel square shrinks to 120 and sits in the middle; the sides
    // show the window colour.
    EXPECT_EQ(PictureBox::fitRect({512, 512}, {240, 120}), QRect(60, 0, 120, 120));
    EXPECT_EQ(img.pixelColor(120, 60), QColor(Qt::red));
    EXPECT_EQ(img.pixelColor(10, 60), box.palette().color(QPalette::Base));
    EXPECT_EQ(img.pixelColor(230, 60), box.palette().color(QPalette::Base));
}

TEST(PictureBox, SmallPictureGrowsToFit)
{
    PictureBox box;
    box.setGeometryTwips(0, 0, 240 * 15, 240 * 15);
    QImage img = solid({180, 180}, Qt::blue);
    box.setPicture(Picture::fromImage(img));
    const QImage shown = box.image();
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(shown.pixelColor(239, 239), QColor(Qt::blue));
}

TEST(PictureBox, EmptyPictureShowsOnlyTheBackground)
{
    PictureBox box;
    box.setGeometryTwips(0, 0, 1500, 1500);
    const QImage img = box.image();
    ASSERT_EQ(img.size(), QSize(100, 100));
    EXPECT_EQ(img.pixelColor(50, 50), box.palette().color(QPalette::Base));
}

TEST(PictureBox, RenderIsThePersistentImageOfAnyBox)
{
    PictureBox box;
    box.setGeometryTwips(0, 0, 240 * 15, 120 * 15);
    QPalette palette = box.palette();
    palette.setColor(QPalette::Base, Qt::green);
    box.setPalette(palette);
    const Picture picture = Picture::fromImage(solid({512, 512}, Qt::red));
    box.setPicture(picture);
    const QImage rendered = PictureBox::render(picture, {240, 120}, Qt::green);
    EXPECT_EQ(rendered, box.image());
    EXPECT_EQ(rendered.pixelColor(10, 60), QColor(Qt::green));
    EXPECT_EQ(rendered.pixelColor(120, 60), QColor(Qt::red));
}

TEST(Picture, AnEmptyPictureMakesNoMetafile)
{
    EXPECT_THROW(Picture().placeableMetafile(), RuntimeError);
}
