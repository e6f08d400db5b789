#pragma once

#include "formats/Image.h"

#include <memory>
#include <span>
#include <string>

namespace glimmer {

// A picture as a picture box holds it: empty, raster (a decoded image) or
// metafile (the bytes of a Windows metafile and its natural pixel size).
// Copies share their data; a picture never changes once made.
class Picture {
public:
    enum class Kind { Empty, Raster, Metafile };

    Picture() = default;
    // `image` is kept as it is: it should already be opaque, in the format
    // it is shown in (Xrgb32, or Rgbx8888 as a PNG decodes).
    static Picture fromImage(Image image);
    // `bytes` is a Windows metafile, placeable or not. Where the caller
    // already has the pixels the metafile plays to, `played` saves playing it.
    static Picture fromMetafile(Bytes bytes, Size naturalSize, Image played = {});

    Kind kind() const noexcept { return kind_; }
    bool isEmpty() const noexcept { return kind_ == Kind::Empty; }
    // Natural size in pixels; empty for an empty picture.
    Size size() const noexcept { return size_; }

    // The raster of a raster picture; null otherwise.
    const Image& image() const noexcept { return image_; }
    // The metafile bytes of a metafile picture; empty otherwise.
    std::span<const std::byte> metafile() const noexcept;

    // The picture at its natural size as pixels (a metafile is played once,
    // on white, and the result kept). Null for an empty picture or an
    // unplayable metafile.
    Image toImage() const;

    // The picture as a standalone .wmf file: a metafile made placeable; a
    // raster picture wrapped as one 24-bit bitmap record that plays back to
    // exactly its pixels. Raises FormatError for an empty picture.
    Bytes placeableMetafile() const;

    // Where the picture was found and what it was stored as ("png",
    // "metafile", "dib"); empty when unknown.
    const std::string& source() const noexcept { return source_; }
    const std::string& format() const noexcept { return format_; }
    Picture withOrigin(std::string source, std::string format) const;

private:
    struct Played;

    Kind kind_ = Kind::Empty;
    Size size_;
    Image image_;
    std::shared_ptr<const Bytes> metafile_;
    std::shared_ptr<Played> played_;   // the played metafile, once played
    std::string source_;
    std::string format_;
};

} // namespace glimmer
