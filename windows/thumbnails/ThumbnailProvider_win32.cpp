// The thumbnail provider Explorer creates for each document, in its
// isolated thumbnail process: IInitializeWithStream takes the document's
// stream, IThumbnailProvider gives its preview as a 32-bit DIB section.
#include "windows/thumbnails/ShellThumbnail.h"
#include "StreamSource.h"

#include "Module.h"

#include <objidl.h>
#include <propsys.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>

namespace glimmer::shell {

namespace {

// A DIB section of the thumbnail's pixels, rows top-down; null when there
// is no memory (or no GDI object) left for one.
HBITMAP dibSection(const Image& image) noexcept
{
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = image.width();
    info.bmiHeader.biHeight = -image.height();
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap)
            ::DeleteObject(bitmap);
        return nullptr;
    }
    const std::size_t row = std::size_t(image.width()) * 4;   // 32-bit rows need no padding
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(static_cast<std::byte*>(bits) + row * std::size_t(y), image.row(y), row);
    return bitmap;
}

// Why there is no thumbnail, for a debugger (DebugView) to show.
void tellDebugger(const std::string& reason) noexcept
{
    try {
        ::OutputDebugStringA(("glimmerbox-thumbnails: " + reason + "\n").c_str());
    } catch (...) {
    }
}

class ThumbnailProvider final : public IInitializeWithStream, public IThumbnailProvider {
public:
    ThumbnailProvider() noexcept { moduleAddRef(); }
    ~ThumbnailProvider()
    {
        if (stream_)
            stream_->Release();
        moduleRelease();
    }
    ThumbnailProvider(const ThumbnailProvider&) = delete;
    ThumbnailProvider& operator=(const ThumbnailProvider&) = delete;

    IFACEMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        static const QITAB interfaces[] = {
            QITABENT(ThumbnailProvider, IInitializeWithStream),
            QITABENT(ThumbnailProvider, IThumbnailProvider),
            {},
        };
        return QISearch(this, interfaces, riid, object);
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return ++count_; }
    IFACEMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --count_;
        if (left == 0)
            delete this;
        return left;
    }

    // One document per object: a second one is refused.
    IFACEMETHODIMP Initialize(IStream* stream, DWORD) override
    {
        if (stream_)
            return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
        if (!stream)
            return E_INVALIDARG;
        stream_ = stream;
        stream_->AddRef();
        return S_OK;
    }

    // The preview scaled down to fit cx × cx, never up. WTSAT_ARGB with
    // straight (not premultiplied) alpha, as the 32bppBGRA of the SDK's
    // thumbnail provider sample; WTSAT_RGB, alpha 0xFF, for an opaque one.
    IFACEMETHODIMP GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alpha) override
    {
        if (!bitmap || !alpha)
            return E_POINTER;
        *bitmap = nullptr;
        *alpha = WTSAT_UNKNOWN;
        if (!stream_)
            return E_UNEXPECTED;
        if (cx == 0)
            return E_INVALIDARG;
        StreamSource source(stream_);
        const Thumbnail thumbnail = thumbnailOf(source, cx);
        switch (thumbnail.status) {
        case Thumbnail::Status::Ok:
            break;
        case Thumbnail::Status::OutOfMemory:
            return E_OUTOFMEMORY;
        case Thumbnail::Status::NoPreview:
            tellDebugger(thumbnail.reason);
            return WTS_E_FAILEDEXTRACTION;   // Explorer shows the type's icon
        case Thumbnail::Status::Unreadable:
            tellDebugger(thumbnail.reason);
            // The stream's own error where it failed; the document's bytes otherwise.
            return FAILED(source.failure()) ? source.failure() : HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
        }
        *bitmap = dibSection(thumbnail.image);
        if (!*bitmap)
            return E_OUTOFMEMORY;
        *alpha = thumbnail.transparent ? WTSAT_ARGB : WTSAT_RGB;
        return S_OK;
    }

private:
    std::atomic<ULONG> count_{1};
    IStream* stream_ = nullptr;
};

} // namespace

HRESULT createThumbnailProvider(REFIID riid, void** object) noexcept
{
    auto* provider = new (std::nothrow) ThumbnailProvider;
    if (!provider)
        return E_OUTOFMEMORY;
    const HRESULT result = provider->QueryInterface(riid, object);
    provider->Release();
    return result;
}

} // namespace glimmer::shell
