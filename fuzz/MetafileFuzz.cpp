// Fuzz target: every metafile entry point over arbitrary bytes. Each must
// return or raise FormatError; nothing else may happen.
#include "formats/Metafile.h"
#include "formats/MetafilePlayer.h"
#include "formats/MetafileReader.h"

#include <QImage>
#include <QPainter>

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
    QImage canvas(48, 32, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    wmf::play(painter, bytes, QRectF(0, 0, 48, 32));
    return 0;
}
