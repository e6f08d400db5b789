#pragma once

#include "formats/FormatError.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <span>

namespace glimmer::png {

// Whether `data` begins with the PNG signature.
bool isPng(std::span<const std::byte> data);

// Decodes a PNG file (libspng; nothing is printed) into 8-bit rows in byte
// order R, G, B, A: Format_RGBX8888 when the file has no transparency,
// Format_RGBA8888 (not premultiplied) when it has. Sizes beyond `maxPixels`
// are refused before any pixel memory is taken. Raises FormatError: TooLarge,
// BadValue for a damaged file, BadSignature for no PNG.
QImage decode(std::span<const std::byte> data, std::int64_t maxPixels);

} // namespace glimmer::png
