#include "PictureBox.h"

#include "platform/qt/QtImage.h"
#include "preview/Box.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace glimmer {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setPicture(const Picture& picture)
{
    picture_ = picture;
    update();
}

int PictureBox::twipsToPixels(double twips)
{
    // Nearest whole pixel: 3655 twips are 243.67 pixels and show as 244.
    return static_cast<int>(std::lround(twips / TwipsPerPixel));
}

void PictureBox::setGeometryTwips(int left, int top, int width, int height)
{
    leftTwips_ = left;
    topTwips_ = top;
    widthTwips_ = width;
    heightTwips_ = height;
    setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

void PictureBox::setWidthTwips(int twips)
{
    setGeometryTwips(leftTwips_, topTwips_, twips, heightTwips_);
}

void PictureBox::setHeightTwips(int twips)
{
    setGeometryTwips(leftTwips_, topTwips_, widthTwips_, twips);
}

Image PictureBox::image() const
{
    return renderBox(picture_, {width(), height()}, palette().color(QPalette::Base).rgb());
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, toQImage(image()));
}

} // namespace glimmer
