#pragma once

#include "formats/FormatError.h"

#include <QByteArray>
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <span>

namespace glimmer::bmp {

// Compression values of a bitmap info header.
enum Compression : std::uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, Bitfields = 3 };

// Limits on what we read: a larger file or picture is refused as TooLarge.
inline constexpr std::size_t kMaxFileBytes = std::size_t{512} << 20;
inline constexpr std::int64_t kMaxPixels = std::int64_t{32} << 20;

// The headers of a Windows bitmap file, as the file states them.
struct FileInfo {
    std::uint32_t headerSize = 0;    // 12 (OS/2 core), 40, 52, 56, 108 or 124
    std::int32_t width = 0;
    std::int32_t height = 0;         // negative: rows stored top-down
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;      // 1, 4, 8, 16, 24 or 32
    std::uint32_t compression = Rgb;
    std::uint32_t sizeImage = 0;     // may be 0 in an uncompressed file
    std::uint32_t colorsUsed = 0;
    std::uint32_t pixelOffset = 0;   // where the pixel data starts in the file

    bool topDown() const noexcept { return height < 0; }
    std::int32_t rows() const noexcept { return height < 0 ? -height : height; }
};

// Bytes per row of an uncompressed DIB, padded to 4 bytes. 64-bit, so no
// product wraps.
std::int64_t strideOf(std::int64_t width, int bitCount) noexcept;

// Reads and checks the headers; raises FormatError for anything that is not
// a well-formed bitmap file of a kind we read.
FileInfo readInfo(std::span<const std::byte> file);

// The picture of a bitmap file, upright, as Format_RGB32 (the high byte of
// 32-bit pixels is not kept). Raises FormatError like readInfo, and when the
// pixel data cannot be decoded.
QImage decode(std::span<const std::byte> file, FileInfo* info = nullptr);

// A 24-bit uncompressed bitmap file (bottom-up rows) of `image`.
// Raises FormatError for a null image or one beyond the limits.
QByteArray encode24(const QImage& image);

} // namespace glimmer::bmp
