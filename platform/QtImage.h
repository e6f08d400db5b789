#pragma once

#include "formats/Image.h"

#include <QImage>

namespace glimmer {

// The engine's image as a QImage over the same pixels, without copying
// them; the pixels live as long as either does. Null for a null image.
QImage toQImage(const Image& image);

// A copy of `image` as an engine image: RGB32, ARGB32, RGBX8888 and
// RGBA8888 keep their format; any other is converted to ARGB32 when it has
// alpha and to RGB32 when not.
Image fromQImage(const QImage& image);

} // namespace glimmer
