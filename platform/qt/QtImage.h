#pragma once

#include "formats/Image.h"

#include <QImage>

namespace glimmer {

// The engine's image as a QImage over the same pixels, without copying
// them; the pixels live as long as either does. Null for a null image.
// Inline, so that Qt 5 code (the KIO plugin) takes it as well as Qt 6.
inline QImage toQImage(const Image& image)
{
    if (image.isNull())
        return {};
    QImage::Format format = QImage::Format_RGB32;
    switch (image.format()) {
    case PixelFormat::Xrgb32: format = QImage::Format_RGB32; break;
    case PixelFormat::Argb32: format = QImage::Format_ARGB32; break;
    case PixelFormat::Rgbx8888: format = QImage::Format_RGBX8888; break;
    case PixelFormat::Rgba8888: format = QImage::Format_RGBA8888; break;
    }
    // The QImage keeps a copy of the engine image, and so its pixels, alive.
    auto* keep = new Image(image);
    return QImage(reinterpret_cast<const uchar*>(keep->row(0)), keep->width(), keep->height(),
                  static_cast<qsizetype>(keep->stride()), format,
                  [](void* info) { delete static_cast<Image*>(info); }, keep);
}

// A copy of `image` as an engine image: RGB32, ARGB32, RGBX8888 and
// RGBA8888 keep their format; any other is converted to ARGB32 when it has
// alpha and to RGB32 when not.
Image fromQImage(const QImage& image);

} // namespace glimmer
