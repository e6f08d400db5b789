#pragma once

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

#include <memory>

class QPainter;

namespace glimmer {

// A picture as a picture box holds it: empty, raster (a decoded image) or
// metafile (the bytes of a Windows metafile and its natural pixel size).
// Copies share their data; a picture never changes once made.
class Picture {
public:
    enum class Kind { Empty, Raster, Metafile };

    Picture() = default;
    // `image` is kept as it is: it should already be in the format it is
    // shown in (RGB32, or RGBX8888 as a PNG decodes).
    static Picture fromImage(const QImage& image);
    // `bytes` is a Windows metafile, placeable or not. Where the caller
    // already has the pixels the metafile plays to, `played` saves playing it.
    static Picture fromMetafile(const QByteArray& bytes, QSize naturalSize, const QImage& played = {});

    Kind kind() const noexcept { return kind_; }
    bool isEmpty() const noexcept { return kind_ == Kind::Empty; }
    // Natural size in pixels; empty for an empty picture.
    QSize size() const noexcept { return size_; }

    // The raster of a raster picture; null otherwise.
    const QImage& image() const noexcept { return image_; }
    // The metafile bytes of a metafile picture; empty otherwise.
    const QByteArray& metafile() const noexcept { return metafile_; }

    // The picture at its natural size as pixels (a metafile is played once
    // and the result kept). Null for an empty picture or an unplayable metafile.
    QImage toImage() const;

    // Draws the picture stretched into `target`, smoothly filtered.
    void draw(QPainter& painter, const QRectF& target) const;

    // The picture as a standalone .wmf file: a metafile made placeable; a
    // raster picture wrapped as one 24-bit bitmap record that plays back to
    // exactly its pixels. Raises RuntimeError for an empty picture.
    QByteArray placeableMetafile() const;

    // Where the picture was found and what it was stored as ("png",
    // "metafile", "dib"); empty when unknown.
    const QString& source() const noexcept { return source_; }
    const QString& format() const noexcept { return format_; }
    Picture withOrigin(const QString& source, const QString& format) const;

private:
    Kind kind_ = Kind::Empty;
    QSize size_;
    QImage image_;
    QByteArray metafile_;
    std::shared_ptr<QImage> played_;   // cache of the played metafile
    QString source_;
    QString format_;
};

} // namespace glimmer
