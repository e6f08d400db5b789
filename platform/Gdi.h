#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace glimmer::gdi {

// A typed handle: an object number that the layer checks on every use. Numbers
// are never reused, so a stale handle is recognised, never mistaken for a new
// object. 0 is "no object".
template <typename Tag>
class Handle {
public:
    constexpr Handle() = default;
    constexpr explicit Handle(std::uint32_t id) : id_(id) {}
    constexpr std::uint32_t id() const noexcept { return id_; }
    constexpr explicit operator bool() const noexcept { return id_ != 0; }
    friend constexpr bool operator==(Handle, Handle) = default;

private:
    std::uint32_t id_ = 0;
};

using HDC = Handle<struct DcTag>;
using HBITMAP = Handle<struct BitmapTag>;
using HINSTANCE = Handle<struct InstanceTag>;

// Any object, for the operations that take either kind.
class HGDIOBJ {
public:
    constexpr HGDIOBJ() = default;
    // Converts implicitly, like the platform's handles.
    constexpr HGDIOBJ(HDC h) : id_(h.id()) {}
    constexpr HGDIOBJ(HBITMAP h) : id_(h.id()) {}
    constexpr std::uint32_t id() const noexcept { return id_; }

private:
    std::uint32_t id_ = 0;
};

// The platform's bitmap records, with its field widths (the 16-bit fields are signed).
struct BITMAPINFOHEADER {
    std::int32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::int16_t biPlanes;
    std::int16_t biBitCount;
    std::int32_t biCompression;
    std::int32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::int32_t biClrUsed;
    std::int32_t biClrImportant;
};

struct RGBQUAD {
    std::uint8_t rgbBlue;
    std::uint8_t rgbGreen;
    std::uint8_t rgbRed;
    std::uint8_t rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

inline constexpr std::int32_t BI_RGB = 0;
inline constexpr std::int32_t BI_RLE8 = 1;
inline constexpr std::int32_t BI_RLE4 = 2;
inline constexpr std::int32_t BI_BITFIELDS = 3;
inline constexpr std::uint32_t DIB_RGB_COLORS = 0;
inline constexpr std::uint32_t IMAGE_BITMAP = 0;
inline constexpr std::uint32_t LR_LOADFROMFILE = 0x10;
inline constexpr std::uint32_t LR_CREATEDIBSECTION = 0x2000;

// Raster operations without a pattern; BitBlt accepts every code whose
// result depends on source and destination only.
inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;
inline constexpr std::uint32_t SRCPAINT = 0x00EE0086;
inline constexpr std::uint32_t SRCAND = 0x008800C6;
inline constexpr std::uint32_t SRCINVERT = 0x00660046;
inline constexpr std::uint32_t SRCERASE = 0x00440328;
inline constexpr std::uint32_t NOTSRCCOPY = 0x00330008;
inline constexpr std::uint32_t NOTSRCERASE = 0x001100A6;
inline constexpr std::uint32_t MERGEPAINT = 0x00BB0226;
inline constexpr std::uint32_t DSTINVERT = 0x00550009;
inline constexpr std::uint32_t BLACKNESS = 0x00000042;
inline constexpr std::uint32_t WHITENESS = 0x00FF0062;

// What every graphics layer refuses alike, before it does anything: each
// returns why a request is refused (the operation's name first), or an
// empty text.
namespace refusal {
// A DIB section's header: 24 or 32 bits, BI_RGB, a size in range. `bytes`
// is then its pixel memory's size.
std::string ofSection(const BITMAPINFOHEADER& h, std::int64_t& bytes);
// LoadImageA's arguments (files only, at their own size) and the file: a
// regular file no larger than a bitmap may be, read whole into `bytes`.
// `path` is the name as UTF-8.
std::string ofLoad(HINSTANCE instance, const char* name, std::uint32_t type, int cx, int cy, std::uint32_t flags,
                   std::string& path, std::vector<std::byte>& bytes);
// BitBlt's raster operation: none that needs a pattern. `usesSource` says
// whether it reads the source.
std::string ofRop(std::uint32_t rop, bool& usesSource);
} // namespace refusal

// Whether a header is of a format the layers convert rows into: 24 or 32
// bits, BI_RGB.
bool pixelFormatSupported(const BITMAPINFOHEADER& h);
// The rows of a signed DIB height.
std::int64_t rowsOf(std::int32_t height);

// Device contexts and bitmaps the way the platform's graphics interface
// offers them. An unknown, stale or wrong-kind handle makes an operation fail
// (0 or false), never crash.
class Gdi {
public:
    virtual ~Gdi() = default;

    // A memory device context; `hdc` must be 0 or a live context.
    virtual HDC CreateCompatibleDC(HDC hdc) = 0;
    // A DIB section of the format in `bmi` (24 or 32 bits, BI_RGB), its pixel
    // memory zeroed and at a fixed address, which lands in `bits`
    // (nullptr on failure). File mappings are not offered.
    virtual HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO& bmi, std::uint32_t usage, std::byte*& bits) = 0;
    // Selects a bitmap into a context and returns the one selected before.
    virtual HBITMAP SelectObject(HDC hdc, HBITMAP bitmap) = 0;
    // Releases a bitmap or a context. A bitmap still selected somewhere stays.
    virtual bool DeleteObject(HGDIOBJ object) = 0;
    // With an empty `bits` and biBitCount 0: fills the header with the
    // bitmap's own format. With an empty `bits` otherwise: fills biSizeImage.
    // With `bits`: converts scan lines [start, start + lines) into the format
    // of the header (24 or 32 bits, BI_RGB, the bitmap's width; the sign of
    // biHeight gives the row order, in which the scan lines are counted) and
    // returns how many it wrote; nothing is written beyond `bits`.
    virtual int GetDIBits(HDC hdc, HBITMAP bitmap, std::int32_t start, std::int32_t lines, std::span<std::byte> bits,
                          BITMAPINFO& bmi, std::uint32_t usage) = 0;
    // A Windows bitmap file as a DIB section at its own size and bit depth.
    // Only files (LR_LOADFROMFILE, no module) at their own size (0, 0).
    virtual HBITMAP LoadImageA(HINSTANCE instance, const char* name, std::uint32_t type, int cx, int cy,
                               std::uint32_t flags) = 0;
    // Copies a rectangle between the bitmaps selected into two contexts,
    // clipped to both; `source` may be 0 for operations that do not read it.
    virtual bool BitBlt(HDC target, int x, int y, int cx, int cy, HDC source, int x1, int y1, std::uint32_t rop) = 0;
};

// The layer itself: every object lives in memory, in a table of live objects.
class MemoryGdi final : public Gdi {
public:
    // The largest pixel memory one DIB section may have.
    static constexpr std::int64_t kMaxDibBytes = std::int64_t{256} << 20;

    MemoryGdi();
    ~MemoryGdi() override;
    MemoryGdi(const MemoryGdi&) = delete;
    MemoryGdi& operator=(const MemoryGdi&) = delete;

    HDC CreateCompatibleDC(HDC hdc) override;
    HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO& bmi, std::uint32_t usage, std::byte*& bits) override;
    HBITMAP SelectObject(HDC hdc, HBITMAP bitmap) override;
    bool DeleteObject(HGDIOBJ object) override;
    int GetDIBits(HDC hdc, HBITMAP bitmap, std::int32_t start, std::int32_t lines, std::span<std::byte> bits,
                  BITMAPINFO& bmi, std::uint32_t usage) override;
    HBITMAP LoadImageA(HINSTANCE instance, const char* name, std::uint32_t type, int cx, int cy,
                       std::uint32_t flags) override;
    bool BitBlt(HDC target, int x, int y, int cx, int cy, HDC source, int x1, int y1, std::uint32_t rop) override;

    // Contexts and bitmaps made and not yet released.
    std::size_t liveObjects() const noexcept;
    // Why the last operation that failed did so.
    const std::string& lastError() const noexcept { return lastError_; }
    // The 1 x 1 bitmap that a new context holds selected; it cannot be deleted.
    static HBITMAP stockBitmap() noexcept { return HBITMAP(1); }

private:
    struct Bitmap;
    struct Dc;
    struct Surface;

    template <typename H>
    H fail(const std::string& why);
    Dc* dc(HDC h);
    Bitmap* bitmap(HBITMAP h);
    Surface surfaceOf(HDC h);
    std::uint32_t nextId();

    struct FreeBlock {
        void operator()(void* p) const noexcept;
    };
    static constexpr std::size_t kMaxSpareBytes = std::size_t{16} << 20;

    std::unordered_map<std::uint32_t, std::unique_ptr<Dc>> dcs_;
    std::unordered_map<std::uint32_t, std::unique_ptr<Bitmap>> bitmaps_;
    std::unique_ptr<void, FreeBlock> spare_;   // the pixel memory of the last section released
    std::size_t spareBytes_ = 0;
    std::uint32_t lastId_ = 1;   // 1 is the stock bitmap
    std::string lastError_;
};

// The process's graphics layer, which the program's objects use by default.
MemoryGdi& systemGdi();

} // namespace glimmer::gdi
