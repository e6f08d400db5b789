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
void writeFileAtomically(const QString& path, std::span<const std::byte> bytes);

} // namespace glimmer
