#include "formats/Metafile.h"

#include "formats/MetafileReader.h"

#include <QPainter>

#include <string>

namespace glimmer::wmf {

namespace {

using Code = FormatError::Code;

constexpr std::uint32_t SRCCOPY = 0x00CC0020;
constexpr std::uint16_t DIB_RGB_COLORS = 0;
constexpr std::size_t bitmapInfoHeaderBytes = 40;
constexpr std::size_t stretchDibFixedBytes = recordHeaderBytes + 22;   // before the bitmap
constexpr std::size_t smallRecordBytes = recordHeaderBytes + 4;        // SETWINDOWORG/EXT

// Little-endian appends to a byte array sized in advance.
class ByteWriter {
public:
    explicit ByteWriter(std::size_t reserve) { out_.reserve(static_cast<qsizetype>(reserve)); }
    void u16(std::uint32_t v)
    {
        out_.append(static_cast<char>(v & 0xFF));
        out_.append(static_cast<char>((v >> 8) & 0xFF));
    }
    void u32(std::uint32_t v)
    {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void i16(int v) { u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(v))); }
    void record(std::size_t bytes, std::uint16_t function)
    {
        u32(static_cast<std::uint32_t>(bytes / 2));
        u16(function);
    }
    QByteArray& bytes() { return out_; }

private:
    QByteArray out_;
};

std::span<const std::byte> asBytes(const QByteArray& a)
{
    return {reinterpret_cast<const std::byte*>(a.constData()), static_cast<std::size_t>(a.size())};
}

} // namespace

QByteArray fromImage(const QImage& image)
{
    if (image.isNull())
        throw FormatError(Code::BadValue, "no image to make a metafile of");
    const int w = image.width();
    const int h = image.height();
    if (w > Limits::maxCoordinate || h > Limits::maxCoordinate)
        throw FormatError(Code::TooLarge, "image of " + std::to_string(w) + "x" + std::to_string(h)
                                              + " does not fit 16-bit metafile coordinates");
    const std::size_t rowBytes = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
    const std::size_t dibBytes = bitmapInfoHeaderBytes + rowBytes * static_cast<std::size_t>(h);
    const std::size_t bitmapRecord = stretchDibFixedBytes + dibBytes;
    const std::size_t total = metaHeaderBytes + 2 * smallRecordBytes + bitmapRecord + recordHeaderBytes;
    if (total > Limits::maxBytes)
        throw FormatError(Code::TooLarge, "a metafile of " + std::to_string(w) + "x" + std::to_string(h)
                                              + " pixels would be over the size limit");

    // 24-bit bitmaps have no alpha: transparent parts go onto white, the
    // colour a picture box shows behind a picture.
    QImage rgb(image.size(), QImage::Format_RGB32);
    if (image.hasAlphaChannel()) {
        rgb.fill(Qt::white);
        QPainter painter(&rgb);
        painter.drawImage(0, 0, image);
    } else {
        rgb = image.convertToFormat(QImage::Format_RGB32);
    }
    if (rgb.isNull())
        throw FormatError(Code::TooLarge, "no memory to convert the image");

    ByteWriter out(total);
    // META_HEADER: an in-memory metafile, version 3.
    out.u16(1);
    out.u16(metaHeaderBytes / 2);
    out.u16(0x0300);
    out.u32(static_cast<std::uint32_t>(total / 2));
    out.u16(0);   // no objects
    out.u32(static_cast<std::uint32_t>(bitmapRecord / 2));
    out.u16(0);

    out.record(smallRecordBytes, META_SETWINDOWORG);
    out.i16(0);
    out.i16(0);
    out.record(smallRecordBytes, META_SETWINDOWEXT);
    out.i16(h);
    out.i16(w);

    out.record(bitmapRecord, META_STRETCHDIB);
    out.u32(SRCCOPY);
    out.u16(DIB_RGB_COLORS);
    out.i16(h);   // source height, width, y, x
    out.i16(w);
    out.i16(0);
    out.i16(0);
    out.i16(h);   // destination height, width, y, x
    out.i16(w);
    out.i16(0);
    out.i16(0);

    // BITMAPINFOHEADER: bottom-up, 24 bits, uncompressed.
    out.u32(bitmapInfoHeaderBytes);
    out.u32(static_cast<std::uint32_t>(w));
    out.u32(static_cast<std::uint32_t>(h));
    out.u16(1);
    out.u16(24);
    out.u32(0);
    out.u32(static_cast<std::uint32_t>(rowBytes * static_cast<std::size_t>(h)));
    out.u32(0);
    out.u32(0);
    out.u32(0);
    out.u32(0);

    QByteArray& bytes = out.bytes();
    const qsizetype pixelsAt = bytes.size();
    bytes.resize(pixelsAt + static_cast<qsizetype>(rowBytes) * h, '\0');
    auto* px = reinterpret_cast<std::uint8_t*>(bytes.data() + pixelsAt);
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(h - 1 - y));
        std::uint8_t* row = px + static_cast<std::size_t>(y) * rowBytes;
        for (int x = 0; x < w; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(qBlue(line[x]));
            row[3 * x + 1] = static_cast<std::uint8_t>(qGreen(line[x]));
            row[3 * x + 2] = static_cast<std::uint8_t>(qRed(line[x]));
        }
    }

    out.record(recordHeaderBytes, META_EOF);
    return bytes;
}

QByteArray toPlaceable(std::span<const std::byte> metafile, QSize pixelSize)
{
    const Metafile mf = read(metafile);
    const QByteArray whole(reinterpret_cast<const char*>(metafile.data()), static_cast<qsizetype>(metafile.size()));
    if (mf.header.placeable)
        return whole;
    if (pixelSize.isEmpty()) {
        const auto extent = windowExtent(mf);
        if (!extent)
            throw FormatError(Code::NotFound, "metafile has no size of its own and none was given");
        pixelSize = *extent;
    }
    if (pixelSize.width() > Limits::maxCoordinate || pixelSize.height() > Limits::maxCoordinate)
        throw FormatError(Code::TooLarge, "a bounding box of " + std::to_string(pixelSize.width()) + "x"
                                              + std::to_string(pixelSize.height()) + " does not fit 16 bits");

    ByteWriter out(placeableHeaderBytes + metafile.size());
    out.u32(placeableKey);
    out.u16(0);   // handle
    out.i16(0);   // bounding box: left, top, right, bottom
    out.i16(0);
    out.i16(pixelSize.width());
    out.i16(pixelSize.height());
    out.u16(96);   // units per inch: one unit a pixel on a 96-dpi screen
    out.u32(0);
    out.u16(placeableChecksum(asBytes(out.bytes())));
    out.bytes().append(whole);
    return out.bytes();
}

QSize naturalSize(std::span<const std::byte> metafile)
{
    const auto extent = windowExtent(read(metafile));
    if (!extent)
        throw FormatError(Code::NotFound, "metafile gives no window extent or bounding box");
    if (extent->width() > Limits::maxCanvas || extent->height() > Limits::maxCanvas)
        throw FormatError(Code::TooLarge, "metafile canvas of " + std::to_string(extent->width()) + " x "
                                              + std::to_string(extent->height()) + " pixels is larger than "
                                              + std::to_string(Limits::maxCanvas) + " x "
                                              + std::to_string(Limits::maxCanvas));
    return *extent;
}

} // namespace glimmer::wmf
