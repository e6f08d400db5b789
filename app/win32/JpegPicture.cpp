#include "app/win32/JpegPicture.h"

#include <csetjmp>
#include <cstdio>
#include <new>

#include <jpeglib.h>

namespace glimmer {

namespace {

// libjpeg's errors jump back to decodeInto, whose frame holds nothing with
// a destructor.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void errorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void silent(j_common_ptr) {}
void silentLevel(j_common_ptr, int) {}

// The decoder's two steps: the header, which gives the size for the image
// the caller makes, then the rows into it. False on any error.
bool decodeInto(jpeg_decompress_struct& cinfo, std::span<const std::byte> bytes, Image* (*make)(int, int, void*),
                void* context)
{
    ErrorManager& errors = *reinterpret_cast<ErrorManager*>(cinfo.err);
    if (setjmp(errors.jump))
        return false;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    // Bytes B, G, R, 0xFF: Xrgb32 on a little-endian machine, as Qt's RGB32.
    cinfo.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&cinfo);
    Image* image = make(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), context);
    if (!image)
        return false;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(image->row(static_cast<int>(cinfo.output_scanline)));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

} // namespace

Image decodeJpeg(std::span<const std::byte> bytes)
{
    if (bytes.empty())
        return {};
    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = errorExit;
    errors.pub.output_message = silent;
    errors.pub.emit_message = silentLevel;
    jpeg_create_decompress(&cinfo);

    Image image;
    auto make = [](int width, int height, void* context) -> Image* {
        if (width <= 0 || height <= 0 || std::int64_t{width} * height > Image::MaxPixels)
            return nullptr;
        auto& out = *static_cast<Image*>(context);
        try {
            out = Image(width, height, PixelFormat::Xrgb32);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        return &out;
    };
    const bool decoded = decodeInto(cinfo, bytes, make, &image);
    jpeg_destroy_decompress(&cinfo);
    return decoded ? image : Image{};
}

} // namespace glimmer
