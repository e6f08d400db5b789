#include "app/convert/Convert.h"

#include "formats/BitmapFile.h"
#include "formats/FormatError.h"
#include "formats/Png.h"
#include "imaging/Helpers.h"
#include "platform/Checked.h"
#include "platform/PictureBox.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "preview/Fetch.h"
#include "preview/Thumbnail.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <span>
#include <system_error>

#include <sys/stat.h>

namespace glimmer::convert {

namespace {

std::span<const std::byte> bytesOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::byte*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

// The box image as the window's Save and batch write it: the picture fitted
// into the box, centred, on the box's background (white, the palette's Base).
QImage boxImage(const Picture& picture, int size)
{
    const QSize box = size > 0 ? QSize(size, size) : picture.size();
    return PictureBox::render(picture, box, Qt::white);
}

// The window's JPEG export: the box image as a 24-bit bitmap, whose rows
// (bottom-up, padded to four bytes) the JPEG writer encodes where they lie,
// as it encodes them from the DIB section it loads that bitmap into.
QByteArray jpegFile(const QImage& image)
{
    const QByteArray bitmap = bmp::encode24(image);
    const bmp::FileInfo info = bmp::readInfo(bytesOf(bitmap));
    const std::int32_t stride = checked::narrow<std::int32_t>(bmp::strideOf(info.width, info.bitCount));
    return EncodeDibAsJpeg(bytesOf(bitmap).data() + info.pixelOffset, info.width, info.height, stride);
}

// The thumbnailer's PNG.
QByteArray pngFile(const Picture& picture, int size)
{
    const QImage image = thumbnailImage(picture, size);
    if (image.isNull())
        throw RuntimeError(RuntimeError::InvalidPicture, QStringLiteral("the preview cannot be drawn as a PNG"));
    return png::encode(image);
}

bool modifiedAfter(const struct stat& a, const struct stat& b)
{
    if (a.st_mtim.tv_sec != b.st_mtim.tv_sec)
        return a.st_mtim.tv_sec > b.st_mtim.tv_sec;
    return a.st_mtim.tv_nsec > b.st_mtim.tv_nsec;
}

ConvertedDocument failed(const QString& reason)
{
    ConvertedDocument r;
    r.status = ConvertedDocument::Status::Failed;
    r.reason = reason;
    return r;
}

} // namespace

QByteArray pictureFile(const Picture& picture, OutputType type, int size)
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

bool isUpToDate(const QString& document, const QString& picture)
{
    struct stat doc{};
    struct stat pic{};
    if (::stat(QFile::encodeName(picture).constData(), &pic) != 0 || !S_ISREG(pic.st_mode))
        return false;
    if (::stat(QFile::encodeName(document).constData(), &doc) != 0)
        return false;
    return modifiedAfter(pic, doc);
}

StagedDocument convertOne(const Job& job, Components& components, const Options& options)
{
    if (!job.problem.isEmpty())
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
        const QByteArray bytes = pictureFile(fetched.picture, options.type, options.size);
        // The preview is not needed any longer: one picture per job at a time.
        fetched.picture = Picture();
        if (!options.dryRun) {
            const std::filesystem::path folder =
                std::filesystem::path(QFile::encodeName(QFileInfo(job.output).path()).toStdString());
            std::error_code ec;
            if (!options.outputDir.isEmpty() && !std::filesystem::is_directory(folder, ec)
                && (std::filesystem::create_directories(folder, ec), ec)) {
                r.status = ConvertedDocument::Status::Failed;
                r.reason = QStringLiteral("cannot make the folder \"%1\": %2")
                               .arg(QFile::decodeName(QByteArray::fromStdString(folder.native())),
                                    QString::fromLocal8Bit(ec.message()));
                return staged;
            }
            staged.picture = StagedFile::stage(job.output, bytesOf(bytes));
        }
    } catch (const RuntimeError& e) {
        r.status = ConvertedDocument::Status::Failed;
        r.reason = e.text();
        return staged;
    } catch (const JpegLibraryError& e) {
        r.status = ConvertedDocument::Status::Failed;
        r.reason = JpegErrorMessage(e.text(), e.code());
        return staged;
    } catch (const std::exception& e) {
        r.status = ConvertedDocument::Status::Failed;
        r.reason = QString::fromUtf8(e.what());
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
        } catch (const RuntimeError& e) {
            document.result.status = ConvertedDocument::Status::Failed;
            document.result.reason = e.text();
        }
    }
    return std::move(document.result);
}

} // namespace glimmer::convert
