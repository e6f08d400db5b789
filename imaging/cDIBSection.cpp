#include "imaging/cDIBSection.h"

#include "platform/Ansi.h"
#include "platform/Checked.h"
#include "platform/ScopeExit.h"

#include <span>
#include <string>

namespace glimmer {

using namespace gdi;

cDIBSection::cDIBSection() : cDIBSection(systemGdi()) {}

cDIBSection::cDIBSection(Gdi& gdi) : gdi_(&gdi) {}

cDIBSection::~cDIBSection()
{
    CleanUp();
}

void cDIBSection::StartDLL() {}

bool cDIBSection::CreateDIB(HDC lhDC, std::int32_t lWidth, std::int32_t lHeight, std::int32_t lChannels,
                            HBITMAP& hDib)
{
    BITMAPINFOHEADER& h = mtBitmapInfo.bmiHeader;
    h.biSize = 40;
    h.biWidth = lWidth;
    h.biHeight = lHeight;
    h.biPlanes = 1;
    h.biBitCount = lChannels == 3 ? 24 : 32;
    h.biCompression = BI_RGB;
    h.biSizeImage = checked::mul<std::int32_t>(h.biHeight, BytesPerScanLine());
    hDib = gdi_->CreateDIBSection(lhDC, mtBitmapInfo, DIB_RGB_COLORS, mlBitsPtr);
    return static_cast<bool>(hDib);
}

bool cDIBSection::Create(std::int32_t lWidth, std::int32_t lHeight, std::int32_t lChannels)
{
    CleanUp();
    mhMemDC = gdi_->CreateCompatibleDC(HDC{});
    if (!mhMemDC)
        return false;
    bool made = false;
    try {
        made = CreateDIB(mhMemDC, lWidth, lHeight, lChannels, mhDibSection);
    } catch (...) {
        // An overflowing size leaves the object empty, like any other failure.
        CleanUp();
        throw;
    }
    if (made) {
        mhPrevBitmap = gdi_->SelectObject(mhMemDC, mhDibSection);
        return true;
    }
    gdi_->DeleteObject(mhMemDC);
    mhMemDC = HDC{};
    return false;
}

bool cDIBSection::Load(const std::string& Name)
{
    CleanUp();
    const std::string ansiName = toAnsi(Name);
    mhMemDC = gdi_->CreateCompatibleDC(HDC{});
    if (!mhMemDC)
        return false;

    const HBITMAP loaded = gdi_->LoadImageA(HINSTANCE{}, ansiName.c_str(), IMAGE_BITMAP, 0, 0,
                                            LR_CREATEDIBSECTION | LR_LOADFROMFILE);
    if (!loaded) {
        gdi_->DeleteObject(mhMemDC);
        mhMemDC = HDC{};
        return false;
    }
    // The loaded bitmap is ours until the end of this call, whichever way it ends.
    const ScopeExit releaseLoaded([this, loaded] { gdi_->DeleteObject(loaded); });

    BITMAPINFOHEADER& h = mtBitmapInfo.bmiHeader;
    h.biSize = 40;
    gdi_->GetDIBits(mhMemDC, loaded, 0, 0, {}, mtBitmapInfo, DIB_RGB_COLORS);

    h.biCompression = BI_RGB;
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    h.biBitCount = 24;

    mhDibSection = gdi_->CreateDIBSection(mhMemDC, mtBitmapInfo, DIB_RGB_COLORS, mlBitsPtr);
    if (!mhDibSection) {
        gdi_->DeleteObject(mhMemDC);
        mhMemDC = HDC{};
        return false;
    }
    mhPrevBitmap = gdi_->SelectObject(mhMemDC, mhDibSection);

    h.biSize = 40;
    const std::int32_t bytes = checked::mul<std::int32_t>(BytesPerScanLine(), h.biHeight);
    const int copied = gdi_->GetDIBits(mhMemDC, loaded, 0, h.biHeight,
                                       std::span<std::byte>(mlBitsPtr, static_cast<std::size_t>(bytes)),
                                       mtBitmapInfo, DIB_RGB_COLORS);
    // A conversion that did not fill every row would pass off zeros as the picture.
    if (copied != h.biHeight) {
        CleanUp();
        return false;
    }
    return true;
}

std::int32_t cDIBSection::BytesPerScanLine() const
{
    const BITMAPINFOHEADER& h = mtBitmapInfo.bmiHeader;
    const double x = (static_cast<double>(h.biBitCount) / 8.0) * static_cast<double>(h.biWidth) + 3.0;
    return checked::roundToInt32(x) & ~std::int32_t{3};
}

std::int32_t cDIBSection::dib_channels() const
{
    return checked::roundToInt32(static_cast<double>(mtBitmapInfo.bmiHeader.biBitCount) / 8.0);
}

void cDIBSection::PaintPicture(HDC lhDC, std::int32_t lDestLeft, std::int32_t lDestTop, std::int32_t lDestWidth,
                               std::int32_t lDestHeight, std::int32_t lSrcLeft, std::int32_t lSrcTop,
                               std::uint32_t eRop)
{
    if (lDestWidth < 0)
        lDestWidth = mtBitmapInfo.bmiHeader.biWidth;
    if (lDestHeight < 0)
        lDestHeight = mtBitmapInfo.bmiHeader.biHeight;
    gdi_->BitBlt(lhDC, lDestLeft, lDestTop, lDestWidth, lDestHeight, mhMemDC, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::CleanUp()
{
    if (mhMemDC) {
        if (mhDibSection) {
            gdi_->SelectObject(mhMemDC, mhPrevBitmap);
            gdi_->DeleteObject(mhDibSection);
        }
        gdi_->DeleteObject(mhMemDC);
    }
    mhMemDC = HDC{};
    mhDibSection = HBITMAP{};
    mhPrevBitmap = HBITMAP{};
    mlBitsPtr = nullptr;
    mtBitmapInfo.bmiColors[0] = RGBQUAD{};
    BITMAPINFOHEADER& h = mtBitmapInfo.bmiHeader;
    h.biSize = 40;
    h.biWidth = 0;
    h.biHeight = 0;
    h.biPlanes = 0;
    h.biBitCount = 0;
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    h.biCompression = 0;
}

} // namespace glimmer
