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
    // Played as a picture is shown, at its natural size (which naturalSize
    // holds to the canvas limit), but at most 512 pixels a side so that a
    // run stays fast; the work budget counts pixels of that target.
    QSize canvasSize(48, 32);
    try {
        canvasSize = wmf::naturalSize(bytes).boundedTo(QSize(512, 512));
    } catch (const FormatError&) {
    }
    QImage canvas(canvasSize, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    wmf::play(painter, bytes, QRectF(QPointF(), QSizeF(canvasSize)));
    return 0;
}
