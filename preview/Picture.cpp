#include "preview/Picture.h"

#include "formats/Metafile.h"
#include "formats/MetafilePlayer.h"

#include <mutex>

namespace glimmer {

// A metafile is played once, by whichever copy of the picture asks first.
struct Picture::Played {
    std::once_flag once;
    Image image;
};

Picture Picture::fromImage(Image image)
{
    Picture p;
    if (image.isNull())
        return p;
    p.kind_ = Kind::Raster;
    p.size_ = image.size();
    p.image_ = std::move(image);
    return p;
}

Picture Picture::fromMetafile(Bytes bytes, Size naturalSize, Image played)
{
    Picture p;
    p.kind_ = Kind::Metafile;
    p.metafile_ = std::make_shared<const Bytes>(std::move(bytes));
    p.size_ = naturalSize;
    p.played_ = std::make_shared<Played>();
    if (!played.isNull() && played.size() == naturalSize)
        std::call_once(p.played_->once, [&] { p.played_->image = std::move(played); });
    return p;
}

std::span<const std::byte> Picture::metafile() const noexcept
{
    if (!metafile_)
        return {};
    return *metafile_;
}

Image Picture::toImage() const
{
    switch (kind_) {
    case Kind::Empty:
        return {};
    case Kind::Raster:
        return image_;
    case Kind::Metafile:
        std::call_once(played_->once, [this] {
            if (size_.isEmpty())
                return;
            Image canvas(size_, PixelFormat::Xrgb32);
            canvas.fill(White);
            if (wmf::play(canvas, *metafile_, canvas.rect()))
                played_->image = std::move(canvas);
        });
        return played_->image;
    }
    return {};
}

Bytes Picture::placeableMetafile() const
{
    switch (kind_) {
    case Kind::Empty:
        break;
    case Kind::Raster:
        return wmf::toPlaceable(wmf::fromImage(image_), size_);
    case Kind::Metafile:
        return wmf::toPlaceable(*metafile_, size_);
    }
    throw FormatError(FormatError::Code::NotFound, "there is no picture to save");
}

Picture Picture::withOrigin(std::string source, std::string format) const
{
    Picture p = *this;
    p.source_ = std::move(source);
    p.format_ = std::move(format);
    return p;
}

} // namespace glimmer
