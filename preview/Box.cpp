#include "Thumbnail.h"

namespace glimmer {

QImage thumbnailImage(const Picture& picture, int size)
{
    const QImage image = picture.toImage();
    const bool shrink = size > 0 && (image.width() > size || image.height() > size);
    return shrink ? image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation) : image;
}

} // namespace glimmer
