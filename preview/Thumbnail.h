#pragma once

#include "platform/Picture.h"

#include <QImage>

namespace glimmer {

// A preview as a file manager's thumbnail wants it: scaled down to fit
// `size` × `size` pixels keeping its shape, smoothly; never scaled up; 0
// keeps the natural size. Null for an empty picture.
QImage thumbnailImage(const Picture& picture, int size);

} // namespace glimmer
