#include "formats/Metafile.h"

#include "formats/Dib.h"
#include "formats/MetafileReader.h"

#include <string>
#include <utility>

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
    explicit ByteWriter(std::size_t reserve) { out_.reserve(reserve); }
    void u16(std::uint32_t v)
    {
        out_.push_back(std::byte(v & 0xFF));
        out_.push_back(std::byte((v >> 8) & 0xFF));
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
    Bytes& bytes() { return out_; }

private:
    Bytes out_;
};

} // namespace

Bytes fromImage(const Image& image)
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

    Bytes& bytes = out.bytes();
    const std::size_t pixelsAt = bytes.size();
    bytes.resize(pixelsAt + rowBytes * static_cast<std::size_t>(h));
    const auto pixels = std::span(bytes).subspan(pixelsAt);
    if (image.isOpaque()) {
        dib::writeRows24(image, pixels);
    } else {
        // 24-bit bitmaps have no alpha: transparent parts go onto white, the
        // colour a picture box shows behind a picture.
        Image flat = image.clone();
        flattenOnWhite(flat);
        dib::writeRows24(flat, pixels);
    }

    out.record(recordHeaderBytes, META_EOF);
    return std::move(bytes);
}

Bytes toPlaceable(std::span<const std::byte> metafile, Size pixelSize)
{
    const Metafile mf = read(metafile);
    if (mf.header.placeable)
        return Bytes(metafile.begin(), metafile.end());
    if (pixelSize.isEmpty()) {
        const auto extent = windowExtent(mf);
        if (!extent)
            throw FormatError(Code::NotFound, "metafile has no size of its own and none was given");
        pixelSize = *extent;
    }
    if (pixelSize.width > Limits::maxCoordinate || pixelSize.height > Limits::maxCoordinate)
        throw FormatError(Code::TooLarge, "a bounding box of " + std::to_string(pixelSize.width) + "x"
                                              + std::to_string(pixelSize.height) + " does not fit 16 bits");

    ByteWriter out(placeableHeaderBytes + metafile.size());
    out.u32(placeableKey);
    out.u16(0);   // handle
    out.i16(0);   // bounding box: left, top, right, bottom
    out.i16(0);
    out.i16(pixelSize.width);
    out.i16(pixelSize.height);
    out.u16(96);   // units per inch: one unit a pixel on a 96-dpi screen
    out.u32(0);
    out.u16(placeableChecksum(out.bytes()));
    out.bytes().insert(out.bytes().end(), metafile.begin(), metafile.end());
    return std::move(out.bytes());
}

Size naturalSize(std::span<const std::byte> metafile)
{
    const auto extent = windowExtent(read(metafile));
    if (!extent)
        throw FormatError(Code::NotFound, "metafile gives no window extent or bounding box");
    if (extent->width > Limits::maxCanvas || extent->height > Limits::maxCanvas)
        throw FormatError(Code::TooLarge, "metafile canvas of " + std::to_string(extent->width) + " x "
                                              + std::to_string(extent->height) + " pixels is larger than "
                                              + std::to_string(Limits::maxCanvas) + " x "
                                              + std::to_string(Limits::maxCanvas));
    return *extent;
}

} // namespace glimmer::wmf
