#include "formats/Image.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace glimmer {

Rect Rect::intersected(const Rect& o) const noexcept
{
    const int l = std::max(x, o.x);
    const int t = std::max(y, o.y);
    const int r = std::min(right(), o.right());
    const int b = std::min(bottom(), o.bottom());
    if (r <= l || b <= t)
        return {};
    return {l, t, r - l, b - t};
}

Image::Image(int width, int height, PixelFormat format)
{
    if (width < 0 || height < 0 || std::int64_t{width} * height > MaxPixels)
        throw std::bad_alloc();
    if (width == 0 || height == 0)
        return;
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4;
    // Left as the allocator gives them (no make_shared_for_overwrite: the
    // web build's standard library has none).
    std::shared_ptr<std::byte[]> memory(new std::byte[bytes]);
    data_ = memory.get();
    keep_ = std::move(memory);
    width_ = width;
    height_ = height;
    stride_ = std::ptrdiff_t{width} * 4;
    format_ = format;
}

Image Image::wrap(std::byte* pixels, int width, int height, std::ptrdiff_t stride, PixelFormat format,
                  std::shared_ptr<const void> owner)
{
    Image image;
    if (!pixels || width <= 0 || height <= 0)
        return image;
    image.keep_ = std::move(owner);
    image.data_ = pixels;
    image.width_ = width;
    image.height_ = height;
    image.stride_ = stride;
    image.format_ = format;
    return image;
}

namespace {

bool wordFormat(PixelFormat f) noexcept
{
    return f == PixelFormat::Xrgb32 || f == PixelFormat::Argb32;
}

std::uint32_t load(const std::byte* p, PixelFormat f) noexcept
{
    if (wordFormat(f)) {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return f == PixelFormat::Xrgb32 ? (v | 0xFF000000u) : v;
    }
    const auto b = [p](int i) { return std::to_integer<unsigned>(p[i]); };
    return argb(f == PixelFormat::Rgbx8888 ? 0xFFu : b(3), b(0), b(1), b(2));
}

void store(std::byte* p, PixelFormat f, std::uint32_t c) noexcept
{
    if (wordFormat(f)) {
        if (f == PixelFormat::Xrgb32)
            c |= 0xFF000000u;
        std::memcpy(p, &c, 4);
        return;
    }
    p[0] = std::byte(redOf(c));
    p[1] = std::byte(greenOf(c));
    p[2] = std::byte(blueOf(c));
    p[3] = std::byte(f == PixelFormat::Rgbx8888 ? 0xFFu : alphaOf(c));
}

} // namespace

std::uint32_t Image::pixel(int x, int y) const noexcept
{
    return load(row(y) + std::ptrdiff_t{x} * 4, format_);
}

void Image::setPixel(int x, int y, std::uint32_t c) noexcept
{
    store(row(y) + std::ptrdiff_t{x} * 4, format_, c);
}

void Image::fill(std::uint32_t c) noexcept
{
    if (isNull())
        return;
    std::byte one[4];
    store(one, format_, c);
    std::uint32_t word;
    std::memcpy(&word, one, 4);
    for (int y = 0; y < height_; ++y)
        std::fill_n(row32(y), width_, word);
}

Image Image::converted(PixelFormat format) const
{
    if (isNull())
        return {};
    Image out(width_, height_, format);
    const bool sameOrder = wordFormat(format) == wordFormat(format_);
    for (int y = 0; y < height_; ++y) {
        if (sameOrder) {
            std::memcpy(out.row(y), row(y), std::size_t(width_) * 4);
            if (format == format_ || hasAlpha() || !glimmer::hasAlpha(format))
                continue;
        }
        for (int x = 0; x < width_; ++x)
            store(out.row(y) + std::ptrdiff_t{x} * 4, format, load(row(y) + std::ptrdiff_t{x} * 4, format_));
    }
    return out;
}

Image Image::copy(const Rect& r) const
{
    // Only a box wholly inside the image has pixels to copy.
    const Rect c = r.intersected(rect());
    if (c.isEmpty() || c != r)
        return {};
    Image out(c.width, c.height, format_);
    for (int y = 0; y < c.height; ++y)
        std::memcpy(out.row(y), row(c.y + y) + std::ptrdiff_t{c.x} * 4, std::size_t(c.width) * 4);
    return out;
}

bool Image::isOpaque() const noexcept
{
    if (!hasAlpha())
        return true;
    // Alpha is the high byte of a little-endian word in both formats with it.
    constexpr std::uint32_t bytes = 0xFF000000u;
    for (int y = 0; y < height_; ++y) {
        const std::uint32_t* p = row32(y);
        std::uint32_t all = 0xFFFFFFFFu;
        for (int x = 0; x < width_; ++x)
            all &= p[x];
        if ((all & bytes) != bytes)
            return false;
    }
    return true;
}

void flattenOnWhite(Image& image) noexcept
{
    if (!image.hasAlpha())
        return;
    if (!image.isOpaque()) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const std::uint32_t c = image.pixel(x, y);
                const unsigned clear = 255u - alphaOf(c);
                const auto over = [clear](unsigned v) { return v + ((255u - v) * clear + 127u) / 255u; };
                image.setPixel(x, y, rgb(over(redOf(c)), over(greenOf(c)), over(blueOf(c))));
            }
    }
    image.reinterpretAs(image.format() == PixelFormat::Argb32 ? PixelFormat::Xrgb32 : PixelFormat::Rgbx8888);
}

} // namespace glimmer
