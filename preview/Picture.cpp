#include "Picture.h"

#include "formats/Metafile.h"
#include "formats/MetafilePlayer.h"
#include "platform/RuntimeError.h"

#include <QPainter>

namespace glimmer {

namespace {

std::span<const std::byte> asBytes(const QByteArray& a)
{
    return {reinterpret_cast<const std::byte*>(a.constData()), static_cast<std::size_t>(a.size())};
}

} // namespace

Picture Picture::fromImage(const QImage& image)
{
    Picture p;
    if (image.isNull())
        return p;
    p.kind_ = Kind::Raster;
    p.image_ = image;
    p.size_ = image.size();
    return p;
}

Picture Picture::fromMetafile(const QByteArray& bytes, QSize naturalSize, const QImage& played)
{
    Picture p;
    p.kind_ = Kind::Metafile;
    p.metafile_ = bytes;
    p.size_ = naturalSize;
    p.played_ = std::make_shared<QImage>(played.size() == naturalSize ? played : QImage());
    return p;
}

QImage Picture::toImage() const
{
    switch (kind_) {
    case Kind::Empty:
        return {};
    case Kind::Raster:
        return image_;
    case Kind::Metafile:
        if (played_->isNull() && !size_.isEmpty()) {
            QImage canvas(size_, QImage::Format_RGB32);
            canvas.fill(Qt::white);
            QPainter painter(&canvas);
            if (wmf::play(painter, asBytes(metafile_), QRectF(QPointF(0, 0), QSizeF(size_))))
                *played_ = canvas;
        }
        return *played_;
    }
    return {};
}

void Picture::draw(QPainter& painter, const QRectF& target) const
{
    const QImage source = toImage();
    if (source.isNull() || target.isEmpty())
        return;
    const QSize want = target.size().toSize();
    if (want == source.size()) {
        painter.drawImage(target.topLeft(), source);
        return;
    }
    // QImage's smooth scaling averages over the source area, which keeps a
    // large preview crisp when it shrinks into a small box.
    const QImage scaled = source.scaled(want, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(target.topLeft(), scaled);
}

QByteArray Picture::placeableMetafile() const
{
    try {
        switch (kind_) {
        case Kind::Empty:
            break;
        case Kind::Raster:
            return wmf::toPlaceable(asBytes(wmf::fromImage(image_)), size_);
        case Kind::Metafile:
            return wmf::toPlaceable(asBytes(metafile_), size_);
        }
    } catch (const FormatError& e) {
        throw RuntimeError(RuntimeError::InvalidPicture, QString::fromUtf8(e.what()));
    }
    throw RuntimeError(RuntimeError::InvalidPicture, QStringLiteral("there is no picture to save"));
}

Picture Picture::withOrigin(const QString& source, const QString& format) const
{
    Picture p = *this;
    p.source_ = source;
    p.format_ = format;
    return p;
}

} // namespace glimmer
