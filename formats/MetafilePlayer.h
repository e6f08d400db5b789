#pragma once

#include <QRectF>

#include <cstddef>
#include <span>

class QPainter;

namespace glimmer::wmf {

// Plays a Windows metafile (placeable or not) into `target` of `painter`.
// Returns false, having drawn nothing, when the bytes are not a metafile it can read.
bool play(QPainter& painter, std::span<const std::byte> bytes, const QRectF& target);

// As play, but raises the FormatError that stopped it (having drawn nothing).
// The window (META_SETWINDOWORG/EXT) maps onto `target`; a bitmap that lands
// on whole device pixels at its own size is copied exactly, a scaled one is
// smoothly filtered. Raster operations other than SRCCOPY, SRCPAINT, SRCAND,
// SRCINVERT, NOTSRCCOPY (bitmaps) and PATCOPY, BLACKNESS, WHITENESS (fills)
// are skipped, as are records we do not know.
void render(QPainter& painter, std::span<const std::byte> bytes, const QRectF& target);

} // namespace glimmer::wmf
