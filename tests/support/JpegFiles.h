#pragma once

// JPEG streams read back with libjpeg, for the tests of what the export
// writes. Link glimmer_libjpeg.

#include "formats/Image.h"

#include <csetjmp>
#include <cstdio>
#include <span>
#include <vector>

#include <jpeglib.h>

namespace glimmer::test {

namespace detail {

struct JpegErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

inline void jpegFailed(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

inline void jpegQuiet(j_common_ptr) {}

} // namespace detail

// The picture of a JPEG stream, upright, as Xrgb32; a null image when the
// stream cannot be read.
inline Image decodeJpeg(std::span<const std::byte> stream)
{
    // Everything with a destructor lives before the jump target: the error
    // jump must not skip one.
    Image image;
    std::vector<unsigned char> row;
    jpeg_decompress_struct cinfo{};
    detail::JpegErrors errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = detail::jpegFailed;
    errors.pub.output_message = detail::jpegQuiet;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return {};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(stream.data()),
                 static_cast<unsigned long>(stream.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    image = Image(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), PixelFormat::Xrgb32);
    row.resize(std::size_t{cinfo.output_width} * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        unsigned char* rows[1] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, rgb(row[3 * std::size_t(x)], row[3 * std::size_t(x) + 1], row[3 * std::size_t(x) + 2]));
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return image;
}

} // namespace glimmer::test
