#pragma once

#include "app/convert/Options.h"
#include "app/convert/Plan.h"
#include "formats/Image.h"
#include "system/Files.h"
#include "preview/Components.h"
#include "preview/Picture.h"

#include <cstdint>
#include <optional>
#include <string>

namespace glimmer::convert {

// What became of one document.
struct ConvertedDocument {
    enum class Status { Written, UpToDate, NoPreview, Failed };
    Status status = Status::Failed;
    std::string reason;                  // why, for NoPreview and Failed
    std::optional<std::int32_t> version; // when the document was read and has one
    std::string source;                  // where the preview was found
    std::string kind;                    // "metafile" or "png" (or "dib")
    Size size;                           // the preview's pixel size
};

// The picture file of `type` for `picture`, byte for byte as the window's
// batch writes it (bmp, jpg: the box image of `size` × `size`, 0: the
// picture's own size; wmf: the picture in its own form) or as the
// thumbnailer writes it (png: scaled down to fit `size`, never up). Raises
// FormatError, IjlError or another std::exception whose text says why.
Bytes pictureFile(const Picture& picture, OutputType type, int size);

// Whether the file at `picture` exists and is newer than `document`. Reads
// the file dates only.
bool isUpToDate(const std::string& document, const std::string& picture);

// A document converted but for its picture, which is staged beside its
// place and not yet in it (none in a dry run).
struct StagedDocument {
    ConvertedDocument result;
    std::optional<StagedFile> picture;
};

// Converts one document with `components` (one set per thread): skips it
// when its picture is up to date (unless forced), reads its preview, stages
// the picture (unless a dry run) and makes the missing folders of an output
// folder. Never raises.
StagedDocument convertOne(const Job& job, Components& components, const Options& options);

// Puts a staged picture in place. What became of the document is final only
// then: a picture that cannot be put in place (a full disk, a failed sync)
// makes it failed, with the reason, and leaves the old picture as it was.
// Never raises.
ConvertedDocument commit(StagedDocument document);

} // namespace glimmer::convert
