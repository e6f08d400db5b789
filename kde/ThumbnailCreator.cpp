// The KIO thumbnail plugin: Dolphin's (and every KIO file dialog's) previews
// of the five document types. The engine reads the document and scales its
// preview; the result is wrapped as a QImage here, at the edge, without a
// copy. It runs inside KIO's thumbnail worker, which serves one file after
// another: nothing may escape it, and no state is kept from one file to the next.
#include "formats/Image.h"
#include "platform/Heap.h"
#include "preview/Box.h"
#include "preview/Fetch.h"
#include "preview/FileComponents.h"

#include <KIO/ThumbnailCreator>
#include <KPluginFactory>

#include <QFile>
#include <QImage>
#include <QSize>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

namespace {

QImage::Format qtFormat(glimmer::PixelFormat format)
{
    switch (format) {
    case glimmer::PixelFormat::Xrgb32: return QImage::Format_RGB32;
    case glimmer::PixelFormat::Argb32: return QImage::Format_ARGB32;
    case glimmer::PixelFormat::Rgbx8888: return QImage::Format_RGBX8888;
    case glimmer::PixelFormat::Rgba8888: return QImage::Format_RGBA8888;
    }
    return QImage::Format_Invalid;
}

void release(void* image)
{
    delete static_cast<glimmer::Image*>(image);
}

// The engine's image as a QImage over the same pixels, alpha as it is; the
// QImage keeps a copy of the engine image, and so its pixels, alive.
QImage wrap(const glimmer::Image& image)
{
    auto* keep = new glimmer::Image(image);
    return QImage(reinterpret_cast<const uchar*>(keep->row(0)), keep->width(), keep->height(),
                  static_cast<int>(keep->stride()), qtFormat(keep->format()), release, keep);
}

// Whether `path` names a regular file. Opened without blocking, so that a
// FIFO is refused at once rather than waited on for a writer.
bool isRegularFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular;
}

} // namespace

class GlimmerboxThumbnailCreator : public KIO::ThumbnailCreator {
public:
    GlimmerboxThumbnailCreator(QObject* parent, const QVariantList& args) : KIO::ThumbnailCreator(parent, args)
    {
        // The worker makes one thumbnail after another, each taking and
        // freeing blocks of the same few sizes (the document, the picture,
        // the scaled one). Left to the C library's defaults they go back to
        // the system after each file and the next touches fresh pages, which
        // costs several times the work itself (1.3 ms against 0.1 ms for a
        // 180-pixel metafile preview on a virtual machine). Up to 8 MiB of
        // freed memory is kept for the next file instead.
        glimmer::keepFreedMemoryForReuse(8 << 20);
    }

    // The preview scaled down to fit the requested size, never up; a failure
    // (Dolphin keeps the type's icon) for anything but a readable document
    // with a preview, out of memory included.
    KIO::ThumbnailResult create(const KIO::ThumbnailRequest& request) override
    {
        try {
            // A remote address has no local path: refused here like a missing file.
            const QByteArray path = QFile::encodeName(request.url().toLocalFile());
            if (!isRegularFile(path))
                return KIO::ThumbnailResult::fail();
            glimmer::FileComponents components;
            const glimmer::FetchedPreview fetched = glimmer::fetchPreview(components, path.toStdString());
            if (fetched.status != glimmer::FetchedPreview::Status::Ok)
                return KIO::ThumbnailResult::fail();
            const QSize box = request.targetSize();
            const int side = std::max(1, std::min(box.width(), box.height()));
            const glimmer::Image image = glimmer::thumbnailImage(fetched.picture, side);
            if (image.isNull())
                return KIO::ThumbnailResult::fail();
            return KIO::ThumbnailResult::pass(wrap(image));
        } catch (...) {   // std::bad_alloc above all: the worker goes on with the next file
            return KIO::ThumbnailResult::fail();
        }
    }
};

K_PLUGIN_CLASS_WITH_JSON(GlimmerboxThumbnailCreator, "glimmerboxthumbnail.json")

#include "ThumbnailCreator.moc"
