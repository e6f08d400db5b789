#pragma once

#include "formats/ByteSource.h"
#include "formats/Image.h"

#include <string>

// The engine's side of the Explorer thumbnail provider, without <windows.h>:
// a document's bytes in, the thumbnail's pixels out.
namespace glimmer::shell {

struct Thumbnail {
    enum class Status { Ok, NoPreview, Unreadable, OutOfMemory };
    Status status = Status::Unreadable;
    // Ok: the preview scaled down to fit the box, never up, exactly as the
    // Linux thumbnailer scales it for `-s`. Argb32 with straight alpha when
    // some pixel is not opaque, else Xrgb32: either way each pixel's bytes
    // are B, G, R, A, those of a 32-bit DIB.
    Image image;
    bool transparent = false;
    // Not Ok: why, for the debugger's output.
    std::string reason;
};

// The thumbnail of the document whose bytes `source` gives, fitted into a
// `box` × `box` square. Never throws; the engine's limits bound its time
// and memory.
Thumbnail thumbnailOf(ByteSource& source, unsigned box) noexcept;

// `image` (not null) as the Ok thumbnail's: in the DIB's byte order, with
// alpha only where some pixel is not opaque. The engine flattens previews
// on white as it reads them, so a document's come out opaque; this keeps
// any other picture's alpha. Raises std::bad_alloc.
Thumbnail dibThumbnail(Image image);

} // namespace glimmer::shell
