#pragma once

#include "formats/Image.h"
#include "preview/Picture.h"
#include "tests/support/Sha256.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace glimmer::test {

// SHA-256 (lower-case hex) of an image as 8-bit RGB triples, rows top-down,
// no padding; alpha is not counted.
inline std::string pixelSha256(const Image& image)
{
    Sha256 hash;
    std::vector<std::byte> row(std::size_t(image.width()) * 3);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const std::uint32_t c = image.pixel(x, y);
            row[3 * std::size_t(x)] = std::byte(redOf(c));
            row[3 * std::size_t(x) + 1] = std::byte(greenOf(c));
            row[3 * std::size_t(x) + 2] = std::byte(blueOf(c));
        }
        hash.add(row);
    }
    return hash.hex();
}

// Peak signal-to-noise ratio of two images of one size, over R, G and B, in dB
// (99 for identical images).
inline double psnr(const Image& a, const Image& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const std::uint32_t p = a.pixel(x, y);
            const std::uint32_t q = b.pixel(x, y);
            for (const auto channel : {redOf, greenOf, blueOf}) {
                const double d = double(channel(p)) - double(channel(q));
                sum += d * d;
            }
        }
    const double mse = sum / (a.width() * a.height() * 3.0);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// A square raster picture of one colour (0xAARRGGBB; drawn opaque).
inline Picture solidPicture(std::uint32_t colour, int size = 180)
{
    Image image(size, size, PixelFormat::Xrgb32);
    image.fill(colour);
    return Picture::fromImage(image);
}
// A toolkit's colour name would pass as a small number, not a colour.
template <typename Enum>
    requires std::is_enum_v<Enum>
Picture solidPicture(Enum, int = 180) = delete;

} // namespace glimmer::test
