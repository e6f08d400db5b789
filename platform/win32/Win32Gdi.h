#pragma once

#include "platform/Gdi.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace glimmer::gdi {

// The graphics layer over the system's GDI. Our handles are numbers in a
// table of live objects, each with the system's handle behind it, so an
// unknown, stale or wrong-kind handle fails here and never reaches GDI. The
// layer keeps MemoryGdi's limits: 24- and 32-bit BI_RGB sections of at most
// MemoryGdi::kMaxDibBytes, the bitmap files MemoryGdi reads (checked by
// our reader before the system's loads them), the raster operations
// without a pattern, and rectangles clipped before GDI sees them.
class Win32Gdi final : public Gdi {
public:
    Win32Gdi();
    // Releases every context and bitmap still live.
    ~Win32Gdi() override;
    Win32Gdi(const Win32Gdi&) = delete;
    Win32Gdi& operator=(const Win32Gdi&) = delete;

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
    std::size_t liveObjects() const noexcept { return objects_.size(); }
    // Why the last operation that failed did so: the call and the system's
    // text, or the reason this layer refused it.
    const std::string& lastError() const noexcept { return lastError_; }
    // The system's HDC or HBITMAP behind one of our live objects, for the
    // Win32 calls this layer does not offer (painting into a window);
    // nullptr for any other handle. It stays ours to release.
    void* systemHandle(HGDIOBJ object) const noexcept;
    // The bitmap that a new context holds selected; it cannot be deleted.
    static HBITMAP stockBitmap() noexcept { return HBITMAP(1); }

private:
    enum class Kind { Dc, Bitmap };
    struct Object {
        Kind kind;
        void* handle;                // the system's HDC or HBITMAP
        // A context: its own bitmap when it was made, and our bitmap in it.
        void* stock = nullptr;
        std::uint32_t selected = 1;
        // A bitmap: its size, and the context it is selected into.
        std::int64_t width = 0;
        std::int64_t height = 0;
        std::uint32_t selectedInto = 0;
    };

    template <typename H>
    H fail(std::string why);
    template <typename H>
    H failSystem(const char* call);
    Object* find(std::uint32_t id, Kind kind);
    // The bitmap of ours selected into a context, or nullptr.
    Object* bitmapIn(HDC hdc);
    std::uint32_t add(Object object);

    std::unordered_map<std::uint32_t, Object> objects_;
    std::uint32_t lastId_ = 1;   // 1 is the stock bitmap
    std::string lastError_;
};

} // namespace glimmer::gdi
