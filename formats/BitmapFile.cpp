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

Image decode(std::span<const std::byte> file, FileInfo* infoOut)
{
    const FileInfo info = readInfo(file);
    Image image;
    try {
        image = dib::toImage(info);
    } catch (const FormatError& e) {
        fail(e.code(), e.what(), e.offset());
    }
    if (infoOut)
        *infoOut = info;
    return image;
}

Bytes encode24(const Image& image)
{
    if (image.isNull())
        throw FormatError(FormatError::Code::BadValue, "bitmap file: no picture to write");
    const std::int64_t width = image.width();
    const std::int64_t height = image.height();
    if (width * height > kMaxPixels)
        throw FormatError(FormatError::Code::TooLarge, "bitmap file: picture too large to write");
    const std::int64_t pixelBytes = strideOf(width, 24) * height;
    constexpr std::int64_t headers = kFileHeaderSize + 40;
    // 96 DPI, as the platform writes a screen's picture.
    constexpr std::uint32_t pixelsPerMetre = 3780;

    Bytes out(static_cast<std::size_t>(headers + pixelBytes));
    std::byte* p = out.data();
    const auto put16 = [&p](std::uint32_t v) {
        p[0] = std::byte(v & 0xFF);
        p[1] = std::byte((v >> 8) & 0xFF);
        p += 2;
    };
    const auto put32 = [&put16](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
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
    put32(pixelsPerMetre);
    put32(pixelsPerMetre);
    put32(0);
    put32(0);
    dib::writeRows24(image, std::span(out).subspan(static_cast<std::size_t>(headers)));
    return out;
}

} // namespace glimmer::bmp
