#include "windows/thumbnails/ShellThumbnail.h"

#include "preview/Box.h"
#include "preview/Engine.h"

#include <climits>
#include <exception>
#include <new>
#include <utility>

namespace glimmer::shell {

namespace {

using Status = Thumbnail::Status;

Thumbnail failed(Status status, const char* reason) noexcept
{
    Thumbnail t;
    t.status = status;
    try {
        t.reason = reason;
    } catch (...) {
        // The reason is only for the debugger.
    }
    return t;
}

} // namespace

Thumbnail dibThumbnail(Image image)
{
    Thumbnail t;
    t.transparent = image.hasAlpha() && !image.isOpaque();
    const PixelFormat dib = t.transparent ? PixelFormat::Argb32 : PixelFormat::Xrgb32;
    if (image.format() == PixelFormat::Argb32 && dib == PixelFormat::Xrgb32)
        image.reinterpretAs(dib);   // opaque: the same bytes
    else if (image.format() != dib)
        image = image.converted(dib);
    t.image = std::move(image);
    t.status = Status::Ok;
    return t;
}

Thumbnail thumbnailOf(ByteSource& source, unsigned box) noexcept
{
    try {
        FetchedPreview fetched = readDocument(source, {});
        if (fetched.status != FetchedPreview::Status::Ok) {
            const Status status = fetched.outOfMemory ? Status::OutOfMemory
                                  : fetched.status == FetchedPreview::Status::NoPreview ? Status::NoPreview
                                                                                        : Status::Unreadable;
            return failed(status, fetched.reason.c_str());
        }
        Image image = thumbnailImage(fetched.picture, box > INT_MAX ? INT_MAX : static_cast<int>(box));
        if (image.isNull())
            return failed(Status::Unreadable, "the preview cannot be drawn");
        return dibThumbnail(std::move(image));
    } catch (const std::bad_alloc&) {
        return failed(Status::OutOfMemory, "Out of memory");
    } catch (const std::exception& e) {
        return failed(Status::Unreadable, e.what());
    } catch (...) {
        return failed(Status::Unreadable, "cannot be read");
    }
}

} // namespace glimmer::shell
