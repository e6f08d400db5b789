// Fuzz target: every metafile entry point over arbitrary bytes. Each must
// return or raise FormatError; nothing else may happen.
#include "formats/Metafile.h"
#include "formats/MetafilePlayer.h"
#include "formats/MetafileReader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace glimmer;
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
    try {
        wmf::naturalSize(bytes);
    } catch (const FormatError&) {
    }
    try {
        wmf::toPlaceable(bytes, {});
    } catch (const FormatError&) {
    }
    // Played as a picture is shown, at its natural size (which naturalSize
    // holds to the canvas limit), but at most 512 pixels a side so that a
    // run stays fast; the work budget counts pixels of that target.
    Size canvasSize{48, 32};
    try {
        const Size natural = wmf::naturalSize(bytes);
        canvasSize = {std::min(natural.width, 512), std::min(natural.height, 512)};
    } catch (const FormatError&) {
    }
    Image canvas(canvasSize, PixelFormat::Xrgb32);
    canvas.fill(White);
    wmf::play(canvas, bytes, canvas.rect());
    return 0;
}
