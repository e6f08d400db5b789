#include "DocumentFile.h"

#include "formats/Metafile.h"
#include "formats/Png.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cstring>
#include <string>

namespace glimmer {

namespace {

using Code = FormatError::Code;

// Windows clipboard formats a preview may come in.
constexpr std::uint32_t CF_METAFILEPICT = 3;
constexpr std::uint32_t CF_DIB = 8;
constexpr std::uint32_t CF_ENHMETAFILE = 14;
// A ClipboardData format of -1: a Windows clipboard format number follows.
constexpr std::int32_t WindowsClipboardFormat = -1;

constexpr std::size_t VersionStreamBytes = 23;

bool startsWith(std::span<const std::byte> data, std::initializer_list<unsigned> prefix)
{
    if (data.size() < prefix.size())
        return false;
    std::size_t i = 0;
    for (const unsigned b : prefix)
        if (std::to_integer<unsigned>(data[i++]) != b)
            return false;
    return true;
}

// A metafile header ([MS-WMF] 2.3.2.2: type 1 or 2, nine words long) or a
// placeable header in front of one.
bool isMetafile(std::span<const std::byte> data)
{
    return startsWith(data, {0x01, 0x00, 0x09, 0x00}) || startsWith(data, {0x02, 0x00, 0x09, 0x00})
           || startsWith(data, {0xD7, 0xCD, 0xC6, 0x9A});
}

// Decodes a raster picture with Qt's reader of `format` alone (no guessing
// from the content), refusing sizes beyond MaxPreviewPixels before any pixel
// memory is taken.
QImage decodeRaster(std::span<const std::byte> data, const char* format)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()),
                                               static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    if (!reader.canRead())
        throw FormatError(Code::Unsupported, "the preview is in a format that cannot be read");
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        throw FormatError(Code::BadValue, "the preview picture is damaged: it has no size");
    if (std::int64_t{size.width()} * size.height() > MaxPreviewPixels)
        throw FormatError(Code::TooLarge, "the preview picture is too large");
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw FormatError(Code::BadValue,
                          "the preview picture is damaged: " + reader.errorString().toStdString());
    return image;
}

// A packed DIB (header, colours, pixels) with a file header in front, as a
// .bmp file holds it, so that Qt can read it.
QImage decodeDib(std::span<const std::byte> dib)
{
    ByteReader r(dib);
    const std::uint32_t headerSize = r.u32le();
    if (headerSize < 12 || headerSize > dib.size())
        throw FormatError(Code::Truncated, "the preview bitmap is damaged: bad header size", 0);
    std::uint64_t colours = 0;
    if (headerSize >= 40) {
        r.seek(14);
        const std::uint16_t bits = r.u16le();
        const std::uint32_t compression = r.u32le();
        r.seek(32);
        const std::uint32_t used = r.u32le();
        colours = used != 0 ? used : (bits <= 8 ? (std::uint64_t{1} << bits) : 0);
        if (headerSize == 40 && (compression == 3 || compression == 6))   // BI_BITFIELDS: masks follow
            colours += compression == 3 ? 3 : 4;
    } else {
        r.seek(10);
        const std::uint16_t bits = r.u16le();
        colours = bits <= 8 ? (std::uint64_t{1} << bits) : 0;
    }
    const std::uint64_t offset = 14 + std::uint64_t{headerSize} + colours * (headerSize >= 40 ? 4 : 3);
    const std::uint64_t total = 14 + std::uint64_t{dib.size()};
    if (offset > total || total > 0xFFFFFFFFu)
        throw FormatError(Code::Truncated, "the preview bitmap is damaged: colours beyond its end", 0);
    std::vector<std::byte> file(static_cast<std::size_t>(total));
    const auto put32 = [&](std::size_t at, std::uint64_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + static_cast<std::size_t>(i)] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
    };
    file[0] = std::byte{'B'};
    file[1] = std::byte{'M'};
    put32(2, total);
    put32(10, offset);
    std::memcpy(file.data() + 14, dib.data(), dib.size());
    return decodeRaster(file, "BMP");
}

// Whether every pixel of an RGBA8888 image is opaque: the alpha bytes ANDed
// together, a word at a time.
bool opaque(const QImage& rgba)
{
    const int width = rgba.width();
    for (int y = 0; y < rgba.height(); ++y) {
        const uchar* row = rgba.constScanLine(y);
        std::uint32_t all = 0xFFFFFFFFu;
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, row + 4 * x, 4);
            all &= pixel;
        }
        std::uint8_t alpha;
        std::memcpy(&alpha, reinterpret_cast<const uchar*>(&all) + 3, 1);
        if (alpha != 0xFF)
            return false;
    }
    return true;
}

// A decoded raster preview, kept as pixels in the format it is shown in.
// Previews are opaque; should one not be, it stands on white paper.
Picture rasterPicture(QImage decoded)
{
    if (decoded.format() == QImage::Format_RGBA8888) {
        if (!opaque(decoded)) {
            // Straight alpha over white, in place: c + (255 - c) * (255 - a) / 255.
            const int width = decoded.width();
            for (int y = 0; y < decoded.height(); ++y) {
                uchar* p = decoded.scanLine(y);
                for (int x = 0; x < width; ++x, p += 4) {
                    const unsigned clear = 255u - p[3];
                    for (int c = 0; c < 3; ++c)
                        p[c] = static_cast<uchar>(p[c] + ((255u - p[c]) * clear + 127u) / 255u);
                    p[3] = 255;
                }
            }
        }
        decoded.reinterpretAsFormat(QImage::Format_RGBX8888);
    } else if (decoded.hasAlphaChannel()) {
        QImage flat(decoded.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, decoded);
        painter.end();
        decoded = flat;
    } else if (decoded.format() != QImage::Format_RGBX8888 && decoded.format() != QImage::Format_RGB32) {
        decoded.convertTo(QImage::Format_RGB32);
    }
    return Picture::fromImage(decoded);
}

Picture metafilePicture(std::span<const std::byte> payload)
{
    const QSize size = wmf::naturalSize(payload);
    if (size.isEmpty() || std::int64_t{size.width()} * size.height() > MaxPreviewPixels)
        throw FormatError(Code::TooLarge, "the preview metafile has an impossible size");
    return Picture::fromMetafile(
        QByteArray(reinterpret_cast<const char*>(payload.data()), static_cast<qsizetype>(payload.size())), size);
}

// The picture in a payload whose kind is told by its first bytes.
Picture fromPayload(std::span<const std::byte> payload)
{
    if (payload.empty())
        throw FormatError(Code::Truncated, "the preview is empty");
    if (png::isPng(payload))
        return rasterPicture(png::decode(payload, MaxPreviewPixels)).withOrigin({}, QStringLiteral("png"));
    if (isMetafile(payload))
        return metafilePicture(payload).withOrigin({}, QStringLiteral("metafile"));
    // Documents hold nothing else; no other format is guessed at.
    throw FormatError(Code::Unsupported, "the preview is in a format that cannot be read");
}

std::string versionPath(const std::string& storage)
{
    return "RSeStorage/" + storage + "/RSeDb";
}

// The picture in clipboard data of `format` whose bytes are `data`.
Picture decodeClipboard(std::int32_t format, std::span<const std::byte> data)
{
    ByteReader r(data);
    Picture picture;
    if (format == WindowsClipboardFormat) {
        const std::uint32_t tag = r.u32le();
        if (tag == CF_METAFILEPICT) {
            r.skip(8);   // METAFILEPICT16: mapping mode, extents, handle
            picture = fromPayload(r.take(r.remaining()));
        } else if (tag == CF_DIB) {
            picture = rasterPicture(decodeDib(r.take(r.remaining()))).withOrigin({}, QStringLiteral("dib"));
        } else if (tag == CF_ENHMETAFILE) {
            throw FormatError(Code::Unsupported, "the preview is an enhanced metafile, which cannot be read");
        } else {
            picture = fromPayload(r.take(r.remaining()));
        }
    } else {
        picture = fromPayload(r.take(r.remaining()));
    }
    // Play it once now: a metafile that cannot be drawn is no preview, and
    // the pixels are kept with the picture for whoever shows it.
    if (picture.toImage().isNull())
        throw FormatError(Code::BadValue, "the preview metafile is damaged");
    return picture;
}

// Property 17 of the section with `set`'s FMTID, viewing the stream's bytes.
std::optional<oleps::ClipboardData> thumbnailIn(const oleps::PropertySetStream& sets, const KnownPropertySet& set)
{
    const oleps::Section* section = sets.section(set.fmtid);
    if (!section || !section->has(oleps::PID_THUMBNAIL))
        return std::nullopt;
    return section->clipboard(oleps::PID_THUMBNAIL);
}

// The picture in property 17 of a property set stream, decoded where it lies.
std::optional<Picture> pictureIn(std::span<const std::byte> stream, const KnownPropertySet& set)
{
    const oleps::PropertySetStream sets(stream);
    const auto cf = thumbnailIn(sets, set);
    if (!cf)
        return std::nullopt;
    const Picture picture = decodeClipboard(cf->format, cf->data);
    return picture.withOrigin(QString::fromUtf8(set.label), picture.format());
}

} // namespace

Picture decodePreview(std::span<const std::byte> clipboardData)
{
    ByteReader r(clipboardData);
    const std::int32_t format = r.i32le();
    return decodeClipboard(format, clipboardData.subspan(4));
}

std::optional<std::vector<std::byte>> previewIn(std::span<const std::byte> stream, const KnownPropertySet& set)
{
    const oleps::PropertySetStream sets(stream);
    const auto cf = thumbnailIn(sets, set);
    if (!cf)
        return std::nullopt;
    std::vector<std::byte> bytes(4 + cf->data.size());
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] =
            static_cast<std::byte>((static_cast<std::uint32_t>(cf->format) >> (8 * i)) & 0xFF);
    std::copy(cf->data.begin(), cf->data.end(), bytes.begin() + 4);
    return bytes;
}

Picture firstPreview(std::span<const LoadedPropertySet> sets)
{
    for (const LoadedPropertySet& loaded : sets) {
        if (!loaded.stream)
            continue;
        if (auto picture = pictureIn(*loaded.stream, loaded.set))
            return *picture;
    }
    throw FormatError(Code::NotFound, "the document has no preview");
}

DocumentFile::DocumentFile(const QString& path) : file_(path.toStdString()) {}

std::int32_t DocumentFile::versionNumber() const
{
    std::vector<std::string> names;
    try {
        names = file_.names("RSeStorage");
    } catch (const FormatError& e) {
        if (e.code() == Code::NotFound)
            throw FormatError(Code::NotFound, "the document has no version stream");
        throw;
    }
    // The revisions V1, V2, ...: the newest one counts.
    std::vector<std::pair<std::uint32_t, std::string>> revisions;
    for (const std::string& name : names) {
        if (name.size() < 2 || name.size() > 10 || name[0] != 'V')
            continue;
        if (!std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        revisions.emplace_back(static_cast<std::uint32_t>(std::stoul(name.substr(1))), name);
    }
    std::sort(revisions.begin(), revisions.end(), std::greater<>());
    for (const auto& [n, name] : revisions) {
        std::vector<std::byte> head;
        try {
            head = file_.read(versionPath(name), VersionStreamBytes);
        } catch (const FormatError& e) {
            if (e.code() == Code::NotFound)
                continue;
            throw;
        }
        if (head.size() < VersionStreamBytes)
            throw FormatError(Code::Truncated, "the version stream is too short", head.size());
        ByteReader r(head, 20);
        const std::uint16_t update = r.u16le();
        const std::uint8_t release = r.u8();
        return std::int32_t{release} * 1000 + update;
    }
    throw FormatError(Code::NotFound, "the document has no version stream");
}

std::optional<std::vector<std::byte>> DocumentFile::propertySetStream(const KnownPropertySet& set) const
{
    const auto matches = [&](const std::vector<std::byte>& head) {
        const auto id = oleps::PropertySetStream::peekFmtid(head);
        return id && *id == set.fmtid;
    };
    if (file_.contains(set.streamName)) {
        auto bytes = file_.read(set.streamName);
        if (matches(bytes))
            return bytes;
    }
    // Not under its usual name: look at the first section of every property set.
    constexpr std::size_t HeadBytes = 48;
    for (const std::string& name : file_.names()) {
        if (name.empty() || name[0] != '\x05' || name == set.streamName)
            continue;
        if (matches(file_.read(name, HeadBytes)))
            return file_.read(name);
    }
    return std::nullopt;
}

Picture DocumentFile::preview(std::initializer_list<KnownPropertySet> sets) const
{
    for (const KnownPropertySet& set : sets) {
        const auto stream = propertySetStream(set);
        if (!stream)
            continue;
        if (auto picture = pictureIn(*stream, set))
            return *picture;
    }
    throw FormatError(Code::NotFound, "the document has no preview");
}

} // namespace glimmer
