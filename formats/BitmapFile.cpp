#include "formats/BitmapFile.h"

#include <string>

namespace glimmer::bmp {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;

[[noreturn]] void fail(FormatError::Code code, const std::string& what, std::size_t offset)
{
    throw FormatError(code, "bitmap file: " + what, offset);
}

} // namespace

FileInfo readInfo(std::span<const std::byte> file)
{
    if (file.size() > kMaxFileBytes)
        fail(FormatError::Code::TooLarge, "larger than " + std::to_string(kMaxFileBytes) + " bytes", 0);
    ByteReader r(file);
    if (file.size() < 2 || r.u8() != 'B' || r.u8() != 'M')
        fail(FormatError::Code::BadSignature, "not a Windows bitmap file (no \"BM\" signature)", 0);
    if (file.size() < kFileHeaderSize)
        fail(FormatError::Code::Truncated, "the headers end early", file.size());
    r.skip(8);   // file size and reserved words; writers often get the size wrong
    const std::uint32_t pixelOffset = r.u32le();
    if (pixelOffset < kFileHeaderSize)
        fail(FormatError::Code::BadValue, "pixel data offset " + std::to_string(pixelOffset) + " is inside the file header",
             10);
    dib::Options options;
    options.pixelsAt = pixelOffset - kFileHeaderSize;
    options.base = kFileHeaderSize;
    FileInfo info;
    try {
        static_cast<dib::Bitmap&>(info) = dib::read(file.subspan(kFileHeaderSize), options);
    } catch (const FormatError& e) {
        fail(e.code(), e.what(), e.offset());
    }
    info.pixelOffset = pixelOffset;
    return info;
}

QImage decode(std::span<const std::byte> file, FileInfo* infoOut)
{
    const FileInfo info = readInfo(file);
    QImage image;
    try {
        image = dib::toImage(info);
    } catch (const FormatError& e) {
        fail(e.code(), e.what(), e.offset());
    }
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
