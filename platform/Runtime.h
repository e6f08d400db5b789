#pragma once

#include <QImage>
#include <QString>

#include <cstddef>
#include <span>

namespace glimmer {

// Writes `image` as a 24-bit uncompressed Windows bitmap file at `path`.
// Raises RuntimeError naming the path and the reason; an existing file
// survives a failed write unchanged.
void SavePicture(const QImage& image, const QString& path);

// Deletes a file. Raises RuntimeError: FileNotFound when it is absent,
// PathFileAccess for a folder, PermissionDenied when it cannot be removed.
void Kill(const QString& path);

// Lets the event loop process the events that are waiting.
void DoEvents();

// Makes `bytes` the whole content of the file at `path`, through a temporary
// file in the same folder that is renamed over it: a failure leaves any
// existing file as it was. Raises RuntimeError (PathNotFound,
// PermissionDenied or PathFileAccess) naming the path and the reason.
//
// Only a regular file is ever replaced. A folder, a FIFO, a device or a socket
// at `path` is refused (PathFileAccess) and left as it is. A symbolic link is
// written through: when its final target is a regular file, that file is
// replaced (its temporary file lies in the target's folder) and the link
// stays; a link that leads nowhere, or to anything but a regular file, is
// refused.
void writeFileAtomically(const QString& path, std::span<const std::byte> bytes);

// `text` fit for a one-line message: control characters (C0, DEL, C1), which
// names taken from documents and paths may hold, written out as \xNN.
QString printable(const QString& text);

} // namespace glimmer
