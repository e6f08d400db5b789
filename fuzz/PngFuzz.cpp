// Fuzz target: a PNG file through the preview's PNG decoder. It must give
// pixels of the size the header claims or a FormatError, print nothing, and
// never take memory for more than the pixel limit.
#include "formats/Png.h"

#include <cstddef>
#include <cstdint>

namespace {

// Far above a real preview (512 × 512), small enough to fuzz quickly.
constexpr std::int64_t MaxPixels = std::int64_t{2048} * 2048;

// Where the pixel reads go, so that they are not optimised away.
volatile unsigned pixelSum;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const glimmer::Image image = glimmer::png::decode({reinterpret_cast<const std::byte*>(data), size}, MaxPixels);
        if (image.isNull() || std::int64_t{image.width()} * image.height() > MaxPixels)
            __builtin_trap();
        const std::byte* last = image.row(image.height() - 1);
        pixelSum = pixelSum + std::to_integer<unsigned>(last[std::size_t(image.width()) * 4 - 1]);
    } catch (const glimmer::FormatError&) {
    }
    return 0;
}
