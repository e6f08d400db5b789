#include "platform/qt/QtImage.h"

#include <cstring>

namespace glimmer {

Image fromQImage(const QImage& source)
{
    if (source.isNull())
        return {};
    QImage q = source;
    PixelFormat format;
    switch (q.format()) {
    case QImage::Format_RGB32: format = PixelFormat::Xrgb32; break;
    case QImage::Format_ARGB32: format = PixelFormat::Argb32; break;
    case QImage::Format_RGBX8888: format = PixelFormat::Rgbx8888; break;
    case QImage::Format_RGBA8888: format = PixelFormat::Rgba8888; break;
    default:
        format = q.hasAlphaChannel() ? PixelFormat::Argb32 : PixelFormat::Xrgb32;
        q = q.convertToFormat(q.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        break;
    }
    Image out(q.width(), q.height(), format);
    for (int y = 0; y < q.height(); ++y)
        std::memcpy(out.row(y), q.constScanLine(y), std::size_t(q.width()) * 4);
    return out;
}

} // namespace glimmer
