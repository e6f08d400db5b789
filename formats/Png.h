#pragma once

#include "formats/FormatError.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <span>

namespace glimmer::png {

// Whether `data` begins with the PNG signature.
bool isPng(std::span<const std::byte> data);

// Decodes a PNG file (every colour type, bit depth and interlacing; the
// image data inflated by libdeflate; nothing is printed) into 8-bit rows in
// byte order R, G, B, A: Format_RGBX8888 when the file has no transparency,
// Format_RGBA8888 (not premultiplied) when it has. Sixteen-bit samples keep
// their high byte; gamma and colour profiles are not applied. Every chunk's
// checksum up to the image data's end is checked. Sizes beyond `maxPixels`
// are refused before any pixel memory is taken. Raises FormatError: TooLarge,
// Truncated, BadValue or Unsupported for a damaged file, BadSignature for no PNG.
QImage decode(std::span<const std::byte> data, std::int64_t maxPixels);

} // namespace glimmer::png
