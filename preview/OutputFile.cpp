#include "preview/OutputFile.h"

#include "formats/BitmapFile.h"
#include "formats/FormatError.h"
#include "formats/Png.h"
#include "preview/Box.h"

#include <limits>

namespace glimmer {

namespace {

using Code = FormatError::Code;

// The bitmap file's pixel rows, where they lie, handed to the encoder.
Bytes jpegFile(const Image& image, const DibJpegEncoder& jpeg)
{
    if (!jpeg)
        throw FormatError(Code::Unsupported, "JPEG files cannot be written here");
    const Bytes bitmap = bmp::encode24(image);
    const bmp::FileInfo info = bmp::readInfo(bitmap);
    const std::int64_t stride = bmp::strideOf(info.width, info.bitCount);
    if (stride > std::numeric_limits<std::int32_t>::max())
        throw FormatError(Code::TooLarge, "the picture is too large for a JPEG file");
    return jpeg(bitmap.data() + info.pixelOffset, info.width, info.height, static_cast<std::int32_t>(stride),
                JpegQuality);
}

Bytes pngFile(const Picture& picture, int size)
{
    const Image image = thumbnailImage(picture, size);
    if (image.isNull())
        throw FormatError(Code::BadValue, "the preview cannot be drawn as a PNG");
    return png::encode(image);
}

} // namespace

Image boxImage(const Picture& picture, int size)
{
    return renderBox(picture, size > 0 ? Size{size, size} : picture.size(), White);
}

Bytes outputFile(const Picture& picture, OutputType type, int size, DibJpegEncoder jpeg)
{
    switch (type) {
    case OutputType::Bmp:
        return bmp::encode24(boxImage(picture, size));
    case OutputType::Jpg:
        return jpegFile(boxImage(picture, size), jpeg);
    case OutputType::Wmf:
        return picture.placeableMetafile();
    case OutputType::Png:
        return pngFile(picture, size);
    }
    throw FormatError(Code::Unsupported, "no such type of picture file");
}

} // namespace glimmer
