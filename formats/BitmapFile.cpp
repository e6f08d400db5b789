#include "formats/BitmapFile.h"

#include <QBuffer>
#include <QImageReader>

#include <cstring>
#include <limits>
#include <string>

namespace glimmer::bmp {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;

[[noreturn]] void fail(FormatError::Code code, const std::string& what, std::size_t offset)
{
    throw FormatError(code, "bitmap file: " + what, offset);
}

bool knownHeaderSize(std::uint32_t size)
{
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

} // namespace

std::int64_t strideOf(std::int64_t width, int bitCount) noexcept
{
    return ((width * bitCount + 31) / 32) * 4;
}

FileInfo readInfo(std::span<const std::byte> file)
{
    if (file.size() > kMaxFileBytes)
        fail(FormatError::Code::TooLarge, "larger than " + std::to_string(kMaxFileBytes) + " bytes", 0);
    ByteReader r(file);
    if (file.size() < 2 || r.u8() != 'B' || r.u8() != 'M')
        fail(FormatError::Code::BadSignature, "not a Windows bitmap file (no \"BM\" signature)", 0);

    if (file.size() < kFileHeaderSize + 4)
        fail(FormatError::Code::Truncated, "the headers end early", file.size());
    FileInfo info;
    r.skip(8);   // file size and reserved words; writers often get the size wrong
    info.pixelOffset = r.u32le();
    info.headerSize = r.u32le();
    if (!knownHeaderSize(info.headerSize))
        fail(FormatError::Code::Unsupported, "info header of " + std::to_string(info.headerSize) + " bytes",
             kFileHeaderSize);

    if (file.size() < kFileHeaderSize + info.headerSize)
        fail(FormatError::Code::Truncated, "the headers end early", file.size());
    const bool core = info.headerSize == 12;
    std::uint32_t masksAfterHeader = 0;
    if (core) {
        info.width = r.u16le();
        info.height = r.u16le();
        info.planes = r.u16le();
        info.bitCount = r.u16le();
    } else {
        info.width = r.i32le();
        info.height = r.i32le();
        info.planes = r.u16le();
        info.bitCount = r.u16le();
        info.compression = r.u32le();
        info.sizeImage = r.u32le();
        r.skip(8);   // resolution
        info.colorsUsed = r.u32le();
        r.skip(4);   // important colours
        r.skip(info.headerSize - 40);
        // A plain 40-byte header keeps the three colour masks after it.
        if (info.headerSize == 40 && info.compression == Bitfields)
            masksAfterHeader = 12;
    }

    const std::size_t fieldsAt = kFileHeaderSize + 4;
    if (info.width <= 0)
        fail(FormatError::Code::BadValue, "width " + std::to_string(info.width) + " is not positive", fieldsAt);
    if (info.height == 0 || info.height == std::numeric_limits<std::int32_t>::min())
        fail(FormatError::Code::BadValue, "impossible height " + std::to_string(info.height), fieldsAt + 4);
    if (info.planes != 1)
        fail(FormatError::Code::BadValue, std::to_string(info.planes) + " planes", fieldsAt + 8);
    switch (info.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default:
        fail(FormatError::Code::Unsupported, std::to_string(info.bitCount) + " bits per pixel", fieldsAt + 10);
    }

    const std::size_t compressionAt = fieldsAt + 12;
    switch (info.compression) {
    case Rgb: break;
    case Rle8:
        if (info.bitCount != 8)
            fail(FormatError::Code::BadValue, "RLE8 with " + std::to_string(info.bitCount) + " bits per pixel",
                 compressionAt);
        break;
    case Rle4:
        if (info.bitCount != 4)
            fail(FormatError::Code::BadValue, "RLE4 with " + std::to_string(info.bitCount) + " bits per pixel",
                 compressionAt);
        break;
    case Bitfields:
        if (info.bitCount != 16 && info.bitCount != 32)
            fail(FormatError::Code::BadValue,
                 "bit fields with " + std::to_string(info.bitCount) + " bits per pixel", compressionAt);
        break;
    default:
        fail(FormatError::Code::Unsupported, "compression " + std::to_string(info.compression), compressionAt);
    }
    const bool rle = info.compression == Rle8 || info.compression == Rle4;
    if (rle && info.topDown())
        fail(FormatError::Code::BadValue, "a compressed file cannot be stored top-down", fieldsAt + 4);

    if (std::int64_t{info.width} * info.rows() > kMaxPixels)
        fail(FormatError::Code::TooLarge,
             std::to_string(info.width) + " x " + std::to_string(info.rows()) + " pixels is more than "
                 + std::to_string(kMaxPixels),
             fieldsAt);

    // The colour table lies between the headers and the pixels.
    std::uint64_t colours = 0;
    if (info.bitCount <= 8) {
        const std::uint32_t most = 1u << info.bitCount;
        if (info.colorsUsed > most)
            fail(FormatError::Code::BadValue,
                 std::to_string(info.colorsUsed) + " colours for " + std::to_string(info.bitCount) + " bits",
                 fieldsAt + 28);
        colours = info.colorsUsed ? info.colorsUsed : most;
    }
    const std::uint64_t tableAt = std::uint64_t{kFileHeaderSize} + info.headerSize + masksAfterHeader;
    const std::uint64_t tableEnd = tableAt + colours * (core ? 3 : 4);
    if (tableEnd > file.size())
        fail(FormatError::Code::Truncated, "the colour table ends beyond the file", tableAt);
    if (info.pixelOffset < tableEnd || info.pixelOffset >= file.size())
        fail(FormatError::Code::BadValue, "pixel data offset " + std::to_string(info.pixelOffset) + " is outside the file",
             10);
    if (!rle) {
        const std::uint64_t need = static_cast<std::uint64_t>(strideOf(info.width, info.bitCount)) * info.rows();
        if (need > file.size() - info.pixelOffset)
            fail(FormatError::Code::Truncated,
                 "pixel data ends early (" + std::to_string(file.size() - info.pixelOffset) + " of "
                     + std::to_string(need) + " bytes)",
                 info.pixelOffset);
    }
    return info;
}

QImage decode(std::span<const std::byte> file, FileInfo* infoOut)
{
    const FileInfo info = readInfo(file);
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()),
                                               static_cast<qsizetype>(file.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    QImage image;
    if (!reader.read(&image))
        fail(FormatError::Code::BadValue, "the pixel data cannot be decoded (" + reader.errorString().toStdString() + ")",
             info.pixelOffset);
    if (image.width() != info.width || image.height() != info.rows())
        fail(FormatError::Code::BadValue, "the decoded picture does not have the size the header states",
             info.pixelOffset);
    // Windows ignores the high byte of a 32-bit pixel when it converts; so do we.
    if (image.format() == QImage::Format_ARGB32) {
        image.reinterpretAsFormat(QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] |= 0xff000000u;
        }
    }
    if (image.format() != QImage::Format_RGB32)
        image.convertTo(QImage::Format_RGB32);
    if (infoOut)
        *infoOut = info;
    return image;
}

QByteArray encode24(const QImage& source)
{
    if (source.isNull())
        throw FormatError(FormatError::Code::BadValue, "bitmap file: no picture to write");
    const std::int64_t width = source.width();
    const std::int64_t height = source.height();
    if (width * height > kMaxPixels)
        throw FormatError(FormatError::Code::TooLarge, "bitmap file: picture too large to write");
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const std::int64_t stride = strideOf(width, 24);
    const std::int64_t pixelBytes = stride * height;
    constexpr std::int64_t headers = kFileHeaderSize + 40;

    QByteArray out(static_cast<qsizetype>(headers + pixelBytes), '\0');
    auto* p = reinterpret_cast<unsigned char*>(out.data());
    auto put16 = [&p](std::uint32_t v) { p[0] = v & 0xff; p[1] = (v >> 8) & 0xff; p += 2; };
    auto put32 = [&p](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            p[i] = (v >> (8 * i)) & 0xff;
        p += 4;
    };
    put16('B' | ('M' << 8));
    put32(static_cast<std::uint32_t>(headers + pixelBytes));
    put32(0);
    put32(static_cast<std::uint32_t>(headers));
    put32(40);
    put32(static_cast<std::uint32_t>(width));
    put32(static_cast<std::uint32_t>(height));
    put16(1);
    put16(24);
    put32(Rgb);
    put32(static_cast<std::uint32_t>(pixelBytes));
    put32(static_cast<std::uint32_t>(image.dotsPerMeterX()));
    put32(static_cast<std::uint32_t>(image.dotsPerMeterY()));
    put32(0);
    put32(0);

    for (std::int64_t y = 0; y < height; ++y) {
        // Rows go bottom-up.
        const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(static_cast<int>(height - 1 - y)));
        unsigned char* dst = p + y * stride;
        for (std::int64_t x = 0; x < width; ++x) {
            dst[3 * x] = static_cast<unsigned char>(qBlue(src[x]));
            dst[3 * x + 1] = static_cast<unsigned char>(qGreen(src[x]));
            dst[3 * x + 2] = static_cast<unsigned char>(qRed(src[x]));
        }
    }
    return out;
}

} // namespace glimmer::bmp
