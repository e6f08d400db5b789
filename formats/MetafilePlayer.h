#pragma once

#include <QRectF>

#include <cstddef>
#include <span>

class QPainter;

namespace glimmer::wmf {

// Plays a Windows metafile (placeable or not) into `target` of `painter`.
// Returns false, having drawn nothing, when the bytes are not a metafile it can read.
bool play(QPainter& painter, std::span<const std::byte> bytes, const QRectF& target);

} // namespace glimmer::wmf
