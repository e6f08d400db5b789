#pragma once

#include "preview/Picture.h"

#include <cstdint>

namespace glimmer {

// Where a picture of `pictureSize` lands inside a box of `boxSize`: scaled
// uniformly to fit, never clipped, at least a pixel each way, centred.
Rect fitRect(Size pictureSize, Size boxSize);

// The picture box's image: a box of `box` pixels filled with `background`
// (0xAARRGGBB, drawn opaque) and `picture` fitted into it, centred and
// smoothly scaled. What the window shows, and what its Save, its batch and
// the converter write as a bitmap or a JPEG. Xrgb32; null for an empty box.
Image renderBox(const Picture& picture, Size box, std::uint32_t background = White);

// A preview as a file manager's thumbnail wants it: scaled down to fit
// `size` × `size` pixels keeping its shape, smoothly; never scaled up; 0
// keeps the natural size. Null for an empty picture.
Image thumbnailImage(const Picture& picture, int size);

} // namespace glimmer
