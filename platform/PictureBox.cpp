#include "PictureBox.h"

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

QRect PictureBox::fitRect(QSize pictureSize, QSize boxSize)
{
    if (pictureSize.isEmpty() || boxSize.isEmpty())
        return {};
    const double scale = std::min(static_cast<double>(boxSize.width()) / pictureSize.width(),
                                  static_cast<double>(boxSize.height()) / pictureSize.height());
    const int w = std::clamp(static_cast<int>(std::lround(pictureSize.width() * scale)), 1, boxSize.width());
    const int h = std::clamp(static_cast<int>(std::lround(pictureSize.height() * scale)), 1, boxSize.height());
    return {(boxSize.width() - w) / 2, (boxSize.height() - h) / 2, w, h};
}

void PictureBox::render(QPainter& painter, const Picture& picture, QSize size, const QColor& background)
{
    painter.fillRect(QRect(QPoint(0, 0), size), background);
    const QRect target = fitRect(picture.size(), size);
    if (!target.isEmpty())
        picture.draw(painter, target);
}

QImage PictureBox::render(const Picture& picture, QSize size, const QColor& background)
{
    QImage canvas(size, QImage::Format_RGB32);
    if (canvas.isNull())
        return canvas;
    // A fixed 96 DPI, not the screen's: a saved bitmap's header is then the
    // same from the window on any desktop and from the converter.
    constexpr int DotsPerMeter = 3780;
    canvas.setDotsPerMeterX(DotsPerMeter);
    canvas.setDotsPerMeterY(DotsPerMeter);
    QPainter painter(&canvas);
    render(painter, picture, size, background);
    return canvas;
}

QImage PictureBox::image() const
{
    return render(picture_, size(), palette().color(QPalette::Base));
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    render(painter, picture_, size(), palette().color(QPalette::Base));
}

} // namespace glimmer
