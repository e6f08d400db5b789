#pragma once

#include "formats/FormatError.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <cstddef>
#include <span>

namespace glimmer::wmf {

// A Windows metafile of one bitmap record that holds `image` as a 24-bit
// DIB, its window extent the image's pixel size (not placeable).
QByteArray fromImage(const QImage& image);

// The metafile with a placeable header in front (its bounding box is
// `pixelSize`), as a standalone .wmf file holds it. A metafile that already
// has one is returned as it is.
QByteArray toPlaceable(std::span<const std::byte> metafile, QSize pixelSize);

// The natural pixel size of a metafile: its window extent.
// Raises FormatError when the bytes are not a metafile we can read.
QSize naturalSize(std::span<const std::byte> metafile);

} // namespace glimmer::wmf
