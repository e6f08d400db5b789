#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The deflate and CRC routines the PNG reader and writer use. Native builds
// take them from libdeflate (DeflateLibdeflate.cpp); builds for targets that
// have no libdeflate take the engine's own (DeflateBuiltin.cpp, over
// Inflate.h), which inflates the same streams to the same bytes.
namespace glimmer::deflate {

enum class Result {
    Ok,
    BadData,            // not a well-formed zlib stream, or its checksum is wrong
    ShortOutput,        // the stream ends before `out` is full
    InsufficientSpace,  // the stream holds more than `out` takes
};

// Inflates the zlib stream `in` into exactly `out`.
Result zlibDecompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

// `in` as a zlib stream, at `level` (1 fastest .. 12 smallest, where the
// implementation compresses at all).
std::vector<std::uint8_t> zlibCompress(std::span<const std::uint8_t> in, int level);

// The CRC-32 of `data` (ISO 3309, as PNG and ZIP use it).
std::uint32_t crc32(std::span<const std::uint8_t> data);

} // namespace glimmer::deflate
