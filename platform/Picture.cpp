#include "Picture.h"

#include "formats/MetafilePlayer.h"

#include <QPainter>

namespace glimmer {

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
            const auto* data = reinterpret_cast<const std::byte*>(metafile_.constData());
            if (wmf::play(painter, {data, static_cast<std::size_t>(metafile_.size())},
                          QRectF(QPointF(0, 0), QSizeF(size_))))
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

} // namespace glimmer
