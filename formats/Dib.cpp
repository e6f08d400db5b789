#include "formats/Dib.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

namespace glimmer::dib {

namespace {

using Code = FormatError::Code;

constexpr std::uint32_t coreHeaderBytes = 12;   // BITMAPCOREHEADER
constexpr std::uint32_t infoHeaderBytes = 40;   // BITMAPINFOHEADER; the others extend it
constexpr std::uint32_t masksBytes = 12;        // red, green and blue masks

bool knownHeaderSize(std::uint32_t size)
{
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// Maps a masked channel of a 16- or 32-bit pixel to 8 bits, replicating
// the high bits of a narrower channel into the low ones (5 bits 10110 give
// 10110101), so that a full channel is 255 and zero stays zero.
class Channel {
public:
    explicit Channel(std::uint32_t mask)
        : mask_(mask), shift_(mask ? std::countr_zero(mask) : 0)
    {
        const int bits = mask ? std::bit_width(mask >> shift_) : 0;
        drop_ = std::max(0, bits - 8);
        const int kept = bits - drop_;
        for (unsigned v = 0; kept > 0 && v < (1u << kept); ++v) {
            unsigned out = 0;
            for (int s = 8 - kept; s > -kept; s -= kept)
                out |= s >= 0 ? v << s : v >> -s;
            lut_[v] = static_cast<std::uint8_t>(out);
        }
    }
    unsigned operator()(std::uint32_t pixel) const noexcept
    {
        return lut_[((pixel & mask_) >> shift_ >> drop_) & 0xFFu];
    }

private:
    std::uint32_t mask_;
    int shift_;
    int drop_ = 0;
    std::array<std::uint8_t, 256> lut_{};
};

// The colour table as 256 opaque entries: an index past a short table is
// black, as the platform draws it.
std::array<std::uint32_t, 256> paletteOf(const Bitmap& b)
{
    std::array<std::uint32_t, 256> lut;
    lut.fill(Black);
    std::copy_n(b.colours.begin(), std::min<std::size_t>(b.colours.size(), lut.size()), lut.begin());
    return lut;
}

void decodeRows(const Bitmap& b, Image& image)
{
    const auto* px = reinterpret_cast<const std::uint8_t*>(b.pixels.data());
    const auto stride = static_cast<std::size_t>(b.stride());
    const auto lut = paletteOf(b);
    const Channel red(b.masks[0]), green(b.masks[1]), blue(b.masks[2]);
    const int w = b.width;
    for (int y = 0; y < b.height; ++y) {
        const std::uint8_t* row = px + static_cast<std::size_t>(b.topDown ? y : b.height - 1 - y) * stride;
        std::uint32_t* out = image.row32(y);
        switch (b.bitCount) {
        case 1:
            for (int x = 0; x < w; ++x)
                out[x] = lut[(row[x >> 3] >> (7 - (x & 7))) & 1u];
            break;
        case 4:
            for (int x = 0; x < w; ++x)
                out[x] = lut[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0Fu];
            break;
        case 8:
            for (int x = 0; x < w; ++x)
                out[x] = lut[row[x]];
            break;
        case 24:
            for (int x = 0; x < w; ++x)
                out[x] = rgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
            break;
        default: {   // 16 and 32: through the masks
            const int bytes = b.bitCount / 8;
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* p = row + bytes * x;
                const std::uint32_t v = bytes == 2 ? p[0] | (std::uint32_t{p[1]} << 8)
                                                   : p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16)
                                                         | (std::uint32_t{p[3]} << 24);
                out[x] = rgb(red(v), green(v), blue(v));
            }
            break;
        }
        }
    }
}

// Walks RLE8 or RLE4 data: runs, literal stretches, line ends and jumps,
// rows counted from the bottom. Calls run(x, y, count, value) and
// literal(x, y, count, bytes) with positions that may lie past the picture.
// Raises Truncated when the data ends before its end mark while rows are
// still missing.
template <class Run, class Literal>
void walkRle(std::span<const std::byte> data, bool four, std::int64_t rows, std::size_t at, Run run, Literal literal)
{
    std::int64_t x = 0, y = 0;
    ByteReader in(data);
    const auto truncated = [&] {
        return FormatError(Code::Truncated, "compressed bitmap ends before its end mark", at + in.offset());
    };
    while (true) {
        if (in.remaining() < 2) {
            if (y >= rows)
                return;   // every row is there; only the end mark is missing
            throw truncated();
        }
        const unsigned count = in.u8();
        const unsigned value = in.u8();
        if (count > 0) {
            run(x, y, count, value);
            x += count;
        } else if (value == 0) {   // end of line
            x = 0;
            ++y;
        } else if (value == 1) {   // end of bitmap
            return;
        } else if (value == 2) {   // jump right and up
            if (in.remaining() < 2)
                throw truncated();
            x += in.u8();
            y += in.u8();
        } else {   // `value` literal indices, padded to 16 bits
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            if (in.remaining() < bytes)
                throw truncated();
            literal(x, y, value, in.take(bytes));
            x += value;
            if (bytes % 2 && in.remaining() > 0)
                in.skip(1);
        }
    }
}

// Pixels past a row's end are dropped; pixels never reached keep colour 0.
void decodeRle(const Bitmap& b, Image& image)
{
    const auto lut = paletteOf(b);
    image.fill(lut[0]);
    const bool four = b.compression == Rle4;
    const std::int64_t w = b.width, h = b.height;
    const auto row = [&](std::int64_t y) { return image.row32(static_cast<int>(h - 1 - y)); };
    const auto run = [&](std::int64_t x, std::int64_t y, unsigned count, unsigned value) {
        if (y >= h)
            return;
        std::uint32_t* out = row(y);
        for (std::int64_t i = 0, n = std::min<std::int64_t>(count, w - x); i < n; ++i)
            out[x + i] = lut[four ? ((i & 1) ? value & 0x0Fu : value >> 4) : value];
    };
    const auto literal = [&](std::int64_t x, std::int64_t y, unsigned count, std::span<const std::byte> bytes) {
        if (y >= h)
            return;
        std::uint32_t* out = row(y);
        for (std::int64_t i = 0, n = std::min<std::int64_t>(count, w - x); i < n; ++i) {
            const unsigned byte = std::to_integer<unsigned>(bytes[static_cast<std::size_t>(four ? i / 2 : i)]);
            out[x + i] = lut[four ? ((i & 1) ? byte & 0x0Fu : byte >> 4) : byte];
        }
    };
    walkRle(b.pixels, four, h, b.pixelsAt, run, literal);
}

} // namespace

std::int64_t strideOf(std::int64_t width, int bitCount) noexcept
{
    return ((width * bitCount + 31) / 32) * 4;
}

Bitmap read(std::span<const std::byte> bytes, const Options& options)
{
    const std::size_t base = options.base;
    ByteReader in(bytes);
    if (in.remaining() < 4)
        throw FormatError(Code::Truncated, "bitmap ends inside its header", base + bytes.size());
    Bitmap b;
    b.headerSize = in.u32le();
    if (b.headerSize != coreHeaderBytes && b.headerSize < infoHeaderBytes)
        throw FormatError(Code::BadValue, "bitmap header size " + std::to_string(b.headerSize) + " is not a known one",
                          base);
    if (b.headerSize > bytes.size())
        throw FormatError(Code::Truncated, "bitmap header of " + std::to_string(b.headerSize) + " bytes is cut off",
                          base + bytes.size());
    if (!knownHeaderSize(b.headerSize))
        throw FormatError(Code::Unsupported, "bitmap info header of " + std::to_string(b.headerSize) + " bytes", base);

    const bool core = b.headerSize == coreHeaderBytes;
    std::int64_t width = 0;
    std::int64_t height = 0;
    unsigned planes = 0;
    if (core) {
        width = in.u16le();
        height = in.u16le();
        planes = in.u16le();
        b.bitCount = in.u16le();
    } else {
        width = in.i32le();
        height = in.i32le();
        planes = in.u16le();
        b.bitCount = in.u16le();
        b.compression = in.u32le();
        in.skip(12);   // image size (may be 0 when uncompressed), resolution
        b.colorsUsed = in.u32le();
    }

    const std::size_t planesAt = base + (core ? 8 : 12);
    if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min())
        throw FormatError(Code::BadValue,
                          "bitmap size " + std::to_string(width) + " x " + std::to_string(height) + " is impossible",
                          base + 4);
    if (planes != 1)
        throw FormatError(Code::BadValue, "bitmap has " + std::to_string(planes) + " planes, not 1", planesAt);
    switch (b.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default:
        throw FormatError(Code::Unsupported, "bitmap of " + std::to_string(b.bitCount) + " bits per pixel",
                          planesAt + 2);
    }
    const auto needs = [&](bool ok, const char* kind) {
        if (!ok)
            throw FormatError(Code::BadValue, std::string(kind) + " with " + std::to_string(b.bitCount) + " bits per pixel",
                              base + 16);
    };
    switch (b.compression) {
    case Rgb: break;
    case Rle8: needs(b.bitCount == 8, "RLE8"); break;
    case Rle4: needs(b.bitCount == 4, "RLE4"); break;
    case Bitfields: needs(b.bitCount == 16 || b.bitCount == 32, "bit fields"); break;
    default:
        throw FormatError(Code::Unsupported, "bitmap compression " + std::to_string(b.compression), base + 16);
    }
    const bool rle = b.compression == Rle8 || b.compression == Rle4;
    b.topDown = height < 0;
    height = height < 0 ? -height : height;
    if (rle && b.topDown)
        throw FormatError(Code::BadValue, "a compressed bitmap cannot be stored top-down", base + 8);
    if (width * height > options.maxPixels)
        throw FormatError(Code::TooLarge,
                          "bitmap of " + std::to_string(width) + " x " + std::to_string(height)
                              + " pixels is more than " + std::to_string(options.maxPixels),
                          base + 4);
    b.width = static_cast<int>(width);
    b.height = static_cast<int>(height);

    // Colour masks: inside a header of 52 bytes or more, after a plain one.
    std::size_t at = b.headerSize;
    if (b.compression == Bitfields) {
        ByteReader masks(bytes, infoHeaderBytes);
        if (masks.remaining() < masksBytes)
            throw FormatError(Code::Truncated, "bitmap colour masks are cut off", base + bytes.size());
        for (auto& m : b.masks)
            m = masks.u32le();
        if (b.headerSize == infoHeaderBytes)
            at += masksBytes;
    } else if (b.bitCount == 16) {
        b.masks = {0x7C00, 0x03E0, 0x001F};
    } else if (b.bitCount == 32) {
        b.masks = {0xFF0000, 0x00FF00, 0x0000FF};
    }

    // The colour table: always for 8 bits or fewer (an OS/2 one is full); in
    // a packed DIB above that, an optional one of `colorsUsed` entries.
    std::uint64_t entries = 0;
    if (b.bitCount <= 8) {
        const std::uint32_t most = 1u << b.bitCount;
        if (b.colorsUsed > most)
            throw FormatError(Code::BadValue,
                              "bitmap claims " + std::to_string(b.colorsUsed) + " colours for "
                                  + std::to_string(b.bitCount) + " bits",
                              base + 32);
        entries = b.colorsUsed ? b.colorsUsed : most;
    } else if (!options.pixelsAt) {
        entries = b.colorsUsed;
    }
    if (entries > 0 && options.paletteIndices)
        throw FormatError(Code::Unsupported, "bitmap colours index a palette", base);
    const std::uint64_t entryBytes = core ? 3 : 4;
    if (entries * entryBytes > bytes.size() - at)
        throw FormatError(Code::Truncated, "bitmap colour table is cut off", base + bytes.size());
    if (b.bitCount <= 8) {
        ByteReader table(bytes, at);
        b.colours.reserve(static_cast<std::size_t>(entries));
        for (std::uint64_t i = 0; i < entries; ++i) {
            const auto e = table.take(static_cast<std::size_t>(entryBytes));
            b.colours.push_back(rgb(std::to_integer<unsigned>(e[2]), std::to_integer<unsigned>(e[1]), std::to_integer<unsigned>(e[0])));
        }
    }
    b.tableEnd = at + static_cast<std::size_t>(entries * entryBytes);

    std::size_t pixelsAt = b.tableEnd;
    if (options.pixelsAt) {
        pixelsAt = *options.pixelsAt;
        if (pixelsAt < b.tableEnd || pixelsAt >= bytes.size())
            throw FormatError(Code::BadValue, "pixel data offset " + std::to_string(pixelsAt) + " is outside the bitmap",
                              base);
    }
    b.pixelsAt = base + pixelsAt;
    const std::size_t present = bytes.size() - pixelsAt;
    if (rle) {
        // Walked once here, so that decoding cannot fail later.
        b.pixels = bytes.subspan(pixelsAt);
        walkRle(b.pixels, b.compression == Rle4, height, b.pixelsAt, [](auto...) {}, [](auto...) {});
        return b;
    }
    const std::uint64_t need = static_cast<std::uint64_t>(b.stride()) * static_cast<std::uint64_t>(height);
    if (need > present)
        throw FormatError(Code::Truncated,
                          "bitmap needs " + std::to_string(need) + " bytes of pixels but only " + std::to_string(present)
                              + " are there",
                          base + bytes.size());
    b.pixels = bytes.subspan(pixelsAt, static_cast<std::size_t>(need));
    return b;
}

Image toImage(const Bitmap& bitmap)
{
    Image image;
    try {
        image = Image(bitmap.width, bitmap.height, PixelFormat::Xrgb32);
    } catch (const std::bad_alloc&) {
        throw FormatError(Code::TooLarge, "no memory for a bitmap of " + std::to_string(bitmap.width) + " x "
                                              + std::to_string(bitmap.height));
    }
    if (bitmap.compression == Rle8 || bitmap.compression == Rle4)
        decodeRle(bitmap, image);
    else
        decodeRows(bitmap, image);
    return image;
}

Image decode(std::span<const std::byte> bytes, const Options& options)
{
    return toImage(read(bytes, options));
}

void writeRows24(const Image& image, std::span<std::byte> out)
{
    const int width = image.width();
    const int height = image.height();
    const auto stride = static_cast<std::size_t>(strideOf(width, 24));
    if (out.size() != stride * static_cast<std::size_t>(height))
        throw std::length_error("24-bit rows of " + std::to_string(width) + " x " + std::to_string(height)
                                + " pixels do not fit " + std::to_string(out.size()) + " bytes");
    const bool words = image.format() == PixelFormat::Xrgb32 || image.format() == PixelFormat::Argb32;
    for (int y = 0; y < height; ++y) {
        std::byte* row = out.data() + static_cast<std::size_t>(height - 1 - y) * stride;
        std::byte* p = row;
        if (words) {
            const std::uint32_t* in = image.row32(y);
            for (int x = 0; x < width; ++x, p += 3) {
                p[0] = std::byte(blueOf(in[x]));
                p[1] = std::byte(greenOf(in[x]));
                p[2] = std::byte(redOf(in[x]));
            }
        } else {
            const std::byte* in = image.row(y);
            for (int x = 0; x < width; ++x, p += 3, in += 4) {
                p[0] = in[2];
                p[1] = in[1];
                p[2] = in[0];
            }
        }
        std::fill(p, row + stride, std::byte{0});
    }
}

} // namespace glimmer::dib
