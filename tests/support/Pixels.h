#pragma once

#include <QCryptographicHash>
#include <QImage>

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

} // namespace glimmer::test
