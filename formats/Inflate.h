#pragma once

#include "formats/Deflate.h"

#include <cstdint>
#include <span>
#include <vector>

// The engine's own zlib routines, for builds without libdeflate: an inflater
// of every deflate block type, two writers (stored blocks, and one block of
// the fixed codes) and the CRC-32. Pure C++, no state between calls.
namespace glimmer::inflate {

// As deflate::zlibDecompress: the header, every block and the Adler-32
// checksum are checked; codes that are over-subscribed, distances before the
// start and lengths past the end are BadData.
deflate::Result zlibDecompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

// `in` as a zlib stream of stored blocks: valid everywhere, no smaller.
std::vector<std::uint8_t> zlibStore(std::span<const std::uint8_t> in);

// `in` as a zlib stream of one block of the fixed codes, its matches the
// first found of each three bytes' hash, greedily: fast, and small enough
// for the filtered rows of a preview (its white runs, its rows like the one
// above); stored where that would not be smaller.
std::vector<std::uint8_t> zlibCompress(std::span<const std::uint8_t> in);

std::uint32_t crc32(std::span<const std::uint8_t> data);

} // namespace glimmer::inflate
