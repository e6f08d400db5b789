#include "formats/Deflate.h"
#include "formats/PerThread.h"

#include <libdeflate.h>

#include <memory>
#include <new>

namespace glimmer::deflate::libdeflate {

namespace {

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const noexcept { libdeflate_free_decompressor(d); }
};

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const noexcept { libdeflate_free_compressor(c); }
};

// Each thread keeps its inflater between pictures.
libdeflate_decompressor& inflater()
{
    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter>& d =
        perThread<std::unique_ptr<libdeflate_decompressor, DecompressorDeleter>>();
    if (!d)
        d.reset(libdeflate_alloc_decompressor());
    if (!d)
        throw std::bad_alloc();
    return *d;
}

} // namespace

Result zlibDecompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out)
{
    switch (libdeflate_zlib_decompress(&inflater(), in.data(), in.size(), out.data(), out.size(), nullptr)) {
    case LIBDEFLATE_SUCCESS:
        return Result::Ok;
    case LIBDEFLATE_SHORT_OUTPUT:
        return Result::ShortOutput;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
        return Result::InsufficientSpace;
    default:
        return Result::BadData;
    }
}

std::vector<std::uint8_t> zlibCompress(std::span<const std::uint8_t> in, int level)
{
    const std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(level));
    if (!compressor)
        throw std::bad_alloc();
    std::vector<std::uint8_t> packed(libdeflate_zlib_compress_bound(compressor.get(), in.size()));
    packed.resize(libdeflate_zlib_compress(compressor.get(), in.data(), in.size(), packed.data(), packed.size()));
    return packed;
}

std::uint32_t crc32(std::span<const std::uint8_t> data)
{
    return libdeflate_crc32(0, data.data(), data.size());
}

} // namespace glimmer::deflate::libdeflate
