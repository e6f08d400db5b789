#include "preview/Box.h"

#include "formats/Scale.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace glimmer {

namespace {

// Puts `source` (of any format, opaque) at `at` of an Xrgb32 `canvas`.
void put(Image& canvas, Point at, const Image& source)
{
    const Rect box = Rect{at.x, at.y, source.width(), source.height()}.intersected(canvas.rect());
    for (int y = box.y; y < box.bottom(); ++y) {
        std::uint32_t* out = canvas.row32(y) + box.x;
        const int sy = y - at.y;
        const int sx = box.x - at.x;
        if (source.format() == PixelFormat::Xrgb32 || source.format() == PixelFormat::Argb32) {
            const std::uint32_t* in = source.row32(sy) + sx;
            for (int x = 0; x < box.width; ++x)
                out[x] = in[x] | 0xFF000000u;
        } else {
            const std::byte* in = source.row(sy) + std::ptrdiff_t{sx} * 4;
            for (int x = 0; x < box.width; ++x, in += 4)
                out[x] = rgb(std::to_integer<unsigned>(in[0]), std::to_integer<unsigned>(in[1]),
                             std::to_integer<unsigned>(in[2]));
        }
    }
}

} // namespace

Rect fitRect(Size pictureSize, Size boxSize)
{
    if (pictureSize.isEmpty() || boxSize.isEmpty())
        return {};
    const double scale = std::min(static_cast<double>(boxSize.width) / pictureSize.width,
                                  static_cast<double>(boxSize.height) / pictureSize.height);
    const int w = std::clamp(static_cast<int>(std::lround(pictureSize.width * scale)), 1, boxSize.width);
    const int h = std::clamp(static_cast<int>(std::lround(pictureSize.height * scale)), 1, boxSize.height);
    return {(boxSize.width - w) / 2, (boxSize.height - h) / 2, w, h};
}

Image renderBox(const Picture& picture, Size box, std::uint32_t background)
{
    if (box.isEmpty())
        return {};
    Image canvas(box, PixelFormat::Xrgb32);
    canvas.fill(background | 0xFF000000u);
    const Rect target = fitRect(picture.size(), box);
    if (target.isEmpty())
        return canvas;
    const Image source = picture.toImage();
    if (!source.isNull())
        put(canvas, {target.x, target.y}, scaled(source, target.size()));
    return canvas;
}

Image thumbnailImage(const Picture& picture, int size)
{
    Image image = picture.toImage();
    if (image.isNull() || size <= 0 || (image.width() <= size && image.height() <= size))
        return image;
    // The largest size of the picture's shape that fits, in whole pixels.
    const std::int64_t w = image.width();
    const std::int64_t h = image.height();
    Size fit{size, static_cast<int>(std::max<std::int64_t>(1, size * h / w))};
    if (fit.height > size)
        fit = {static_cast<int>(std::max<std::int64_t>(1, size * w / h)), size};
    return scaled(image, fit);
}

} // namespace glimmer
