#pragma once

#include "preview/Picture.h"

#include <QColor>
#include <QWidget>

namespace glimmer {

// A picture box: shows a Picture on the palette's window colour, scaled
// uniformly to fit, centred, smoothly filtered and never clipped. Its size is
// kept in twips (15 to the pixel) as the window's layout gives it.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    static constexpr int TwipsPerPixel = 15;

    explicit PictureBox(QWidget* parent = nullptr);

    const Picture& picture() const noexcept { return picture_; }
    void setPicture(const Picture& picture);

    // The box's own pixel/twip conversion.
    static double pixelsToTwips(double pixels) { return pixels * TwipsPerPixel; }
    static int twipsToPixels(double twips);

    void setGeometryTwips(int left, int top, int width, int height);
    int widthTwips() const noexcept { return widthTwips_; }
    int heightTwips() const noexcept { return heightTwips_; }
    void setWidthTwips(int twips);
    void setHeightTwips(int twips);

    // The persistent image: the box as it shows itself, at its pixel size,
    // on the palette's Base colour, as the engine renders it.
    Image image() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Picture picture_;
    int leftTwips_ = 0;
    int topTwips_ = 0;
    int widthTwips_ = 0;
    int heightTwips_ = 0;
};

} // namespace glimmer
