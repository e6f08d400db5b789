#pragma once

#include "formats/FormatError.h"

#include "formats/Image.h"

#include <cstddef>
#include <span>

namespace glimmer::wmf {

// A Windows metafile of one bitmap record (META_STRETCHDIB) that holds
// `image` as a 24-bit bottom-up DIB, its window extent the image's pixel size
// (not placeable). Transparency is flattened onto white. Raises FormatError
// for a null image or one over wmf::Limits.
Bytes fromImage(const Image& image);

// The metafile with a placeable header in front (its bounding box is
// `pixelSize`, or the metafile's own size when that is empty; 96 units an
// inch), as a standalone .wmf file holds it. A metafile that already has one
// is returned as it is. Raises FormatError when the metafile does not read.
Bytes toPlaceable(std::span<const std::byte> metafile, Size pixelSize);

// The natural pixel size of a metafile: its window extent, else its
// placeable bounding box. Raises FormatError when the bytes are not a
// metafile we can read, TooLarge when a side is over Limits::maxCanvas.
Size naturalSize(std::span<const std::byte> metafile);

} // namespace glimmer::wmf
