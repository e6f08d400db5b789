#include "Fetch.h"

#include "platform/PictureBox.h"
#include "platform/RuntimeError.h"

namespace glimmer {

namespace {

template <typename T>
T& required(T* object)
{
    if (!object)
        throw RuntimeError(RuntimeError::ObjectNotSet, QStringLiteral("Object variable not set"));
    return *object;
}

} // namespace

void fetchPreview(ErrorRecord& errors, Document* document, const QString& path,
                  const std::function<PropertyReader*()>& propertyReader,
                  std::shared_ptr<PropertySet>& propertySet, PictureBox& box)
{
    std::int32_t version = 0;
    // A version that cannot be read goes the thumbnail way, like a new document.
    const bool known = errors.step([&] { version = required(document).VersionNumber(); });
    if (!known || version >= ThumbnailVersion) {
        errors.step([&] { box.setPicture(required(document).Thumbnail()); });
        return;
    }
    PropertyReader* reader = nullptr;
    errors.step([&] { reader = propertyReader(); });
    // The previous document's set must never stand in for this one's.
    propertySet.reset();
    errors.step([&] { propertySet = required(reader).OpenPropertySets(path); });
    errors.step([&] { box.setPicture(required(propertySet.get()).PreviewPicture()); });
}

} // namespace glimmer
