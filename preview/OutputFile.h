#pragma once

#include "preview/Picture.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace glimmer {

// The kinds of picture file written for a document.
enum class OutputType { Bmp, Jpg, Wmf, Png };

// The quality the JPEG files are written at, the window's export's.
inline constexpr int JpegQuality = 100;

// A JPEG encoder of 24-bit blue-green-red rows laid out as a bottom-up DIB
// holds them: `bytesPerScanLine` bytes a row, the bottom row first.
// `quality` is 1 to 100. The engine has none of its own: programs that link
// one pass it in.
using DibJpegEncoder = std::function<Bytes(const std::byte* bits, std::int32_t width, std::int32_t height,
                                           std::int32_t bytesPerScanLine, int quality)>;

// The box image of the bitmap and JPEG files: the picture fitted into a
// `size` × `size` box (0: the picture's own size), centred, on white.
Image boxImage(const Picture& picture, int size);

// The picture file of `type`, byte for byte as every program writes it:
// bmp, the 24-bit bitmap of the box image; jpg, that bitmap's rows encoded
// by `jpeg`, as the window's export encodes them from its DIB section; wmf,
// the picture in its own form as a placeable metafile (`size` unused); png,
// the picture scaled down to fit `size` (never up; 0: its own size), as the
// thumbnailer writes it. Raises FormatError (Unsupported for jpg without an
// encoder) or what `jpeg` raises.
Bytes outputFile(const Picture& picture, OutputType type, int size, DibJpegEncoder jpeg = {});

} // namespace glimmer
