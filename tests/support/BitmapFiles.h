#pragma once

// Hand-made Windows bitmap files of every depth and compression, so that the
// tests do not depend on which depths a writer happens to produce.

#include "formats/Image.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace glimmer::test {

struct BitmapFormat {
    int bitCount = 24;
    std::uint32_t compression = 0;   // 0 BI_RGB, 1 RLE8, 2 RLE4, 3 BITFIELDS
    bool topDown = false;
    std::uint32_t headerSize = 40;   // 12, 40, 108 or 124
    // Colour masks for BITFIELDS (16 bits: 5-6-5; 32 bits: red in the low byte).
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;
};

class ByteSink {
public:
    void u8(unsigned v) { bytes.push_back(static_cast<std::byte>(v & 0xff)); }
    void u16(unsigned v) { u8(v); u8(v >> 8); }
    void u32(std::uint32_t v) { u16(v & 0xffff); u16(v >> 16); }
    void pad4(std::size_t rowStart)
    {
        while ((bytes.size() - rowStart) % 4)
            u8(0);
    }
    Bytes bytes;
};

// A picture whose colours every depth can hold exactly: cube corners (0 or 255
// per channel), `colours` of them at most, in a pattern that tells rows and
// columns apart.
inline Image cornerPicture(int width, int height, int colours = 8)
{
    static constexpr std::uint32_t corners[8] = {rgb(0, 0, 0),   rgb(255, 255, 255), rgb(255, 0, 0),   rgb(0, 255, 0),
                                                 rgb(0, 0, 255), rgb(255, 255, 0),   rgb(0, 255, 255), rgb(255, 0, 255)};
    Image image(width, height, PixelFormat::Xrgb32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, corners[(x + 3 * y + (x * y) / 2) % colours]);
    return image;
}

// A smooth picture for lossy encoding: gradients with a soft diagonal band.
inline Image gradientPicture(int width, int height)
{
    Image image(width, height, PixelFormat::Xrgb32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned band = std::abs(x - y) < width / 6 ? 60 : 0;
            image.setPixel(x, y,
                           rgb(unsigned(x * 255 / std::max(1, width - 1)), unsigned(y * 255 / std::max(1, height - 1)),
                               std::min(255u, 90 + band)));
        }
    return image;
}

namespace detail {

inline std::vector<std::uint32_t> paletteOf(const Image& image)
{
    std::vector<std::uint32_t> palette;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const std::uint32_t c = image.pixel(x, y) | 0xff000000u;
            if (std::find(palette.begin(), palette.end(), c) == palette.end())
                palette.push_back(c);
        }
    return palette;
}

inline unsigned indexOf(const std::vector<std::uint32_t>& palette, std::uint32_t c)
{
    return static_cast<unsigned>(std::find(palette.begin(), palette.end(), c | 0xff000000u) - palette.begin());
}

inline std::uint32_t maskedValue(std::uint32_t mask, unsigned channel)
{
    if (!mask)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    const std::uint32_t max = mask >> shift;
    return ((channel * max + 127) / 255) << shift;
}

} // namespace detail

// The bytes of a bitmap file holding `image` in `format`.
inline Bytes makeBitmapFile(const Image& image, const BitmapFormat& format)
{
    const int w = image.width();
    const int h = image.height();
    const int bits = format.bitCount;
    const bool core = format.headerSize == 12;
    std::vector<std::uint32_t> palette;
    if (bits <= 8) {
        palette = detail::paletteOf(image);
        if (palette.size() > (1u << bits))
            throw std::logic_error("too many colours for the depth");
    }

    // Pixel data first, to know its size.
    ByteSink pixels;
    auto rowAt = [&](int fileRow) { return format.topDown ? fileRow : h - 1 - fileRow; };
    for (int r = 0; r < h; ++r) {
        const int y = rowAt(r);
        const std::size_t rowStart = pixels.bytes.size();
        if (format.compression == 1 || format.compression == 2) {
            // Runs of one colour (RLE8), or of two alternating nibbles (RLE4).
            int x = 0;
            while (x < w) {
                const unsigned i = detail::indexOf(palette, image.pixel(x, y));
                int run = 1;
                while (x + run < w && run < 255 && detail::indexOf(palette, image.pixel(x + run, y)) == i)
                    ++run;
                pixels.u8(static_cast<unsigned>(run));
                pixels.u8(format.compression == 1 ? i : (i << 4) | i);
                x += run;
            }
            pixels.u8(0);
            pixels.u8(r == h - 1 ? 1 : 0);   // end of line, or of the bitmap
            continue;
        }
        unsigned acc = 0;
        int filled = 0;
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = image.pixel(x, y);
            if (bits <= 8) {
                acc = (acc << bits) | detail::indexOf(palette, c);
                filled += bits;
                if (filled == 8) {
                    pixels.u8(acc);
                    acc = 0;
                    filled = 0;
                }
            } else if (bits == 16) {
                const std::uint32_t v = format.compression == 3
                                            ? detail::maskedValue(format.redMask, redOf(c))
                                                  | detail::maskedValue(format.greenMask, greenOf(c))
                                                  | detail::maskedValue(format.blueMask, blueOf(c))
                                            : ((redOf(c) >> 3) << 10) | ((greenOf(c) >> 3) << 5) | (blueOf(c) >> 3);
                pixels.u16(v);
            } else if (bits == 24) {
                pixels.u8(blueOf(c));
                pixels.u8(greenOf(c));
                pixels.u8(redOf(c));
            } else {
                const std::uint32_t v = format.compression == 3
                                            ? detail::maskedValue(format.redMask, redOf(c))
                                                  | detail::maskedValue(format.greenMask, greenOf(c))
                                                  | detail::maskedValue(format.blueMask, blueOf(c))
                                            : (redOf(c) << 16) | (greenOf(c) << 8) | blueOf(c);
                pixels.u32(v);
            }
        }
        if (filled)
            pixels.u8(acc << (8 - filled));
        pixels.pad4(rowStart);
    }

    // An OS/2 header has no colour count: its table always has every entry.
    if (core && bits <= 8)
        palette.resize(std::size_t{1} << bits, rgb(0, 0, 0));
    const bool masksAfter = format.headerSize == 40 && format.compression == 3;
    const std::uint32_t tableBytes = static_cast<std::uint32_t>(palette.size()) * (core ? 3 : 4);
    const std::uint32_t offset = 14 + format.headerSize + (masksAfter ? 12 : 0) + tableBytes;

    ByteSink out;
    out.u8('B');
    out.u8('M');
    out.u32(offset + static_cast<std::uint32_t>(pixels.bytes.size()));
    out.u32(0);
    out.u32(offset);
    out.u32(format.headerSize);
    if (core) {
        out.u16(static_cast<unsigned>(w));
        out.u16(static_cast<unsigned>(h));
        out.u16(1);
        out.u16(static_cast<unsigned>(bits));
    } else {
        out.u32(static_cast<std::uint32_t>(w));
        out.u32(static_cast<std::uint32_t>(format.topDown ? -h : h));
        out.u16(1);
        out.u16(static_cast<unsigned>(bits));
        out.u32(format.compression);
        out.u32(static_cast<std::uint32_t>(pixels.bytes.size()));
        out.u32(2835);
        out.u32(2835);
        out.u32(static_cast<std::uint32_t>(palette.size()));
        out.u32(0);
        if (format.headerSize >= 108) {
            out.u32(format.redMask);
            out.u32(format.greenMask);
            out.u32(format.blueMask);
            out.u32(0);            // no alpha
            out.u32(0x73524742);   // "sRGB"
            for (std::uint32_t i = 60; i < format.headerSize; ++i)
                out.u8(0);
        }
    }
    if (masksAfter) {
        out.u32(format.redMask);
        out.u32(format.greenMask);
        out.u32(format.blueMask);
    }
    for (const std::uint32_t c : palette) {
        out.u8(blueOf(c));
        out.u8(greenOf(c));
        out.u8(redOf(c));
        if (!core)
            out.u8(0);
    }
    out.bytes.insert(out.bytes.end(), pixels.bytes.begin(), pixels.bytes.end());
    return out.bytes;
}

} // namespace glimmer::test
