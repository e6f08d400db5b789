#pragma once

#include "preview/Components.h"

#include <QImage>
#include <QString>

namespace glimmer {

// A document's preview as a file manager's thumbnail wants it.
struct ThumbnailResult {
    enum class Status {
        Ok,          // `image` holds the preview
        NoPreview,   // the document has no usable preview
        Unreadable,  // the file cannot be read as a document
    };
    Status status = Status::Unreadable;
    QImage image;
    QString error;   // names the file and the reason when not Ok
};

// The preview of the document at `path`, fetched through `components` as the
// window fetches it (the version decides between the document's thumbnail
// and the property set's picture), scaled down to fit `size` × `size` pixels
// keeping its shape; never scaled up; 0 keeps the natural size.
ThumbnailResult readThumbnail(Components& components, const QString& path, int size);

} // namespace glimmer
