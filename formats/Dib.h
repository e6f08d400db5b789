#pragma once

#include "formats/FormatError.h"

#include "formats/Image.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The one reader of device-independent bitmaps: a bitmap file, a bitmap
// record of a metafile and a clipboard DIB all hold one.
namespace glimmer::dib {

// Compression values of a bitmap info header.
enum Compression : std::uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, Bitfields = 3 };

// Pixels (width × rows) of the largest bitmap read, unless a caller asks for less.
inline constexpr std::int64_t kMaxPixels = std::int64_t{32} << 20;

// Bytes per row of an uncompressed DIB, padded to 4 bytes. 64-bit, so no
// product wraps.
std::int64_t strideOf(std::int64_t width, int bitCount) noexcept;

// A packed DIB (info header, colour masks, colour table, pixels), read and
// checked: every size fits the bytes present and the pixel limit.
struct Bitmap {
    std::uint32_t headerSize = 0;   // 12 (OS/2 core), 40, 52, 56, 108 or 124
    int width = 0;
    int height = 0;                 // rows, always positive
    bool topDown = false;           // a negative height in the header
    int bitCount = 0;               // 1, 4, 8, 16, 24 or 32
    std::uint32_t compression = Rgb;
    std::uint32_t colorsUsed = 0;
    std::array<std::uint32_t, 3> masks{};   // red, green, blue of 16- and 32-bit pixels
    std::vector<std::uint32_t> colours;     // the colour table (0xFFRRGGBB) of 8 bits or fewer
    std::size_t tableEnd = 0;               // where header, masks and table end
    std::size_t pixelsAt = 0;               // where the pixels start, Options::base included
    // Uncompressed: exactly the rows. RLE: everything up to the end.
    std::span<const std::byte> pixels;

    std::int64_t stride() const noexcept { return strideOf(width, bitCount); }
};

struct Options {
    // Larger bitmaps are refused as TooLarge before anything is decoded.
    std::int64_t maxPixels = kMaxPixels;
    // Where the pixels start (a bitmap file's offset, counted like the
    // DIB); nothing: right after the colour table, as in a packed DIB.
    std::optional<std::size_t> pixelsAt;
    // The colour table holds 16-bit palette indices (DIB_PAL_COLORS), which
    // we cannot resolve: a bitmap with one is Unsupported.
    bool paletteIndices = false;
    // Error offsets count from here.
    std::size_t base = 0;
};

// Reads and checks the bitmap at the start of `bytes`, compressed pixels
// included, without taking memory for them. Raises FormatError:
// Unsupported for a legal kind we do not read, the other codes for damage.
Bitmap read(std::span<const std::byte> bytes, const Options& options = {});

// The picture, top row first, as an opaque Xrgb32 image (the fourth
// byte of 32-bit pixels is not kept). RLE pixels it does not reach take
// colour 0. `read` has checked everything: the only error left is TooLarge,
// when there is no memory for the image.
Image toImage(const Bitmap& bitmap);

// read, then toImage.
Image decode(std::span<const std::byte> bytes, const Options& options = {});

// `image` as the pixel rows of an uncompressed 24-bit DIB (bottom-up; blue,
// green, red; each row padded with zeros to strideOf(width, 24)) into `out`,
// which holds exactly that stride times the height. Alpha is dropped.
void writeRows24(const Image& image, std::span<std::byte> out);

} // namespace glimmer::dib
