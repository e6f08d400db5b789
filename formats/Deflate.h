#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The deflate and CRC routines the PNG reader and writer use, in two
// implementations that inflate the same streams to the same bytes: the
// engine's own (DeflateBuiltin.cpp, over Inflate.h), which every build has,
// and libdeflate's (DeflateLibdeflate.cpp), where the build has libdeflate
// (GLIMMER_LIBDEFLATE). The entries below take libdeflate's where it is
// there, the engine's own elsewhere (the web page).
namespace glimmer::deflate {

enum class Result {
    Ok,
    BadData,            // not a well-formed zlib stream, or its checksum is wrong
    ShortOutput,        // the stream ends before `out` is full
    InsufficientSpace,  // the stream holds more than `out` takes
};

namespace builtin {
Result zlibDecompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);
// inflate::zlibCompress whatever `level`.
std::vector<std::uint8_t> zlibCompress(std::span<const std::uint8_t> in, int level);
std::uint32_t crc32(std::span<const std::uint8_t> data);
} // namespace builtin

#if GLIMMER_LIBDEFLATE
namespace libdeflate {
Result zlibDecompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);
std::vector<std::uint8_t> zlibCompress(std::span<const std::uint8_t> in, int level);
std::uint32_t crc32(std::span<const std::uint8_t> data);
} // namespace libdeflate
namespace chosen = libdeflate;
#else
namespace chosen = builtin;
#endif

// Inflates the zlib stream `in` into exactly `out`.
inline Result zlibDecompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out)
{
    return chosen::zlibDecompress(in, out);
}

// `in` as a zlib stream, at `level` (1 fastest .. 12 smallest, where the
// implementation compresses at all).
inline std::vector<std::uint8_t> zlibCompress(std::span<const std::uint8_t> in, int level)
{
    return chosen::zlibCompress(in, level);
}

// The CRC-32 of `data` (ISO 3309, as PNG and ZIP use it).
inline std::uint32_t crc32(std::span<const std::uint8_t> data)
{
    return chosen::crc32(data);
}

} // namespace glimmer::deflate
