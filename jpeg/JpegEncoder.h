#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace glimmer::jpeg {

// Rows of 3-byte blue-green-red pixels, read where they lie.
struct BgrImage {
    std::span<const std::byte> pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int64_t stride = 0;     // bytes from one row to the next, pad bytes included
    bool bottomUp = false;       // the first row in memory is the bottom of the picture
};

// How the colour planes are sampled: Full keeps every pixel's colour (4:4:4),
// Half averages 2 x 2 blocks (4:2:0).
enum class Chroma { Full, Half };

enum class Status {
    Ok,
    BadImage,         // no pixels, a size out of range, or a stride too small
    BadQuality,       // outside 1..100
    BufferTooSmall,   // the stream does not fit into the output buffer
    EncoderFailed,    // the encoder itself reported an error
};

struct Result {
    Status status = Status::Ok;
    std::size_t size = 0;   // bytes of the stream at the start of the output buffer
    std::string message;    // why, when status is not Ok
};

// Encodes `image` as a baseline JFIF stream into `out`; never writes beyond
// it. With any status but Ok, the bytes of `out` are unspecified.
Result encode(const BgrImage& image, int quality, Chroma chroma, std::span<std::byte> out);

// The version of the libjpeg-turbo we encode with, such as "2.1.5".
const char* libraryVersion() noexcept;

} // namespace glimmer::jpeg
