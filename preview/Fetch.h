#pragma once

#include "preview/Components.h"

#include <string>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace glimmer {

// Documents of this version or later carry their own thumbnail; older ones
// keep their preview in the property sets.
inline constexpr std::int32_t ThumbnailVersion = 6000;

// What fetching one document's preview gave.
struct FetchedPreview {
    enum class Status { Ok, NoPreview, Unreadable };
    Status status = Status::Unreadable;
    Picture picture;                       // Ok: the preview; otherwise empty
    std::string reason;                    // not Ok: why, without the file's name in front
    std::optional<std::int32_t> version;   // nullopt when it could not be read
    std::string displayName;               // the document's display name when it could be read
    std::string source;                    // where the preview was found, e.g. "CAD summary set"; empty when unknown
    std::string format;                    // "png", "metafile" or "dib"; empty when unknown
    bool outOfMemory = false;              // not Ok because memory ran out
};

// The version test and the picture fetch of an open `document` (null when it
// could not be opened): version >= ThumbnailVersion, or a version that cannot
// be read, takes the document's thumbnail; below it, the picture of the
// property set that `propertyReader()` opens for `path`, kept in
// `propertySet`. Leaves displayName empty: reading it is the caller's step.
FetchedPreview fetchPreview(Document* document, const std::string& path,
                            const std::function<PropertyReader*()>& propertyReader,
                            std::shared_ptr<PropertySet>& propertySet);

// Opens the document through `components`, fetches its preview as above,
// reads its display name and closes it. Never throws for a bad document.
// Safe to call on several threads at once with one Components per thread.
FetchedPreview fetchPreview(Components& components, const std::string& path);

} // namespace glimmer
