#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// The engine's own small value types: sizes and boxes in whole pixels, byte
// buffers, and an image of 32-bit pixels that owns its memory or borrows it.
namespace glimmer {

using Bytes = std::vector<std::byte>;

// The bytes of any contiguous container of bytes or characters.
template <typename Container>
std::span<const std::byte> asBytes(const Container& c) noexcept
{
    static_assert(sizeof(*std::data(c)) == 1);
    return {reinterpret_cast<const std::byte*>(std::data(c)), static_cast<std::size_t>(std::size(c))};
}

struct Size {
    int width = 0;
    int height = 0;
    bool isEmpty() const noexcept { return width <= 0 || height <= 0; }
    friend bool operator==(const Size&, const Size&) = default;
};

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// A box of whole pixels: x and y the top left, right() and bottom() the first
// column and row past it.
struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool isEmpty() const noexcept { return width <= 0 || height <= 0; }
    int right() const noexcept { return x + width; }
    int bottom() const noexcept { return y + height; }
    Size size() const noexcept { return {width, height}; }
    Rect intersected(const Rect& o) const noexcept;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Every format has four bytes a pixel; none is premultiplied.
enum class PixelFormat {
    Xrgb32,     // 32-bit words 0xFFRRGGBB (bytes B, G, R, 0xFF on little-endian machines)
    Argb32,     // 32-bit words 0xAARRGGBB
    Rgbx8888,   // bytes R, G, B, 0xFF
    Rgba8888,   // bytes R, G, B, A
};

constexpr bool hasAlpha(PixelFormat f) noexcept
{
    return f == PixelFormat::Argb32 || f == PixelFormat::Rgba8888;
}

// An image of 32-bit pixels. Copies share their pixels, as the pictures that
// hold them never change once made: whoever writes into an image writes into
// one it has just made (or a clone()).
class Image {
public:
    // Larger images are refused before any memory is taken.
    static constexpr std::int64_t MaxPixels = std::int64_t{1} << 28;

    Image() = default;
    // Owned pixels, left as the allocator gives them. Raises std::bad_alloc
    // when there is no memory, or the size is negative or over MaxPixels.
    Image(int width, int height, PixelFormat format);
    Image(Size size, PixelFormat format) : Image(size.width, size.height, format) {}

    // Borrows `pixels` (rows `stride` bytes apart); `owner`, when given, is
    // kept alive for as long as any copy of the image lives.
    static Image wrap(std::byte* pixels, int width, int height, std::ptrdiff_t stride, PixelFormat format,
                      std::shared_ptr<const void> owner = {});

    bool isNull() const noexcept { return data_ == nullptr; }
    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    Size size() const noexcept { return {width_, height_}; }
    Rect rect() const noexcept { return {0, 0, width_, height_}; }
    std::ptrdiff_t stride() const noexcept { return stride_; }
    PixelFormat format() const noexcept { return format_; }
    bool hasAlpha() const noexcept { return glimmer::hasAlpha(format_); }

    std::byte* row(int y) noexcept { return data_ + y * stride_; }
    const std::byte* row(int y) const noexcept { return data_ + y * stride_; }
    std::uint32_t* row32(int y) noexcept { return reinterpret_cast<std::uint32_t*>(row(y)); }
    const std::uint32_t* row32(int y) const noexcept { return reinterpret_cast<const std::uint32_t*>(row(y)); }

    // One pixel as 0xAARRGGBB, whatever the format (0xFF alpha for the opaque ones).
    std::uint32_t pixel(int x, int y) const noexcept;
    void setPixel(int x, int y, std::uint32_t argb) noexcept;
    // Every pixel set to 0xAARRGGBB.
    void fill(std::uint32_t argb) noexcept;

    // A copy with pixels of its own, in `format` (alpha kept, or dropped to
    // opaque, or made opaque where the source has none).
    Image clone() const { return converted(format_); }
    Image converted(PixelFormat format) const;
    Image copy(const Rect& r) const;
    // The same pixels read in another format of the same byte order, such as
    // RGBA read as RGBX once every pixel is known to be opaque.
    void reinterpretAs(PixelFormat format) noexcept { format_ = format; }
    // Whether every pixel of an image with alpha is opaque (true without alpha).
    bool isOpaque() const noexcept;

private:
    std::shared_ptr<const void> keep_;
    std::byte* data_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::ptrdiff_t stride_ = 0;
    PixelFormat format_ = PixelFormat::Xrgb32;
};

// Colour helpers over 0xAARRGGBB words.
constexpr std::uint32_t argb(unsigned a, unsigned r, unsigned g, unsigned b) noexcept
{
    return (a & 0xFFu) << 24 | (r & 0xFFu) << 16 | (g & 0xFFu) << 8 | (b & 0xFFu);
}
constexpr std::uint32_t rgb(unsigned r, unsigned g, unsigned b) noexcept { return argb(0xFF, r, g, b); }
constexpr unsigned alphaOf(std::uint32_t c) noexcept { return c >> 24; }
constexpr unsigned redOf(std::uint32_t c) noexcept { return (c >> 16) & 0xFFu; }
constexpr unsigned greenOf(std::uint32_t c) noexcept { return (c >> 8) & 0xFFu; }
constexpr unsigned blueOf(std::uint32_t c) noexcept { return c & 0xFFu; }
inline constexpr std::uint32_t White = 0xFFFFFFFFu;
inline constexpr std::uint32_t Black = 0xFF000000u;

// Straight alpha over white, in place, for every pixel that is not opaque:
// c + (255 - c) * (255 - a) / 255, rounded; the image then reads as opaque
// (RGBA8888 as RGBX8888, ARGB32 as XRGB32).
void flattenOnWhite(Image& image) noexcept;

} // namespace glimmer
