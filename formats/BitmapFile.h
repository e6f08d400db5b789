#pragma once

#include "formats/Dib.h"
#include "formats/FormatError.h"

#include "formats/Image.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace glimmer::bmp {

using dib::Compression;
using dib::Rgb;
using dib::Rle8;
using dib::Rle4;
using dib::Bitfields;
using dib::strideOf;

// Limits on what we read: a larger file or picture is refused as TooLarge.
inline constexpr std::size_t kMaxFileBytes = std::size_t{512} << 20;
inline constexpr std::int64_t kMaxPixels = dib::kMaxPixels;

// A bitmap file: its DIB (which views the file) and where its pixels start.
struct FileInfo : dib::Bitmap {
    std::uint32_t pixelOffset = 0;
};

// Reads and checks the headers; raises FormatError for anything that is not
// a well-formed bitmap file of a kind we read.
FileInfo readInfo(std::span<const std::byte> file);

// The picture of a bitmap file, upright, as Xrgb32 (the high byte of
// 32-bit pixels is not kept). Raises FormatError like readInfo, and when the
// pixel data cannot be decoded.
Image decode(std::span<const std::byte> file, FileInfo* info = nullptr);

// A 24-bit uncompressed bitmap file (bottom-up rows) of `image` at 96 DPI
// (3780 pixels a metre), whatever screen it was shown on; transparency is
// not kept. Raises FormatError for a null image or one beyond the limits.
Bytes encode24(const Image& image);

} // namespace glimmer::bmp
