#pragma once

#include "platform/Gdi.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace glimmer {

// One device-independent bitmap section with its own memory device context,
// into which it stays selected. Its pixels are rows of BytesPerScanLine bytes
// at DIBSectionBitsPtr, bottom row first for a positive height.
class cDIBSection {
public:
    cDIBSection();
    // Uses `gdi` instead of the process's graphics layer.
    explicit cDIBSection(gdi::Gdi& gdi);
    ~cDIBSection();
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;

    // Has no effect.
    void StartDLL();
    // Makes a DIB section of 24 bits (3 channels) or 32 bits (any other
    // count) into `hDib`; does not release or select anything.
    bool CreateDIB(gdi::HDC lhDC, std::int32_t lWidth, std::int32_t lHeight, std::int32_t lChannels,
                   gdi::HBITMAP& hDib);
    // An empty (zeroed) DIB of this size; false leaves the object empty.
    bool Create(std::int32_t lWidth, std::int32_t lHeight, std::int32_t lChannels);
    // The picture of a Windows bitmap file (a UTF-8 name) as a 24-bit DIB;
    // false leaves the object empty. A name the narrow calls cannot take
    // raises RuntimeError (BadFileName).
    bool Load(const std::string& Name);

    // Bytes per pixel row, pad bytes included.
    std::int32_t BytesPerScanLine() const;
    std::int32_t dib_width() const noexcept { return mtBitmapInfo.bmiHeader.biWidth; }
    std::int32_t dib_height() const noexcept { return mtBitmapInfo.bmiHeader.biHeight; }
    // Bytes per pixel.
    std::int32_t dib_channels() const;

    // Copies the DIB into `lhDC`; a negative width or height stands for the DIB's own.
    void PaintPicture(gdi::HDC lhDC, std::int32_t lDestLeft = 0, std::int32_t lDestTop = 0,
                      std::int32_t lDestWidth = -1, std::int32_t lDestHeight = -1, std::int32_t lSrcLeft = 0,
                      std::int32_t lSrcTop = 0, std::uint32_t eRop = gdi::SRCCOPY);

    gdi::HDC hDC() const noexcept { return mhMemDC; }
    gdi::HBITMAP hDib() const noexcept { return mhDibSection; }
    std::byte* DIBSectionBitsPtr() const noexcept { return mlBitsPtr; }
    // The header that describes the DIB.
    const gdi::BITMAPINFO& bitmapInfo() const noexcept { return mtBitmapInfo; }

    // Releases the DIB section and the context; the object is empty afterwards.
    void CleanUp();

private:
    gdi::HBITMAP mhDibSection;
    gdi::HBITMAP mhPrevBitmap;
    gdi::HDC mhMemDC;
    std::byte* mlBitsPtr = nullptr;
    gdi::BITMAPINFO mtBitmapInfo{};
    gdi::Gdi* gdi_;
};

} // namespace glimmer
