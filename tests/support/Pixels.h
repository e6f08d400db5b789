#pragma once

#include "platform/Picture.h"

#include <QColor>
#include <QCryptographicHash>
#include <QImage>

#include <cmath>

namespace glimmer::test {

// SHA-256 (hex) of an image as 8-bit RGB triples, rows top-down, no padding.
inline QByteArray pixelSha256(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int y = 0; y < rgb.height(); ++y)
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3));
    return hash.result().toHex();
}

// Peak signal-to-noise ratio of two images of one size, over R, G and B, in dB
// (99 for identical images).
inline double psnr(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i)
            sum += (p[i] - q[i]) * (p[i] - q[i]);
    }
    const double mse = sum / (x.width() * x.height() * 3.0);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// A square raster picture of one colour.
inline Picture solidPicture(QColor color, int size = 180)
{
    QImage img(size, size, QImage::Format_RGB32);
    img.fill(color);
    return Picture::fromImage(img);
}

} // namespace glimmer::test
