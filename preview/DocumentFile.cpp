#include "DocumentFile.h"

#include "formats/Dib.h"
#include "formats/Metafile.h"
#include "formats/Png.h"
#include "system/FileSource.h"

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

// A packed DIB (header, colours, pixels), as the clipboard holds it.
Image decodeDib(std::span<const std::byte> dib)
{
    dib::Options options;
    options.maxPixels = MaxPreviewPixels;
    try {
        return dib::decode(dib, options);
    } catch (const FormatError& e) {
        throw FormatError(e.code(), std::string("the preview bitmap cannot be read: ") + e.what(), e.offset());
    }
}

// A decoded raster preview, kept as pixels in the format it is shown in.
// Previews are opaque; should one not be, it stands on white paper.
Picture rasterPicture(Image decoded)
{
    flattenOnWhite(decoded);
    return Picture::fromImage(std::move(decoded));
}

Picture metafilePicture(std::span<const std::byte> payload)
{
    const Size size = wmf::naturalSize(payload);
    if (size.isEmpty() || std::int64_t{size.width} * size.height > MaxPreviewPixels)
        throw FormatError(Code::TooLarge, "the preview metafile has an impossible size");
    return Picture::fromMetafile(Bytes(payload.begin(), payload.end()), size);
}

// The picture in a payload whose kind is told by its first bytes.
Picture fromPayload(std::span<const std::byte> payload)
{
    if (payload.empty())
        throw FormatError(Code::Truncated, "the preview is empty");
    if (png::isPng(payload))
        return rasterPicture(png::decode(payload, MaxPreviewPixels)).withOrigin({}, "png");
    if (isMetafile(payload))
        return metafilePicture(payload).withOrigin({}, "metafile");
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
            picture = rasterPicture(decodeDib(r.take(r.remaining()))).withOrigin({}, "dib");
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
    return picture.withOrigin(set.label, picture.format());
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

DocumentFile::DocumentFile(const std::string& path) : DocumentFile(CompoundFile(openFileSource(path))) {}

// A preview stream that is damaged makes a document that cannot be read, not
// one without a preview: its chain is checked here, which reads only the
// allocation table sectors the preview's read needs anyway.
DocumentFile::DocumentFile(CompoundFile file) : file_(std::move(file))
{
    for (const KnownPropertySet& set : {CadSummarySet, StandardSummarySet})
        if (file_.isStream(set.streamName))
            file_.check(set.streamName);
}

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
    // A storage may bear a property set's name too (a non-simple property
    // set is kept in one): only streams are read.
    if (file_.isStream(set.streamName)) {
        auto bytes = file_.read(set.streamName);
        if (matches(bytes))
            return bytes;
    }
    // Not under its usual name: look at the first section of every property set.
    constexpr std::size_t HeadBytes = 48;
    for (const std::string& name : file_.names()) {
        if (name.empty() || name[0] != '\x05' || name == set.streamName || !file_.isStream(name))
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

Picture DocumentFile::thumbnail() const
{
    return preview({CadSummarySet, StandardSummarySet});
}

std::vector<LoadedPropertySet> DocumentFile::summarySets() const
{
    std::vector<LoadedPropertySet> sets;
    for (const KnownPropertySet& set : {StandardSummarySet, CadSummarySet})
        sets.push_back({set, propertySetStream(set)});
    return sets;
}

} // namespace glimmer
