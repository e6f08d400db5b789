#pragma once

// Hand-made PNG files of every colour type, bit depth and interlacing, with
// random samples, so that the tests do not depend on what a writer produces.

#include <libdeflate.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace glimmer::test {

using PngBytes = std::vector<std::uint8_t>;

inline void putBe32(PngBytes& b, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<std::uint8_t>(v >> shift));
}

// Appends a chunk with its length and checksum.
inline void pngChunk(PngBytes& png, const char* type, const PngBytes& data)
{
    putBe32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    putBe32(png, libdeflate_crc32(0, png.data() + start, png.size() - start));
}

inline PngBytes zlib(const PngBytes& raw, int level = 6)
{
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    PngBytes packed(libdeflate_zlib_compress_bound(compressor, raw.size()));
    packed.resize(libdeflate_zlib_compress(compressor, raw.data(), raw.size(), packed.data(), packed.size()));
    libdeflate_free_compressor(compressor);
    return packed;
}

inline PngBytes pngSignature()
{
    return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
}

inline PngBytes pngHeader(std::uint32_t width, std::uint32_t height, int depth, int colour, bool interlaced = false)
{
    PngBytes header;
    putBe32(header, width);
    putBe32(header, height);
    header.insert(header.end(), {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(colour), 0, 0,
                                 static_cast<std::uint8_t>(interlaced)});
    return header;
}

struct PngShape {
    const char* name;
    int colour, depth;
    bool interlaced;
    PngBytes transparency;   // a tRNS chunk's data, if any
};

// A PNG of `s` with random samples, each row filtered by the next of the
// five filters in turn, its image data split over `pieces` chunks.
inline PngBytes randomPng(const PngShape& s, std::uint32_t width, std::uint32_t height, std::mt19937& random,
                          std::size_t pieces = 2)
{
    const int channels = s.colour == 0 || s.colour == 3 ? 1 : s.colour == 4 ? 2 : s.colour == 2 ? 3 : 4;
    const std::size_t bpp = static_cast<std::size_t>(std::max(1, channels * s.depth / 8));
    const auto rowBytes = [&](std::uint32_t w) { return (std::size_t{w} * std::size_t(channels * s.depth) + 7) / 8; };
    const std::uint32_t passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                        {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    PngBytes raw;
    int filter = 0;
    const std::uint32_t whole[4] = {0, 0, 1, 1};
    for (int p = 0; p < (s.interlaced ? 7 : 1); ++p) {
        const std::uint32_t* pass = s.interlaced ? passes[p] : whole;
        const std::uint32_t x0 = pass[0], y0 = pass[1], dx = pass[2], dy = pass[3];
        const std::uint32_t w = width > x0 ? (width - x0 + dx - 1) / dx : 0;
        const std::uint32_t h = height > y0 ? (height - y0 + dy - 1) / dy : 0;
        if (w == 0)
            continue;
        PngBytes previous(rowBytes(w), 0);
        for (std::uint32_t y = 0; y < h; ++y, filter = (filter + 1) % 5) {
            PngBytes row(rowBytes(w));
            for (auto& b : row)   // palette indices stay within the four colours
                b = static_cast<std::uint8_t>(s.colour == 3 ? (s.depth == 8 ? random() % 4 : random() & 0x55) : random());
            raw.push_back(static_cast<std::uint8_t>(filter));
            for (std::size_t i = 0; i < row.size(); ++i) {
                const int a = i >= bpp ? row[i - bpp] : 0, b = previous[i], c = i >= bpp ? previous[i - bpp] : 0;
                const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
                const int predict[5] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
                raw.push_back(static_cast<std::uint8_t>(row[i] - predict[filter]));
            }
            previous = row;
        }
    }
    const PngBytes packed = zlib(raw);

    PngBytes png = pngSignature();
    pngChunk(png, "IHDR", pngHeader(width, height, s.depth, s.colour, s.interlaced));
    if (s.colour == 3)
        pngChunk(png, "PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30});
    if (!s.transparency.empty())
        pngChunk(png, "tRNS", s.transparency);
    const std::size_t piece = (packed.size() + pieces - 1) / pieces;
    for (std::size_t at = 0; at < packed.size(); at += piece) {
        const auto from = packed.begin() + static_cast<std::ptrdiff_t>(at);
        pngChunk(png, "IDAT", PngBytes(from, from + static_cast<std::ptrdiff_t>(std::min(piece, packed.size() - at))));
    }
    pngChunk(png, "IEND", {});
    return png;
}

} // namespace glimmer::test
