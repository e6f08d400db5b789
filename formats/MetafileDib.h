#pragma once

#include "formats/FormatError.h"

#include <QImage>
#include <QRgb>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace glimmer::wmf {

// How a bitmap record's colour table is to be read.
enum class ColourUsage { Rgb, PaletteIndices };

// A device-independent bitmap inside a bitmap record, its sizes checked
// against the bytes present. Uncompressed (BI_RGB) only.
struct Dib {
    int width = 0;
    int height = 0;        // rows, always positive
    bool topDown = false;  // a negative height in the header
    int bitCount = 0;      // 1, 4, 8, 16, 24 or 32
    std::vector<QRgb> colours;   // the colour table when bitCount <= 8
    std::size_t rowBytes = 0;    // rows are padded to 32 bits
    std::span<const std::byte> pixels;
};

// Reads the header, colour table and pixel extent of the bitmap in `bytes`.
// Offsets in errors are counted from `base`.
Dib parseDib(std::span<const std::byte> bytes, ColourUsage usage, std::size_t base = 0);

// The bitmap's pixels, top row first, as an opaque Format_RGB32 image.
QImage toImage(const Dib& dib);

} // namespace glimmer::wmf
