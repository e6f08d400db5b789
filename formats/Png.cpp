#include "formats/Png.h"

#include <spng.h>

#include <memory>
#include <string>

namespace glimmer::png {

namespace {

using Code = FormatError::Code;

// Ancillary chunks (text, profiles) are no part of a preview: this bounds
// what a hostile one can make the decoder hold.
constexpr std::size_t MaxChunkBytes = std::size_t{4} << 20;
constexpr std::size_t MaxChunkCacheBytes = std::size_t{8} << 20;

constexpr int ColourTypeGreyAlpha = 4;
constexpr int ColourTypeRgbAlpha = 6;

struct ContextDeleter {
    void operator()(spng_ctx* ctx) const noexcept { spng_ctx_free(ctx); }
};

[[noreturn]] void damaged(int error)
{
    throw FormatError(Code::BadValue, std::string("the preview picture is damaged: ") + spng_strerror(error));
}

} // namespace

bool isPng(std::span<const std::byte> data)
{
    static constexpr unsigned char signature[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    if (data.size() < sizeof signature)
        return false;
    for (std::size_t i = 0; i < sizeof signature; ++i)
        if (std::to_integer<unsigned char>(data[i]) != signature[i])
            return false;
    return true;
}

QImage decode(std::span<const std::byte> data, std::int64_t maxPixels)
{
    if (!isPng(data))
        throw FormatError(Code::BadSignature, "not a PNG picture");
    // Every chunk's CRC is still checked, the image data's included; the
    // zlib checksum over the same bytes again would cost a sixth of the decode.
    const std::unique_ptr<spng_ctx, ContextDeleter> ctx(spng_ctx_new(SPNG_CTX_IGNORE_ADLER32));
    if (!ctx)
        throw std::bad_alloc();
    spng_set_chunk_limits(ctx.get(), MaxChunkBytes, MaxChunkCacheBytes);
    if (const int e = spng_set_png_buffer(ctx.get(), data.data(), data.size()))
        damaged(e);

    spng_ihdr ihdr{};
    if (const int e = spng_get_ihdr(ctx.get(), &ihdr))
        damaged(e);
    if (std::int64_t{ihdr.width} * ihdr.height > maxPixels)
        throw FormatError(Code::TooLarge, "the preview picture is too large");

    spng_trns trns{};
    const bool alpha = ihdr.color_type == ColourTypeRgbAlpha || ihdr.color_type == ColourTypeGreyAlpha
                       || spng_get_trns(ctx.get(), &trns) == 0;
    QImage image(static_cast<int>(ihdr.width), static_cast<int>(ihdr.height),
                 alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    if (image.isNull())
        throw std::bad_alloc();
    std::size_t bytes = 0;
    if (const int e = spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &bytes))
        damaged(e);
    if (bytes != static_cast<std::size_t>(image.sizeInBytes()))
        throw FormatError(Code::BadValue, "the preview picture is damaged: unexpected row size");
    if (const int e = spng_decode_image(ctx.get(), image.bits(), bytes, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS))
        damaged(e);
    return image;
}

} // namespace glimmer::png
