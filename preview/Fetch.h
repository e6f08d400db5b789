#pragma once

#include "preview/Components.h"
#include "platform/ErrorRecord.h"

#include <functional>
#include <memory>

namespace glimmer {

class PictureBox;

// Documents of this version or later carry their own thumbnail; older ones
// keep their preview in the property sets.
inline constexpr std::int32_t ThumbnailVersion = 6000;

// The version test and the picture fetch, run inside the caller's region:
// each failing step leaves its number in `errors` and the next one runs.
// `propertyReader` gives the reader to use when the document is older than
// ThumbnailVersion; `propertySet` receives the set it opens.
void fetchPreview(ErrorRecord& errors, Document* document, const QString& path,
                  const std::function<PropertyReader*()>& propertyReader,
                  std::shared_ptr<PropertySet>& propertySet, PictureBox& box);

} // namespace glimmer
