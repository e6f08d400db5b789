#pragma once

#include "formats/Image.h"

#include <cstddef>
#include <span>

namespace glimmer {

// A baseline or progressive JPEG decoded by libjpeg-turbo as Qt's reader
// decodes it (its defaults: the accurate integer transform, smooth chroma
// upsampling), so that the Windows window shows the pixels the Linux one
// shows. Xrgb32; null when the bytes are not a JPEG libjpeg can read, or
// the picture is larger than Image::MaxPixels.
Image decodeJpeg(std::span<const std::byte> bytes);

} // namespace glimmer
