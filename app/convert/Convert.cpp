#include "app/convert/Convert.h"

#include "formats/BitmapFile.h"
#include "formats/FormatError.h"
#include "formats/Png.h"
#include "jpeg/IJL.h"
#include "preview/Box.h"
#include "preview/Fetch.h"

#include <filesystem>
#include <limits>
#include <stdexcept>
#include <system_error>

#include <sys/stat.h>

namespace glimmer::convert {

namespace {

// The box image as the window's Save and batch write it: the picture fitted
// into the box, centred, on the box's white background.
Image boxImage(const Picture& picture, int size)
{
    return renderBox(picture, size > 0 ? Size{size, size} : picture.size(), White);
}

// The window's JPEG export: the box image as a 24-bit bitmap, whose rows
// (bottom-up, padded to four bytes) the JPEG writer encodes where they lie,
// as it encodes them from the DIB section it loads that bitmap into.
Bytes jpegFile(const Image& image)
{
    const Bytes bitmap = bmp::encode24(image);
    const bmp::FileInfo info = bmp::readInfo(bitmap);
    const std::int64_t stride = bmp::strideOf(info.width, info.bitCount);
    if (stride > std::numeric_limits<std::int32_t>::max())
        throw std::overflow_error("Overflow");
    return ijlEncodeDib(bitmap.data() + info.pixelOffset, info.width, info.height, static_cast<std::int32_t>(stride));
}

// The thumbnailer's PNG.
Bytes pngFile(const Picture& picture, int size)
{
    const Image image = thumbnailImage(picture, size);
    if (image.isNull())
        throw std::runtime_error("the preview cannot be drawn as a PNG");
    return png::encode(image);
}

bool modifiedAfter(const struct stat& a, const struct stat& b)
{
    if (a.st_mtim.tv_sec != b.st_mtim.tv_sec)
        return a.st_mtim.tv_sec > b.st_mtim.tv_sec;
    return a.st_mtim.tv_nsec > b.st_mtim.tv_nsec;
}

ConvertedDocument failed(const std::string& reason)
{
    ConvertedDocument r;
    r.status = ConvertedDocument::Status::Failed;
    r.reason = reason;
    return r;
}

} // namespace

Bytes pictureFile(const Picture& picture, OutputType type, int size)
{
    switch (type) {
    case OutputType::Bmp:
        return bmp::encode24(boxImage(picture, size));
    case OutputType::Jpg:
        return jpegFile(boxImage(picture, size));
    case OutputType::Wmf:
        return picture.placeableMetafile();
    case OutputType::Png:
        return pngFile(picture, size);
    }
    return {};
}

bool isUpToDate(const std::string& document, const std::string& picture)
{
    struct stat doc{};
    struct stat pic{};
    if (::stat(picture.c_str(), &pic) != 0 || !S_ISREG(pic.st_mode))
        return false;
    if (::stat(document.c_str(), &doc) != 0)
        return false;
    return modifiedAfter(pic, doc);
}

StagedDocument convertOne(const Job& job, Components& components, const Options& options)
{
    if (!job.problem.empty())
        return {failed(job.problem), {}};
    if (!options.force && isUpToDate(job.document, job.output)) {
        ConvertedDocument r;
        r.status = ConvertedDocument::Status::UpToDate;
        return {r, {}};
    }

    FetchedPreview fetched = fetchPreview(components, job.document);
    StagedDocument staged;
    ConvertedDocument& r = staged.result;
    r.version = fetched.version;
    r.source = fetched.source;
    r.kind = fetched.format;
    r.size = fetched.picture.size();
    switch (fetched.status) {
    case FetchedPreview::Status::Unreadable:
        r.status = ConvertedDocument::Status::Failed;
        r.reason = fetched.reason;
        return staged;
    case FetchedPreview::Status::NoPreview:
        r.status = ConvertedDocument::Status::NoPreview;
        r.reason = fetched.reason;
        return staged;
    case FetchedPreview::Status::Ok:
        break;
    }

    try {
        const Bytes bytes = pictureFile(fetched.picture, options.type, options.size);
        // The preview is not needed any longer: one picture per job at a time.
        fetched.picture = Picture();
        if (!options.dryRun) {
            const std::filesystem::path folder(folderOf(job.output));
            std::error_code ec;
            if (!options.outputDir.empty() && !std::filesystem::is_directory(folder, ec)
                && (std::filesystem::create_directories(folder, ec), ec)) {
                r.status = ConvertedDocument::Status::Failed;
                r.reason = "cannot make the folder \"" + folder.native() + "\": " + ec.message();
                return staged;
            }
            staged.picture = StagedFile::stage(job.output, bytes);
        }
    } catch (const IjlError& e) {
        r.status = ConvertedDocument::Status::Failed;
        r.reason = ijlErrorMessage(e.what(), e.code());
        return staged;
    } catch (const std::exception& e) {
        r.status = ConvertedDocument::Status::Failed;
        r.reason = e.what();
        return staged;
    }
    r.status = ConvertedDocument::Status::Written;
    return staged;
}

ConvertedDocument commit(StagedDocument document)
{
    if (document.picture) {
        try {
            document.picture->commit();
        } catch (const FileError& e) {
            document.result.status = ConvertedDocument::Status::Failed;
            document.result.reason = e.what();
        }
    }
    return std::move(document.result);
}

} // namespace glimmer::convert
