#include "formats/MetafileDib.h"

#include "formats/MetafileReader.h"

#include <string>

namespace glimmer::wmf {

namespace {

using Code = FormatError::Code;

constexpr std::uint32_t coreHeaderBytes = 12;   // BITMAPCOREHEADER
constexpr std::uint32_t infoHeaderBytes = 40;   // BITMAPINFOHEADER; the V4 and V5 headers extend it
constexpr std::uint32_t BI_RGB = 0;

std::uint8_t expand5(unsigned v)
{
    return static_cast<std::uint8_t>((v << 3) | (v >> 2));
}

} // namespace

Dib parseDib(std::span<const std::byte> bytes, ColourUsage usage, std::size_t base)
{
    ByteReader in(bytes);
    if (in.remaining() < 4)
        throw FormatError(Code::Truncated, "bitmap ends inside its header", base + bytes.size());
    const std::uint32_t headerBytes = in.u32le();
    if (headerBytes != coreHeaderBytes && headerBytes < infoHeaderBytes)
        throw FormatError(Code::BadValue, "bitmap header size " + std::to_string(headerBytes) + " is not a known one",
                          base);
    if (headerBytes > bytes.size())
        throw FormatError(Code::Truncated, "bitmap header of " + std::to_string(headerBytes) + " bytes is cut off",
                          base + bytes.size());

    Dib dib;
    std::int64_t width = 0;
    std::int64_t height = 0;
    unsigned planes = 0;
    std::uint32_t compression = BI_RGB;
    std::uint32_t coloursUsed = 0;
    if (headerBytes == coreHeaderBytes) {
        width = in.u16le();
        height = in.u16le();
        planes = in.u16le();
        dib.bitCount = in.u16le();
    } else {
        width = in.i32le();
        height = in.i32le();
        planes = in.u16le();
        dib.bitCount = in.u16le();
        compression = in.u32le();
        in.skip(12);   // image size (may be 0 when uncompressed), resolution
        coloursUsed = in.u32le();
    }

    const std::size_t planesAt = headerBytes == coreHeaderBytes ? 8 : 12;
    if (planes != 1)
        throw FormatError(Code::BadValue, "bitmap has " + std::to_string(planes) + " planes, not 1", base + planesAt);
    switch (dib.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32:
        break;
    default:
        throw FormatError(Code::Unsupported, "bitmap of " + std::to_string(dib.bitCount) + " bits per pixel",
                          base + planesAt + 2);
    }
    if (compression != BI_RGB)
        throw FormatError(Code::Unsupported, "compressed bitmap (compression " + std::to_string(compression) + ")",
                          base + 16);
    dib.topDown = height < 0;
    if (height < 0)
        height = -height;   // a 32-bit INT_MIN stays in range in 64 bits and fails below
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX)
        throw FormatError(Code::BadValue,
                          "bitmap size " + std::to_string(width) + "x" + std::to_string(height) + " is impossible",
                          base + 4);
    if (width * height > Limits::maxDibPixels)
        throw FormatError(Code::TooLarge,
                          "bitmap of " + std::to_string(width) + "x" + std::to_string(height) + " is over the pixel limit",
                          base + 4);
    dib.width = static_cast<int>(width);
    dib.height = static_cast<int>(height);

    // The colour table follows the header: always for 8 bits or fewer, and
    // an optional (ignored) one of `coloursUsed` entries above that.
    std::uint64_t tableEntries = coloursUsed;
    if (dib.bitCount <= 8) {
        const std::uint32_t most = 1u << dib.bitCount;
        if (coloursUsed > most)
            throw FormatError(Code::BadValue,
                              "bitmap claims " + std::to_string(coloursUsed) + " colours for "
                                  + std::to_string(dib.bitCount) + " bits",
                              base + 32);
        if (tableEntries == 0)
            tableEntries = most;
    }
    if (tableEntries > 0 && usage == ColourUsage::PaletteIndices)
        throw FormatError(Code::Unsupported, "bitmap colours index a palette", base);
    const std::uint64_t entryBytes = headerBytes == coreHeaderBytes ? 3 : 4;
    const std::uint64_t tableBytes = tableEntries * entryBytes;
    if (tableBytes > bytes.size() - headerBytes)
        throw FormatError(Code::Truncated, "bitmap colour table is cut off", base + bytes.size());
    in.seek(headerBytes);
    if (dib.bitCount <= 8) {
        dib.colours.reserve(static_cast<std::size_t>(tableEntries));
        for (std::uint64_t i = 0; i < tableEntries; ++i) {
            const auto e = in.take(static_cast<std::size_t>(entryBytes));
            dib.colours.push_back(qRgb(std::to_integer<int>(e[2]), std::to_integer<int>(e[1]), std::to_integer<int>(e[0])));
        }
    } else {
        in.skip(static_cast<std::size_t>(tableBytes));
    }

    const std::uint64_t rowBytes = ((static_cast<std::uint64_t>(width) * dib.bitCount + 31) / 32) * 4;
    const std::uint64_t pixelBytes = rowBytes * static_cast<std::uint64_t>(height);
    if (pixelBytes > in.remaining())
        throw FormatError(Code::Truncated,
                          "bitmap needs " + std::to_string(pixelBytes) + " bytes of pixels but the record holds "
                              + std::to_string(in.remaining()),
                          base + bytes.size());
    dib.rowBytes = static_cast<std::size_t>(rowBytes);
    dib.pixels = in.take(static_cast<std::size_t>(pixelBytes));
    return dib;
}

QImage toImage(const Dib& dib)
{
    QImage image(dib.width, dib.height, QImage::Format_RGB32);
    if (image.isNull())
        throw FormatError(Code::TooLarge, "no memory for a bitmap of " + std::to_string(dib.width) + "x"
                                              + std::to_string(dib.height));
    const auto* px = reinterpret_cast<const std::uint8_t*>(dib.pixels.data());
    const auto colour = [&dib](unsigned index) {
        // An index past a short colour table is black, as the platform draws it.
        return index < dib.colours.size() ? dib.colours[index] : qRgb(0, 0, 0);
    };
    for (int y = 0; y < dib.height; ++y) {
        const int sourceRow = dib.topDown ? y : dib.height - 1 - y;
        const std::uint8_t* row = px + static_cast<std::size_t>(sourceRow) * dib.rowBytes;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < dib.width; ++x) {
            switch (dib.bitCount) {
            case 1:
                out[x] = colour((row[x >> 3] >> (7 - (x & 7))) & 1u);
                break;
            case 4:
                out[x] = colour((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0Fu);
                break;
            case 8:
                out[x] = colour(row[x]);
                break;
            case 16: {
                const unsigned v = row[2 * x] | (unsigned{row[2 * x + 1]} << 8);
                out[x] = qRgb(expand5((v >> 10) & 0x1F), expand5((v >> 5) & 0x1F), expand5(v & 0x1F));
                break;
            }
            case 24:
                out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                break;
            default:   // 32: the fourth byte is unused without bit fields
                out[x] = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
                break;
            }
        }
    }
    return image;
}

} // namespace glimmer::wmf
