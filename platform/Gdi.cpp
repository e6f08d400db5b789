#include "platform/Gdi.h"

#include "formats/BitmapFile.h"
#include "platform/Ansi.h"

#include "platform/Paths.h"

#include <cstdio>
#include "formats/Image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace glimmer::gdi {

// Pixel memory as rows of 3- or 4-byte blue-green-red pixels.
struct MemoryGdi::Surface {
    std::byte* base = nullptr;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t stride = 0;
    bool bottomUp = false;
    int bytesPerPixel = 0;

    explicit operator bool() const noexcept { return base != nullptr; }
    // Row `y` counted from the top of the picture.
    std::byte* row(std::int64_t y) const noexcept { return base + (bottomUp ? height - 1 - y : y) * stride; }
};

struct FreeMemory {
    void operator()(std::byte* p) const noexcept { std::free(p); }
};

struct MemoryGdi::Bitmap {
    BITMAPINFOHEADER header{};                       // what the header query reports
    std::unique_ptr<std::byte, FreeMemory> memory;   // a DIB section we made...
    std::size_t memoryBytes = 0;
    std::vector<std::byte> file;                     // ...or a loaded file whose rows serve as they are...
    Image image;                                     // ...or a loaded file's decoded picture
    Surface surface;
    std::uint32_t selectedInto = 0;
};

struct MemoryGdi::Dc {
    std::uint32_t selected = 1;   // the stock bitmap
};

namespace {

std::string hex8(std::uint32_t v)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(v));
    return text;
}


// The 16 raster operations of source and destination: bit (2S + D) of the
// operation's truth table, with the pattern bit clear, gives the result.
std::uint8_t applyRop(std::uint8_t rop3, std::uint8_t s, std::uint8_t d)
{
    unsigned r = 0;
    if (rop3 & 0x01)
        r |= ~s & ~d;
    if (rop3 & 0x02)
        r |= ~s & d;
    if (rop3 & 0x04)
        r |= s & ~d;
    if (rop3 & 0x08)
        r |= s & d;
    return static_cast<std::uint8_t>(r);
}

// Moves a start below 0 up to 0, shifting its partner along and shrinking the extent.
void clipStart(std::int64_t& start, std::int64_t& partner, std::int64_t& extent)
{
    if (start < 0) {
        partner -= start;
        extent += start;
        start = 0;
    }
}

void convertRow(const std::byte* src, int srcBpp, std::byte* dst, int dstBpp, std::int64_t width)
{
    if (srcBpp == dstBpp) {
        std::memcpy(dst, src, static_cast<std::size_t>(width * dstBpp));
        return;
    }
    for (std::int64_t x = 0; x < width; ++x) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
        if (dstBpp == 4)
            dst[3] = std::byte{0};
        src += srcBpp;
        dst += dstBpp;
    }
}

} // namespace

bool pixelFormatSupported(const BITMAPINFOHEADER& h)
{
    return (h.biBitCount == 24 || h.biBitCount == 32) && h.biCompression == BI_RGB;
}

std::int64_t rowsOf(std::int32_t height)
{
    return height < 0 ? -std::int64_t{height} : std::int64_t{height};
}

std::string refusal::ofSection(const BITMAPINFOHEADER& h, std::int64_t& bytes)
{
    if (h.biSize < 40 || h.biPlanes != 1 || !pixelFormatSupported(h))
        return "CreateDIBSection: only 24- and 32-bit BI_RGB sections";
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == std::numeric_limits<std::int32_t>::min())
        return "CreateDIBSection: size " + std::to_string(h.biWidth) + " x " + std::to_string(h.biHeight);
    bytes = bmp::strideOf(h.biWidth, h.biBitCount) * rowsOf(h.biHeight);
    if (bytes > MemoryGdi::kMaxDibBytes)
        return "CreateDIBSection: more than " + std::to_string(MemoryGdi::kMaxDibBytes) + " bytes of pixels";
    return {};
}

std::string refusal::ofLoad(HINSTANCE instance, const char* name, std::uint32_t type, int cx, int cy,
                            std::uint32_t flags, std::string& path, std::vector<std::byte>& bytes)
{
    if (instance || type != IMAGE_BITMAP || !(flags & LR_LOADFROMFILE) || cx != 0 || cy != 0 || !name)
        return "LoadImageA: only bitmap files at their own size";
    path = fromAnsi(name);
    // Only regular files: a device or a pipe could feed us without end.
    if (const std::string why = readRegularFile(path, bmp::kMaxFileBytes, bytes); !why.empty())
        return "LoadImageA: \"" + path + "\" " + why;
    return {};
}

std::string refusal::ofRop(std::uint32_t rop, bool& usesSource)
{
    const std::uint8_t rop3 = static_cast<std::uint8_t>(rop >> 16);
    if ((rop3 >> 4) != (rop3 & 0x0F))
        return "BitBlt: raster operation 0x" + hex8(rop) + " needs a pattern";
    usesSource = ((rop3 >> 2) & 3) != (rop3 & 3);
    return {};
}

void MemoryGdi::FreeBlock::operator()(void* p) const noexcept
{
    std::free(p);
}

MemoryGdi::MemoryGdi() = default;
MemoryGdi::~MemoryGdi() = default;

template <typename H>
H MemoryGdi::fail(const std::string& why)
{
    lastError_ = why;
    return H{};
}

std::uint32_t MemoryGdi::nextId()
{
    if (lastId_ == std::numeric_limits<std::uint32_t>::max())
        throw std::bad_alloc();
    return ++lastId_;
}

MemoryGdi::Dc* MemoryGdi::dc(HDC h)
{
    const auto it = dcs_.find(h.id());
    return it == dcs_.end() ? nullptr : it->second.get();
}

MemoryGdi::Bitmap* MemoryGdi::bitmap(HBITMAP h)
{
    const auto it = bitmaps_.find(h.id());
    return it == bitmaps_.end() ? nullptr : it->second.get();
}

MemoryGdi::Surface MemoryGdi::surfaceOf(HDC h)
{
    const Dc* d = dc(h);
    if (!d)
        return {};
    const Bitmap* b = bitmap(HBITMAP(d->selected));
    return b ? b->surface : Surface{};
}

std::size_t MemoryGdi::liveObjects() const noexcept
{
    return dcs_.size() + bitmaps_.size();
}

HDC MemoryGdi::CreateCompatibleDC(HDC hdc)
{
    if (hdc && !dc(hdc))
        return fail<HDC>("CreateCompatibleDC: unknown device context");
    const std::uint32_t id = nextId();
    dcs_.emplace(id, std::make_unique<Dc>());
    return HDC(id);
}

HBITMAP MemoryGdi::CreateDIBSection(HDC hdc, const BITMAPINFO& bmi, std::uint32_t usage, std::byte*& bits)
{
    bits = nullptr;
    const BITMAPINFOHEADER& h = bmi.bmiHeader;
    if (usage != DIB_RGB_COLORS)
        return fail<HBITMAP>("CreateDIBSection: only DIB_RGB_COLORS");
    if (hdc && !dc(hdc))
        return fail<HBITMAP>("CreateDIBSection: unknown device context");
    std::int64_t bytes = 0;
    if (const std::string why = refusal::ofSection(h, bytes); !why.empty())
        return fail<HBITMAP>(why);

    auto b = std::make_unique<Bitmap>();
    b->memoryBytes = static_cast<std::size_t>(bytes);
    if (spare_ && spareBytes_ == b->memoryBytes) {
        b->memory.reset(static_cast<std::byte*>(spare_.release()));
        std::memset(b->memory.get(), 0, b->memoryBytes);
    } else {
        // calloc: large blocks come zeroed from the system without a pass over them.
        b->memory.reset(static_cast<std::byte*>(std::calloc(b->memoryBytes, 1)));
    }
    if (!b->memory)
        return fail<HBITMAP>("CreateDIBSection: out of memory");
    b->header = h;
    b->header.biSize = 40;
    b->header.biSizeImage = static_cast<std::int32_t>(bytes);
    b->header.biClrUsed = 0;
    b->header.biClrImportant = 0;
    b->surface = {b->memory.get(), h.biWidth, rowsOf(h.biHeight), bmp::strideOf(h.biWidth, h.biBitCount),
                  h.biHeight > 0, h.biBitCount / 8};

    const std::uint32_t id = nextId();
    bits = b->memory.get();
    bitmaps_.emplace(id, std::move(b));
    return HBITMAP(id);
}

HBITMAP MemoryGdi::SelectObject(HDC hdc, HBITMAP h)
{
    Dc* d = dc(hdc);
    if (!d)
        return fail<HBITMAP>("SelectObject: unknown device context");
    Bitmap* b = nullptr;
    if (h != stockBitmap()) {
        b = bitmap(h);
        if (!b)
            return fail<HBITMAP>("SelectObject: unknown bitmap");
        if (b->selectedInto && b->selectedInto != hdc.id())
            return fail<HBITMAP>("SelectObject: the bitmap is selected into another context");
    }
    const HBITMAP previous(d->selected);
    if (Bitmap* p = bitmap(previous))
        p->selectedInto = 0;
    d->selected = h.id();
    if (b)
        b->selectedInto = hdc.id();
    return previous;
}

bool MemoryGdi::DeleteObject(HGDIOBJ object)
{
    const std::uint32_t id = object.id();
    if (const auto it = dcs_.find(id); it != dcs_.end()) {
        if (Bitmap* b = bitmap(HBITMAP(it->second->selected)))
            b->selectedInto = 0;
        dcs_.erase(it);
        return true;
    }
    if (const auto it = bitmaps_.find(id); it != bitmaps_.end()) {
        Bitmap& b = *it->second;
        if (b.selectedInto) {
            lastError_ = "DeleteObject: the bitmap is still selected into a context";
            return false;
        }
        // The next section is most often of the same size (every export loads
        // a picture of the preview's size); its memory is kept for it.
        if (b.memory && b.memoryBytes <= kMaxSpareBytes) {
            spare_.reset(b.memory.release());
            spareBytes_ = b.memoryBytes;
        }
        bitmaps_.erase(it);
        return true;
    }
    lastError_ = "DeleteObject: unknown or stale handle";
    return false;
}

int MemoryGdi::GetDIBits(HDC hdc, HBITMAP h, std::int32_t start, std::int32_t lines, std::span<std::byte> bits,
                         BITMAPINFO& bmi, std::uint32_t usage)
{
    if (!dc(hdc))
        return fail<int>("GetDIBits: unknown device context");
    const Bitmap* b = bitmap(h);
    if (!b)
        return fail<int>("GetDIBits: unknown bitmap");
    BITMAPINFOHEADER& target = bmi.bmiHeader;
    if (usage != DIB_RGB_COLORS || target.biSize < 40)
        return fail<int>("GetDIBits: unsupported header or colour use");

    if (bits.empty() && target.biBitCount == 0) {
        const BITMAPINFOHEADER& own = b->header;
        target.biWidth = own.biWidth;
        target.biHeight = own.biHeight;
        target.biPlanes = own.biPlanes;
        target.biBitCount = own.biBitCount;
        target.biCompression = own.biCompression;
        target.biSizeImage = own.biSizeImage;
        target.biXPelsPerMeter = own.biXPelsPerMeter;
        target.biYPelsPerMeter = own.biYPelsPerMeter;
        target.biClrUsed = own.biClrUsed;
        target.biClrImportant = own.biClrImportant;
        return 1;
    }

    const Surface& src = b->surface;
    if (!pixelFormatSupported(target) || target.biWidth != src.width || rowsOf(target.biHeight) != src.height)
        return fail<int>("GetDIBits: the target format must be 24 or 32 bits at the bitmap's size");
    const std::int64_t stride = bmp::strideOf(target.biWidth, target.biBitCount);
    if (bits.empty()) {
        target.biSizeImage = static_cast<std::int32_t>(stride * src.height);
        return 1;
    }
    if (start < 0 || lines < 0 || start >= src.height)
        return fail<int>("GetDIBits: scan lines " + std::to_string(start) + " + " + std::to_string(lines) + " out of range");
    const std::int64_t count = std::min<std::int64_t>(lines, src.height - start);
    if (count * stride > static_cast<std::int64_t>(bits.size()))
        return fail<int>("GetDIBits: the buffer holds fewer than " + std::to_string(count) + " scan lines");

    const int dstBpp = target.biBitCount / 8;
    const bool targetBottomUp = target.biHeight > 0;
    const std::int64_t pixelBytes = src.width * dstBpp;
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t scan = start + i;
        const std::int64_t fromTop = targetBottomUp ? src.height - 1 - scan : scan;
        std::byte* dst = bits.data() + i * stride;
        convertRow(src.row(fromTop), src.bytesPerPixel, dst, dstBpp, src.width);
        std::fill(dst + pixelBytes, dst + stride, std::byte{0});
    }
    return static_cast<int>(count);
}

HBITMAP MemoryGdi::LoadImageA(HINSTANCE instance, const char* name, std::uint32_t type, int cx, int cy,
                              std::uint32_t flags)
{
    std::string path;
    std::vector<std::byte> bytes;
    if (const std::string why = refusal::ofLoad(instance, name, type, cx, cy, flags, path, bytes); !why.empty())
        return fail<HBITMAP>(why);

    auto b = std::make_unique<Bitmap>();
    bmp::FileInfo info;
    const std::span<const std::byte> data(bytes);
    try {
        info = bmp::readInfo(data);
        if (info.compression == bmp::Rgb && (info.bitCount == 24 || info.bitCount == 32)) {
            // The file's rows are already DIB rows (checked to lie inside the
            // file): keep them where they are instead of decoding them.
            b->file = std::move(bytes);   // sole owner: data() below does not copy
            b->surface = {reinterpret_cast<std::byte*>(b->file.data()) + info.pixelOffset, info.width, info.height,
                          bmp::strideOf(info.width, info.bitCount), !info.topDown, info.bitCount / 8};
        } else {
            b->image = bmp::decode(data);
            b->surface = {b->image.row(0), b->image.width(), b->image.height(), b->image.stride(), false, 4};
        }
    } catch (const FormatError& e) {
        return fail<HBITMAP>("LoadImageA: \"" + path + "\": " + e.what());
    }
    // The section holds the rows bottom-up whatever the file's order, so the
    // header reports a positive height; bit count and size are the file's own.
    BITMAPINFOHEADER& h = b->header;
    h.biSize = 40;
    h.biWidth = info.width;
    h.biHeight = info.height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<std::int16_t>(info.bitCount);
    h.biCompression = info.compression == bmp::Bitfields ? BI_BITFIELDS : BI_RGB;
    h.biSizeImage = static_cast<std::int32_t>(bmp::strideOf(info.width, info.bitCount) * info.height);

    const std::uint32_t id = nextId();
    bitmaps_.emplace(id, std::move(b));
    return HBITMAP(id);
}

bool MemoryGdi::BitBlt(HDC target, int x, int y, int cx, int cy, HDC source, int x1, int y1, std::uint32_t rop)
{
    bool usesSource = false;
    if (const std::string why = refusal::ofRop(rop, usesSource); !why.empty())
        return fail<bool>(why);
    const std::uint8_t rop3 = static_cast<std::uint8_t>(rop >> 16);

    const Surface dst = surfaceOf(target);
    if (!dst)
        return fail<bool>("BitBlt: the target context holds no DIB section");
    const Surface src = usesSource ? surfaceOf(source) : Surface{};
    if (usesSource && !src)
        return fail<bool>("BitBlt: the source context holds no DIB section");

    // Clip to the target, and to the source where it is read.
    std::int64_t left = x, top = y, width = cx, height = cy, sx = x1, sy = y1;
    clipStart(left, sx, width);
    clipStart(top, sy, height);
    if (usesSource) {
        clipStart(sx, left, width);
        clipStart(sy, top, height);
        width = std::min(width, src.width - sx);
        height = std::min(height, src.height - sy);
    }
    width = std::min(width, dst.width - left);
    height = std::min(height, dst.height - top);
    if (width <= 0 || height <= 0)
        return true;

    // Reading and writing the same pixels: take the source rectangle aside first.
    std::vector<std::byte> aside;
    Surface from = src;
    if (usesSource && src.base == dst.base) {
        const std::int64_t rowBytes = width * src.bytesPerPixel;
        aside.resize(static_cast<std::size_t>(rowBytes * height));
        for (std::int64_t r = 0; r < height; ++r)
            std::memcpy(aside.data() + r * rowBytes, src.row(sy + r) + sx * src.bytesPerPixel,
                        static_cast<std::size_t>(rowBytes));
        from = {aside.data(), width, height, rowBytes, false, src.bytesPerPixel};
        sx = 0;
        sy = 0;
    }

    for (std::int64_t r = 0; r < height; ++r) {
        std::byte* d = dst.row(top + r) + left * dst.bytesPerPixel;
        const std::byte* s = usesSource ? from.row(sy + r) + sx * from.bytesPerPixel : nullptr;
        if (rop3 == 0xCC && from.bytesPerPixel == dst.bytesPerPixel) {
            std::memcpy(d, s, static_cast<std::size_t>(width * dst.bytesPerPixel));
            continue;
        }
        for (std::int64_t i = 0; i < width; ++i) {
            for (int c = 0; c < 3; ++c) {
                const auto sv = s ? std::to_integer<std::uint8_t>(s[c]) : std::uint8_t{0};
                d[c] = std::byte{applyRop(rop3, sv, std::to_integer<std::uint8_t>(d[c]))};
            }
            d += dst.bytesPerPixel;
            if (s)
                s += from.bytesPerPixel;
        }
    }
    return true;
}

MemoryGdi& systemGdi()
{
    // Never destroyed, so that objects released at exit still find it.
    static MemoryGdi* const gdi = new MemoryGdi;
    return *gdi;
}

} // namespace glimmer::gdi
