#pragma once

#include "formats/ByteSource.h"
#include "preview/Fetch.h"

#include <string>
#include <string_view>

namespace glimmer {

// The engine's plain entry: the preview, version and display name of the
// document whose bytes `source` gives, read as the window's components read
// them (the thumbnail from ThumbnailVersion on, or when the version cannot
// be read; the property sets' picture below it). Never throws: a bad
// document, a failing source or running out of memory is Unreadable or
// NoPreview with the reason. `displayName` is the name given to a document
// that opens. Safe to call on several threads at once, each with its own
// source.
FetchedPreview readDocument(ByteSource& source, std::string_view displayName);

// The same for the file at `path` (UTF-8), opened here and closed before it
// returns; its display name is the path's last part. A path that cannot be
// opened, or is not a regular file, is Unreadable with the reason.
FetchedPreview readDocumentFile(const std::string& path);

} // namespace glimmer
