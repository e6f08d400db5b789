// The KIO thumbnail plugin: Dolphin's (and every KIO file dialog's) previews
// of the five document types. The engine reads the document and scales its
// preview; the result is wrapped as a QImage here, at the edge, without a
// copy. It runs inside KIO's thumbnail worker, which serves one file after
// another: nothing may escape it, and no state is kept from one file to the next.
#include "formats/Image.h"
#include "system/Heap.h"
#include "platform/qt/QtImage.h"
#include "preview/Box.h"
#include "preview/Fetch.h"
#include "preview/FileComponents.h"

#include <KIO/ThumbnailCreator>
#include <KPluginFactory>

#include <QFile>
#include <QImage>
#include <QSize>
#include <QUrl>

#include <algorithm>
#include <string>

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
            // A remote address has no local path: refused like a missing
            // file. The engine refuses a folder, a FIFO (opened without
            // blocking) or any other file that is not a regular one.
            const QByteArray path = QFile::encodeName(request.url().toLocalFile());
            glimmer::FileComponents components;
            const glimmer::FetchedPreview fetched = glimmer::fetchPreview(components, path.toStdString());
            if (fetched.status != glimmer::FetchedPreview::Status::Ok)
                return KIO::ThumbnailResult::fail();
            const QSize box = request.targetSize();
            const int side = std::max(1, std::min(box.width(), box.height()));
            const glimmer::Image image = glimmer::thumbnailImage(fetched.picture, side);
            if (image.isNull())
                return KIO::ThumbnailResult::fail();
            return KIO::ThumbnailResult::pass(glimmer::toQImage(image));
        } catch (...) {   // std::bad_alloc above all: the worker goes on with the next file
            return KIO::ThumbnailResult::fail();
        }
    }
};

K_PLUGIN_CLASS_WITH_JSON(GlimmerboxThumbnailCreator, "glimmerboxthumbnail.json")

#include "ThumbnailCreator.moc"
