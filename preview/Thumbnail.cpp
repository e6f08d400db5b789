#include "Thumbnail.h"

#include "preview/Fetch.h"
#include "platform/RuntimeError.h"

#include <QFileInfo>

namespace glimmer {

namespace {

ThumbnailResult failure(ThumbnailResult::Status status, const QString& text)
{
    ThumbnailResult r;
    r.status = status;
    r.error = text;
    return r;
}

} // namespace

ThumbnailResult readThumbnail(Components& components, const QString& path, int size)
{
    std::shared_ptr<Document> document;
    const auto server = components.createDocumentServer();
    try {
        document = server->OpenDocument(path);
    } catch (const RuntimeError& e) {
        return failure(ThumbnailResult::Status::Unreadable, e.text());
    }

    Picture picture;
    QString reason;
    try {
        bool thumbnailWay = true;
        try {
            thumbnailWay = document->VersionNumber() >= ThumbnailVersion;
        } catch (const RuntimeError&) {
            // As in the window: a version that cannot be read goes the thumbnail way.
        }
        if (thumbnailWay) {
            picture = document->Thumbnail();
        } else {
            const auto reader = components.createPropertyReader();
            picture = reader->OpenPropertySets(path)->PreviewPicture();
        }
    } catch (const RuntimeError& e) {
        reason = e.text();
    }
    document.reset();
    server->CloseAll();

    const QImage image = picture.toImage();
    if (image.isNull())
        return failure(ThumbnailResult::Status::NoPreview,
                       reason.isEmpty() ? QStringLiteral("%1: the preview cannot be drawn").arg(QFileInfo(path).fileName())
                                        : reason);
    ThumbnailResult r;
    r.status = ThumbnailResult::Status::Ok;
    const bool shrink = size > 0 && (image.width() > size || image.height() > size);
    r.image = shrink ? image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation) : image;
    return r;
}

} // namespace glimmer
