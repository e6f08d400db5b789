#include "formats/Png.h"

#include "formats/Deflate.h"
#include "formats/PerThread.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace glimmer::png {

namespace {

using Code = FormatError::Code;

// Chunk lengths are below 2^31 (PNG 5.3).
constexpr std::uint32_t MaxChunkLength = 0x7FFFFFFFu;

enum ColourType : std::uint8_t { Grey = 0, Rgb = 2, Palette = 3, GreyAlpha = 4, RgbAlpha = 6 };

[[noreturn]] void damaged(Code code, const std::string& what, std::size_t offset = 0)
{
    throw FormatError(code, "the preview picture is damaged: " + what, offset);
}

std::uint32_t be32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint16_t be16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

constexpr std::uint32_t tag(const char (&name)[5])
{
    return std::uint32_t{static_cast<std::uint8_t>(name[0])} << 24 | std::uint32_t{static_cast<std::uint8_t>(name[1])} << 16
           | std::uint32_t{static_cast<std::uint8_t>(name[2])} << 8 | static_cast<std::uint8_t>(name[3]);
}

struct Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int depth = 0;
    ColourType colour = Grey;
    bool interlaced = false;

    int channels() const
    {
        switch (colour) {
        case Grey: case Palette: return 1;
        case GreyAlpha: return 2;
        case Rgb: return 3;
        case RgbAlpha: return 4;
        }
        return 0;
    }
    // Bytes between a byte and the one it is filtered against.
    std::size_t filterStride() const { return std::max<std::size_t>(1, static_cast<std::size_t>(channels() * depth) / 8); }
    // Bytes of one filtered row of `pixels` pixels, its filter byte not counted.
    std::size_t rowBytes(std::uint32_t pixels) const
    {
        return (std::uint64_t{pixels} * static_cast<std::uint64_t>(channels() * depth) + 7) / 8;
    }
};

Header readHeader(const std::uint8_t* p)
{
    Header h;
    h.width = be32(p);
    h.height = be32(p + 4);
    h.depth = p[8];
    h.colour = static_cast<ColourType>(p[9]);
    if (h.width == 0 || h.height == 0 || h.width > MaxChunkLength || h.height > MaxChunkLength)
        damaged(Code::BadValue, "impossible size", 16);
    bool depthFits = false;
    switch (p[9]) {
    case Grey: depthFits = h.depth == 1 || h.depth == 2 || h.depth == 4 || h.depth == 8 || h.depth == 16; break;
    case Palette: depthFits = h.depth == 1 || h.depth == 2 || h.depth == 4 || h.depth == 8; break;
    case Rgb: case GreyAlpha: case RgbAlpha: depthFits = h.depth == 8 || h.depth == 16; break;
    default: damaged(Code::BadValue, "unknown colour type", 25);
    }
    if (!depthFits)
        damaged(Code::BadValue, "bit depth does not fit the colour type", 24);
    if (p[10] != 0 || p[11] != 0 || p[12] > 1)
        damaged(Code::Unsupported, "unknown compression, filter or interlace method", 26);
    h.interlaced = p[12] == 1;
    return h;
}

// What the chunks before the image data say, and the image data itself.
struct Parsed {
    Header header;
    std::array<std::uint8_t, 4 * 256> palette{};   // RGBA; entries beyond the palette opaque black
    int paletteSize = 0;
    bool transparency = false;                      // a tRNS chunk
    std::array<std::uint16_t, 3> transparentColour{};
    std::vector<std::span<const std::uint8_t>> imageData;
};

Parsed readChunks(std::span<const std::uint8_t> file, std::int64_t maxPixels)
{
    Parsed parsed;
    for (int i = 0; i < 256; ++i)
        parsed.palette[static_cast<std::size_t>(4 * i + 3)] = 0xFF;
    std::size_t pos = 8;
    bool haveHeader = false;
    for (;;) {
        if (file.size() - pos < 12) {
            if (!parsed.imageData.empty())
                return parsed;   // the end chunk is missing; the pixels are all there
            damaged(Code::Truncated, "no image data", pos);
        }
        const std::uint8_t* chunk = file.data() + pos;
        const std::uint32_t length = be32(chunk);
        const std::uint32_t type = be32(chunk + 4);
        if (length > MaxChunkLength || length > file.size() - pos - 12)
            damaged(Code::Truncated, "a chunk runs past the end", pos);
        const std::uint8_t* data = chunk + 8;
        if (deflate::crc32({chunk + 4, std::size_t{length} + 4}) != be32(data + length))
            damaged(Code::BadValue, "a chunk's checksum is wrong", pos);
        const bool critical = (chunk[4] & 0x20) == 0;
        const std::size_t at = pos;
        pos += std::size_t{length} + 12;

        if (!haveHeader) {
            if (type != tag("IHDR") || length != 13)
                damaged(Code::BadValue, "the header chunk is missing", at);
            parsed.header = readHeader(data);
            if (std::int64_t{parsed.header.width} * parsed.header.height > maxPixels)
                throw FormatError(Code::TooLarge, "the preview picture is too large", at);
            haveHeader = true;
            continue;
        }
        if (type == tag("IDAT")) {
            parsed.imageData.emplace_back(data, length);
            continue;
        }
        if (!parsed.imageData.empty())
            return parsed;   // the image data ends; what follows is no part of the pixels
        const ColourType colour = parsed.header.colour;
        if (type == tag("PLTE")) {
            if (length % 3 != 0 || length == 0 || length > 3 * 256)
                damaged(Code::BadValue, "impossible palette", at);
            if (colour == Grey || colour == GreyAlpha)
                damaged(Code::BadValue, "a palette in a grey picture", at);
            parsed.paletteSize = static_cast<int>(length / 3);
            for (int i = 0; i < parsed.paletteSize; ++i)
                std::memcpy(&parsed.palette[static_cast<std::size_t>(4 * i)], data + 3 * i, 3);
        } else if (type == tag("tRNS")) {
            if (colour == Palette) {
                if (length > static_cast<std::uint32_t>(parsed.paletteSize))
                    damaged(Code::BadValue, "more transparency entries than colours", at);
                for (std::uint32_t i = 0; i < length; ++i)
                    parsed.palette[4 * i + 3] = data[i];
                parsed.transparency = true;
            } else if ((colour == Grey && length == 2) || (colour == Rgb && length == 6)) {
                for (std::uint32_t i = 0; i < length / 2; ++i)
                    parsed.transparentColour[i] = be16(data + 2 * i);
                parsed.transparency = true;
            }
        } else if (type == tag("IEND")) {
            damaged(Code::Truncated, "no image data", at);
        } else if (type == tag("IHDR")) {
            damaged(Code::BadValue, "a second header chunk", at);
        } else if (critical) {
            damaged(Code::Unsupported, "an unknown critical chunk", at);
        }
    }
}

// Undoes the filter of one row in place (PNG 9.2); `previous` is the row
// above, unfiltered, or null for the first row of an image or pass.
void unfilter(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* previous, std::size_t n, std::size_t stride)
{
    switch (filter) {
    case 0:
        return;
    case 1:
        for (std::size_t i = stride; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + row[i - stride]);
        return;
    case 2:
        if (previous)
            for (std::size_t i = 0; i < n; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
        return;
    case 3:
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned left = i >= stride ? row[i - stride] : 0u;
            const unsigned up = previous ? previous[i] : 0u;
            row[i] = static_cast<std::uint8_t>(row[i] + ((left + up) >> 1));
        }
        return;
    case 4:
        for (std::size_t i = 0; i < n; ++i) {
            const int a = i >= stride ? row[i - stride] : 0;
            const int b = previous ? previous[i] : 0;
            const int c = i >= stride && previous ? previous[i - stride] : 0;
            const int pa = std::abs(b - c);
            const int pb = std::abs(a - c);
            const int pc = std::abs(a + b - 2 * c);
            const int predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            row[i] = static_cast<std::uint8_t>(row[i] + predictor);
        }
        return;
    default:
        damaged(Code::BadValue, "unknown row filter");
    }
}

// One unfiltered row of `count` pixels as RGBA bytes. Sixteen-bit samples
// keep their high byte; grey of fewer bits is stretched to the full range.
void expand(const Parsed& p, const std::uint8_t* raw, std::uint32_t count, std::uint8_t* out)
{
    const Header& h = p.header;
    const bool wide = h.depth == 16;
    const auto sample = [&](std::uint32_t i) -> std::uint16_t {   // sample i of a row of 16-bit samples
        return be16(raw + 2 * i);
    };
    switch (h.colour) {
    case RgbAlpha:
        if (!wide) {
            std::memcpy(out, raw, std::size_t{count} * 4);
            return;
        }
        for (std::uint32_t x = 0; x < count * 4; ++x)
            out[x] = raw[2 * x];
        return;
    case Rgb:
        if (!wide && !p.transparency) {
            // The usual preview: a word read per pixel (its fourth byte is
            // the next pixel's, so not for the last), its top byte made opaque.
            constexpr std::uint32_t Opaque = std::uint32_t{0xFF} << (std::endian::native == std::endian::little ? 24 : 0);
            const std::size_t n = count;
            for (std::size_t x = 0; x + 1 < n; ++x) {
                std::uint32_t pixel;
                std::memcpy(&pixel, raw + 3 * x, 4);
                pixel |= Opaque;
                std::memcpy(out + 4 * x, &pixel, 4);
            }
            std::memcpy(out + 4 * (n - 1), raw + 3 * (n - 1), 3);
            out[4 * (n - 1) + 3] = 0xFF;
            return;
        }
        for (std::uint32_t x = 0; x < count; ++x, out += 4) {
            std::uint16_t rgb[3];
            for (std::uint32_t c = 0; c < 3; ++c) {
                rgb[c] = wide ? sample(3 * x + c) : raw[3 * x + c];
                out[c] = static_cast<std::uint8_t>(wide ? rgb[c] >> 8 : rgb[c]);
            }
            const bool clear = p.transparency && rgb[0] == p.transparentColour[0] && rgb[1] == p.transparentColour[1]
                               && rgb[2] == p.transparentColour[2];
            out[3] = clear ? 0 : 0xFF;
        }
        return;
    case GreyAlpha:
        for (std::uint32_t x = 0; x < count; ++x, out += 4) {
            const std::uint8_t grey = wide ? raw[4 * x] : raw[2 * x];
            out[0] = out[1] = out[2] = grey;
            out[3] = wide ? raw[4 * x + 2] : raw[2 * x + 1];
        }
        return;
    case Grey:
    case Palette: {
        const int depth = h.depth;
        const unsigned mask = (1u << std::min(depth, 8)) - 1;
        const unsigned scale = depth < 8 ? 255u / mask : 1u;
        for (std::uint32_t x = 0; x < count; ++x, out += 4) {
            unsigned value;
            if (depth == 16) {
                value = sample(x);
            } else {
                const std::size_t bit = std::size_t{x} * static_cast<std::size_t>(depth);
                value = (raw[bit / 8] >> (8 - depth - static_cast<int>(bit % 8))) & mask;
            }
            if (h.colour == Palette) {
                std::memcpy(out, &p.palette[4 * value], 4);
            } else {
                const auto grey = static_cast<std::uint8_t>(depth == 16 ? value >> 8 : value * scale);
                out[0] = out[1] = out[2] = grey;
                out[3] = p.transparency && value == p.transparentColour[0] ? 0 : 0xFF;
            }
        }
        return;
    }
    }
}

// Per-thread: the memory the filtered rows are inflated into.
struct Scratch {
    std::vector<std::uint8_t> rows;
    std::vector<std::uint8_t> joined;   // image data split over several chunks, joined

    void trim()
    {
        if (rows.capacity() > KeptScratchBytes)
            std::vector<std::uint8_t>().swap(rows);
        if (joined.capacity() > KeptScratchBytes)
            std::vector<std::uint8_t>().swap(joined);
    }
};

Scratch& scratch()
{
    return perThread<Scratch>();
}

// Adam7's passes (PNG 8.2): first column and row, and the steps between.
struct Pass {
    std::uint32_t x0, y0, dx, dy;
};
constexpr Pass Adam7[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                          {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr Pass Whole[] = {{0, 0, 1, 1}};

std::uint32_t passExtent(std::uint32_t size, std::uint32_t first, std::uint32_t step)
{
    return size > first ? (size - first + step - 1) / step : 0;
}

// Inflates into the picture's memory, undoes the filters there and spreads
// the rows into pixels in place: for 8-bit RGB (no transparent colour) and
// RGBA, not interlaced.
template <typename Inflate>
Image decodeInPlace(const Parsed& p, std::size_t inflated, PixelFormat format, const Inflate& inflate)
{
    const Header& h = p.header;
    const std::size_t width = h.width;
    const std::size_t height = h.height;
    const std::size_t rowBytes = h.rowBytes(h.width);
    const std::size_t pixelBytes = width * 4 * height;
    // The filtered rows of RGBA take a byte a row more than the pixels.
    std::shared_ptr<std::uint8_t[]> memory(new std::uint8_t[std::max(inflated, pixelBytes)]);
    std::uint8_t* const bytes = memory.get();
    inflate(bytes);
    const std::size_t stride = h.filterStride();
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* row = bytes + y * (rowBytes + 1);
        unfilter(row[0], row + 1, y > 0 ? row - rowBytes : nullptr, rowBytes, stride);
    }
    if (h.colour == RgbAlpha) {
        // Each row moves down by its filter bytes: onto bytes already read.
        for (std::size_t y = 0; y < height; ++y)
            std::memmove(bytes + y * width * 4, bytes + y * (rowBytes + 1) + 1, rowBytes);
    } else {
        // Three bytes a pixel become four, from the last row back: a row's
        // pixels cover no row above it. The row is copied out first, as its
        // pixels may cover its own bytes.
        std::vector<std::uint8_t> row(rowBytes);
        for (std::size_t y = height; y-- > 0;) {
            std::memcpy(row.data(), bytes + y * (rowBytes + 1) + 1, rowBytes);
            expand(p, row.data(), h.width, bytes + y * width * 4);
        }
    }
    return Image::wrap(reinterpret_cast<std::byte*>(bytes), static_cast<int>(width), static_cast<int>(height),
                       static_cast<std::ptrdiff_t>(width * 4), format, std::move(memory));
}

} // namespace

bool isPng(std::span<const std::byte> data)
{
    static constexpr unsigned char signature[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    if (data.size() < sizeof signature)
        return false;
    for (std::size_t i = 0; i < sizeof signature; ++i)
        if (std::to_integer<unsigned char>(data[i]) != signature[i])
            return false;
    return true;
}

std::size_t scratchBytesHeld()
{
    const Scratch& s = scratch();
    return s.rows.capacity() + s.joined.capacity();
}

Image decode(std::span<const std::byte> data, std::int64_t maxPixels)
{
    if (!isPng(data))
        throw FormatError(Code::BadSignature, "not a PNG picture");
    const std::span<const std::uint8_t> file(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    const Parsed p = readChunks(file, std::min(maxPixels, Image::MaxPixels));
    const Header& h = p.header;
    if (h.colour == Palette && p.paletteSize == 0)
        damaged(Code::BadValue, "no palette");

    const std::span<const Pass> passes = h.interlaced ? std::span<const Pass>(Adam7) : std::span<const Pass>(Whole);
    std::size_t inflated = 0;
    for (const Pass& pass : passes) {
        const std::uint32_t w = passExtent(h.width, pass.x0, pass.dx);
        const std::uint32_t rows = passExtent(h.height, pass.y0, pass.dy);
        if (w > 0)
            inflated += std::size_t{rows} * (1 + h.rowBytes(w));
    }

    const PixelFormat format = h.colour == RgbAlpha || h.colour == GreyAlpha || p.transparency ? PixelFormat::Rgba8888
                                                                                               : PixelFormat::Rgbx8888;
    Scratch& s = scratch();
    // However the decode ends, a large picture's scratch memory goes back.
    struct Trim {
        Scratch& s;
        ~Trim() { s.trim(); }
    } trim{s};
    std::span<const std::uint8_t> compressed = p.imageData.front();
    if (p.imageData.size() > 1) {
        s.joined.clear();
        for (const auto& piece : p.imageData)
            s.joined.insert(s.joined.end(), piece.begin(), piece.end());
        compressed = s.joined;
    }
    const auto inflate = [&](std::uint8_t* out) {
        const deflate::Result result = deflate::zlibDecompress(compressed, {out, inflated});
        if (result == deflate::Result::Ok)
            return;
        damaged(result == deflate::Result::ShortOutput ? Code::Truncated : Code::BadValue,
                result == deflate::Result::BadData       ? "the image data cannot be inflated"
                : result == deflate::Result::ShortOutput ? "the image data ends early"
                                                         : "more image data than the picture holds");
    };

    // The usual previews (8-bit RGB or RGBA, not interlaced) are inflated
    // straight into the picture's own memory and turned into pixels there.
    if (!h.interlaced && h.depth == 8 && (h.colour == RgbAlpha || (h.colour == Rgb && !p.transparency)))
        return decodeInPlace(p, inflated, format, inflate);

    Image image(static_cast<int>(h.width), static_cast<int>(h.height), format);
    s.rows.resize(inflated);
    inflate(s.rows.data());

    std::vector<std::uint8_t> passRow;   // an interlaced pass's pixels before they are spread
    std::uint8_t* at = s.rows.data();
    const std::size_t stride = h.filterStride();
    for (const Pass& pass : passes) {
        const std::uint32_t w = passExtent(h.width, pass.x0, pass.dx);
        const std::uint32_t rows = passExtent(h.height, pass.y0, pass.dy);
        if (w == 0 || rows == 0)
            continue;
        const std::size_t n = h.rowBytes(w);
        const std::uint8_t* previous = nullptr;
        for (std::uint32_t r = 0; r < rows; ++r, at += n + 1) {
            unfilter(at[0], at + 1, previous, n, stride);
            previous = at + 1;
            auto* line = reinterpret_cast<std::uint8_t*>(image.row(static_cast<int>(pass.y0 + r * pass.dy)));
            if (!h.interlaced) {
                expand(p, at + 1, w, line);
                continue;
            }
            passRow.resize(std::size_t{w} * 4);
            expand(p, at + 1, w, passRow.data());
            for (std::uint32_t i = 0; i < w; ++i)
                std::memcpy(line + 4 * (pass.x0 + i * pass.dx), passRow.data() + 4 * i, 4);
        }
    }
    return image;
}

namespace {

void append32(Bytes& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::byte>(v >> shift));
}

void appendChunk(Bytes& out, const char* type, const std::uint8_t* data, std::size_t n)
{
    append32(out, static_cast<std::uint32_t>(n));
    const std::size_t start = out.size();
    const auto bytes = asBytes(std::span(type, 4));
    out.insert(out.end(), bytes.begin(), bytes.end());
    const auto* d = reinterpret_cast<const std::byte*>(data);
    out.insert(out.end(), d, d + n);
    append32(out, deflate::crc32({reinterpret_cast<const std::uint8_t*>(out.data()) + start, out.size() - start}));
}

// One row of `image` as 8-bit R, G, B (and A when `alpha`) samples.
void samples(const Image& image, int y, bool alpha, std::uint8_t* out)
{
    const int width = image.width();
    if (image.format() == PixelFormat::Rgba8888 || image.format() == PixelFormat::Rgbx8888) {
        const auto* in = reinterpret_cast<const std::uint8_t*>(image.row(y));
        if (alpha) {
            std::memcpy(out, in, std::size_t(width) * 4);
            return;
        }
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
        }
        return;
    }
    const std::uint32_t* in = image.row32(y);
    for (int x = 0; x < width; ++x) {
        const std::uint32_t c = in[x];
        *out++ = static_cast<std::uint8_t>(redOf(c));
        *out++ = static_cast<std::uint8_t>(greenOf(c));
        *out++ = static_cast<std::uint8_t>(blueOf(c));
        if (alpha)
            *out++ = static_cast<std::uint8_t>(alphaOf(c));
    }
}

} // namespace

Bytes encode(const Image& image, int level)
{
    if (image.isNull())
        throw FormatError(Code::Unsupported, "there is no picture to encode");
    const bool alpha = image.hasAlpha();
    const std::size_t channels = alpha ? 4 : 3;
    const auto width = static_cast<std::size_t>(image.width());
    const auto height = static_cast<std::size_t>(image.height());
    const std::size_t rowBytes = width * channels;

    // Filter "up" on every row but the first: cheap, and a rendered preview
    // is mostly runs that repeat from row to row. The rows are filtered
    // from the last up, while the row above is still as it was.
    std::vector<std::uint8_t> filtered(height * (rowBytes + 1));
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* out = filtered.data() + y * (rowBytes + 1);
        out[0] = y == 0 ? 0 : 2;
        samples(image, static_cast<int>(y), alpha, out + 1);
    }
    for (std::size_t y = height; y-- > 1;) {
        std::uint8_t* row = filtered.data() + y * (rowBytes + 1) + 1;
        const std::uint8_t* above = row - (rowBytes + 1);
        for (std::size_t i = 0; i < rowBytes; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] - above[i]);
    }
    const std::vector<std::uint8_t> packed = deflate::zlibCompress(filtered, level);

    Bytes file;
    file.reserve(8 + 25 + 12 + packed.size() + 12);
    const auto signature = asBytes(std::string_view("\x89PNG\r\n\x1a\n", 8));
    file.assign(signature.begin(), signature.end());
    std::uint8_t header[13] = {};
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
        header[4 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
    }
    header[8] = 8;
    header[9] = alpha ? RgbAlpha : Rgb;
    appendChunk(file, "IHDR", header, sizeof header);
    appendChunk(file, "IDAT", packed.data(), packed.size());
    appendChunk(file, "IEND", nullptr, 0);
    return file;
}

} // namespace glimmer::png
