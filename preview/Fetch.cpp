#include "preview/Fetch.h"

#include "formats/FormatError.h"

#include <utility>

namespace glimmer {

namespace {

template <typename T>
T& required(T* object)
{
    if (!object)
        throw FormatError(FormatError::Code::NotFound, "Object variable not set");
    return *object;
}

// Runs one step of the fetch; a failure becomes the result's reason.
template <typename Step>
bool attempt(FetchedPreview& result, Step&& step)
{
    return guarded(std::forward<Step>(step), [&](StepFailure failure) { result.reason = std::move(failure.reason); });
}

} // namespace

FetchedPreview fetchPreview(Document* document, const std::string& path,
                            const std::function<PropertyReader*()>& propertyReader,
                            std::shared_ptr<PropertySet>& propertySet)
{
    FetchedPreview result;
    result.status = FetchedPreview::Status::NoPreview;
    Picture picture;
    bool read = false;
    // A version that cannot be read goes the thumbnail way, like a new document;
    // its error is no reason once the thumbnail reads.
    FetchedPreview versionRead;
    if (attempt(versionRead, [&] { result.version = required(document).VersionNumber(); })
        && *result.version < ThumbnailVersion) {
        PropertyReader* reader = nullptr;
        // The previous document's set must never stand in for this one's.
        propertySet.reset();
        read = attempt(result, [&] {
            reader = propertyReader();
            propertySet = required(reader).OpenPropertySets(path);
            picture = required(propertySet.get()).PreviewPicture();
        });
    } else {
        read = attempt(result, [&] { picture = required(document).Thumbnail(); });
    }
    if (!read)
        return result;
    if (picture.toImage().isNull()) {
        result.reason = "the preview cannot be drawn";
        return result;
    }
    result.status = FetchedPreview::Status::Ok;
    result.source = picture.source();
    result.format = picture.format();
    result.picture = std::move(picture);
    return result;
}

FetchedPreview fetchPreview(Components& components, const std::string& path)
{
    FetchedPreview result;
    std::unique_ptr<DocumentServer> server;
    std::shared_ptr<Document> document;
    if (!attempt(result, [&] {
            server = components.createDocumentServer();
            document = server->OpenDocument(path);
        }))
        return result;

    std::unique_ptr<PropertyReader> reader;
    std::shared_ptr<PropertySet> set;
    result = fetchPreview(document.get(), path,
                          [&] {
                              reader = components.createPropertyReader();
                              return reader.get();
                          },
                          set);
    FetchedPreview name;
    attempt(name, [&] { result.displayName = document->DisplayName(); });
    document.reset();
    attempt(name, [&] { server->CloseAll(); });
    return result;
}

} // namespace glimmer
