#pragma once

#include "formats/FormatError.h"

#include "formats/Image.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace glimmer::png {

// Whether `data` begins with the PNG signature.
bool isPng(std::span<const std::byte> data);

// Decodes a PNG file (every colour type, bit depth and interlacing; the
// image data inflated by libdeflate; nothing is printed) into 8-bit rows in
// byte order R, G, B, A: Rgbx8888 when the file has no transparency,
// Rgba8888 (not premultiplied) when it has. Sixteen-bit samples keep
// their high byte; gamma and colour profiles are not applied. Every chunk's
// checksum up to the image data's end is checked. Sizes beyond `maxPixels`
// are refused before any pixel memory is taken. Raises FormatError: TooLarge,
// Truncated, BadValue or Unsupported for a damaged file, BadSignature for no PNG.
Image decode(std::span<const std::byte> data, std::int64_t maxPixels);

// Encodes `image` as a PNG file: 8-bit RGB, or RGBA when the image has an
// alpha channel (not premultiplied), each row filtered against the one above
// and deflated by libdeflate at `level` (1 fastest .. 12 smallest; at 1 a
// 180-pixel preview takes a quarter of the time 6 takes, into a file a sixth
// larger: a thumbnail is written once and then cached). Raises
// FormatError (Unsupported) for a null image.
Bytes encode(const Image& image, int level = 1);

// Scratch memory a thread keeps between decodes; a larger picture's is
// given back when its decode ends.
inline constexpr std::size_t KeptScratchBytes = std::size_t{4} << 20;
// The scratch memory this thread holds now.
std::size_t scratchBytesHeld();

} // namespace glimmer::png
