#include "formats/Deflate.h"
#include "formats/Inflate.h"

namespace glimmer::deflate::builtin {

Result zlibDecompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out)
{
    return inflate::zlibDecompress(in, out);
}

std::vector<std::uint8_t> zlibCompress(std::span<const std::uint8_t> in, int)
{
    return inflate::zlibCompress(in);
}

std::uint32_t crc32(std::span<const std::uint8_t> data)
{
    return inflate::crc32(data);
}

} // namespace glimmer::deflate::builtin
