#pragma once

#include "formats/Image.h"

#include <cstddef>
#include <span>

namespace glimmer::wmf {

// Plays a Windows metafile (placeable or not) into `target` of `canvas`, a
// 32-bit image of any format (pixels are written opaque). Returns false,
// having drawn nothing, when the bytes are not a metafile it can read.
bool play(Image& canvas, std::span<const std::byte> bytes, const Rect& target);

// As play, but raises the FormatError that stopped it (having drawn nothing).
// The window (META_SETWINDOWORG/EXT) maps onto `target`, and nothing is drawn
// outside it. Shapes follow the platform's drawing rules: aliased, the right
// and bottom edges of rectangles and ellipses left out, pens of width 0 or 1
// one pixel wide, hatch brushes of 8 × 8 pixels aligned to the canvas's
// origin, both polygon fill modes. A bitmap at its own size is copied
// exactly; a scaled one takes its nearest source pixel. Raster operations
// other than SRCCOPY, SRCPAINT, SRCAND, SRCINVERT, NOTSRCCOPY (bitmaps) and
// PATCOPY, BLACKNESS, WHITENESS (fills) are skipped, as are records we do
// not know.
void render(Image& canvas, std::span<const std::byte> bytes, const Rect& target);

} // namespace glimmer::wmf
