#include "jpeg/JpegEncoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jconfig.h>
#include <jpeglib.h>

#define GLIMMER_STRINGIFY2(x) #x
#define GLIMMER_STRINGIFY(x) GLIMMER_STRINGIFY2(x)

namespace glimmer::jpeg {

namespace {

// libjpeg reports errors through a callback that must not return; we jump back
// to encodeInto. Nothing between the jump and its target has a destructor.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool full;
    char message[JMSG_LENGTH_MAX];
};

// libjpeg asks for a new buffer as soon as the last byte of the current one
// is written, before it knows whether more bytes follow. So a full buffer
// hands over to a small spill area: a stream that fits exactly leaves the
// spill area empty; one byte in it means the stream did not fit.
struct Destination {
    jpeg_destination_mgr pub;
    JOCTET* begin;
    std::size_t capacity;
    ErrorManager* errors;
    bool spilling;
    JOCTET spill[64];
};

void errorExit(j_common_ptr cinfo)
{
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

void silent(j_common_ptr) {}

void initDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    dest->spilling = dest->capacity == 0;
    dest->pub.next_output_byte = dest->spilling ? dest->spill : dest->begin;
    dest->pub.free_in_buffer = dest->spilling ? sizeof dest->spill : dest->capacity;
}

bool spilled(const Destination& dest)
{
    return dest.spilling && dest.pub.free_in_buffer < sizeof dest.spill;
}

boolean emptyOutputBuffer(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    if (dest->spilling) {
        dest->errors->full = true;
        std::longjmp(dest->errors->jump, 1);
    }
    dest->spilling = true;
    dest->pub.next_output_byte = dest->spill;
    dest->pub.free_in_buffer = sizeof dest->spill;
    return TRUE;
}

void termDestination(j_compress_ptr) {}

// Plain data only in this frame: it is the target of the error jump.
Status encodeInto(const BgrImage& image, int quality, Chroma chroma, std::span<std::byte> out, std::size_t& size,
                  ErrorManager& errors)
{
    jpeg_compress_struct cinfo;
    Destination dest;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = errorExit;
    errors.pub.output_message = silent;
    errors.full = false;
    errors.message[0] = '\0';

    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        return errors.full ? Status::BufferTooSmall : Status::EncoderFailed;
    }
    jpeg_create_compress(&cinfo);

    dest.pub.init_destination = initDestination;
    dest.pub.empty_output_buffer = emptyOutputBuffer;
    dest.pub.term_destination = termDestination;
    dest.begin = reinterpret_cast<JOCTET*>(out.data());
    dest.capacity = out.size();
    dest.errors = &errors;
    cinfo.dest = &dest.pub;

    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (chroma == Chroma::Full) {
        cinfo.comp_info[0].h_samp_factor = 1;
        cinfo.comp_info[0].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);

    constexpr int kBatch = 16;
    JSAMPROW rows[kBatch];
    const auto* base = reinterpret_cast<const JSAMPLE*>(image.pixels.data());
    while (cinfo.next_scanline < cinfo.image_height) {
        const JDIMENSION first = cinfo.next_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(kBatch, cinfo.image_height - first);
        for (JDIMENSION i = 0; i < count; ++i) {
            const std::int64_t fromTop = first + i;
            const std::int64_t inMemory = image.bottomUp ? image.height - 1 - fromTop : fromTop;
            // libjpeg only reads the rows; its interface is not const.
            rows[i] = const_cast<JSAMPLE*>(base + inMemory * image.stride);
        }
        jpeg_write_scanlines(&cinfo, rows, count);
    }
    jpeg_finish_compress(&cinfo);
    const bool fits = !spilled(dest);
    size = dest.spilling ? out.size() : out.size() - dest.pub.free_in_buffer;
    jpeg_destroy_compress(&cinfo);
    if (!fits) {
        size = 0;
        return Status::BufferTooSmall;
    }
    return Status::Ok;
}

} // namespace

Result encode(const BgrImage& image, int quality, Chroma chroma, std::span<std::byte> out)
{
    if (image.width <= 0 || image.height <= 0 || image.width > JPEG_MAX_DIMENSION
        || image.height > JPEG_MAX_DIMENSION)
        return {Status::BadImage, 0,
                "picture size " + std::to_string(image.width) + " x " + std::to_string(image.height)
                    + " is outside 1.." + std::to_string(JPEG_MAX_DIMENSION)};
    const std::int64_t rowBytes = std::int64_t{image.width} * 3;
    if (image.stride < rowBytes)
        return {Status::BadImage, 0, "row stride " + std::to_string(image.stride) + " is shorter than a row"};
    if (image.pixels.data() == nullptr
        || static_cast<std::int64_t>(image.pixels.size()) < image.stride * (image.height - 1) + rowBytes)
        return {Status::BadImage, 0, "the pixel memory is smaller than the picture"};
    if (quality < 1 || quality > 100)
        return {Status::BadQuality, 0, "quality " + std::to_string(quality) + " is outside 1..100"};

    ErrorManager errors;
    std::size_t size = 0;
    const Status status = encodeInto(image, quality, chroma, out, size, errors);
    switch (status) {
    case Status::Ok:
        return {status, size, {}};
    case Status::BufferTooSmall:
        return {status, 0, "the stream needs more than the " + std::to_string(out.size()) + " bytes given"};
    default:
        return {status, 0, std::string("encoder: ") + errors.message};
    }
}

const char* libraryVersion() noexcept
{
    return GLIMMER_STRINGIFY(LIBJPEG_TURBO_VERSION);
}

} // namespace glimmer::jpeg
