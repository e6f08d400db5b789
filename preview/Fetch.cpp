#include "preview/Fetch.h"

#include "formats/FormatError.h"
#include "preview/DocumentFile.h"
#include "preview/Engine.h"
#include "preview/FileComponents.h"
#include "system/FileSource.h"

#include <optional>
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
    return guarded(std::forward<Step>(step), [&](StepFailure failure) {
        result.reason = std::move(failure.reason);
        result.outOfMemory = failure.outOfMemory;
    });
}

// The version test and the picture fetch over a document's three reading
// steps, each of which may raise.
template <typename Version, typename Thumbnail, typename SetPicture>
FetchedPreview fetchWith(Version&& version, Thumbnail&& thumbnail, SetPicture&& setPicture)
{
    FetchedPreview result;
    result.status = FetchedPreview::Status::NoPreview;
    Picture picture;
    bool read = false;
    // A version that cannot be read goes the thumbnail way, like a new document;
    // its error is no reason once the thumbnail reads.
    FetchedPreview versionRead;
    if (attempt(versionRead, [&] { result.version = version(); }) && *result.version < ThumbnailVersion)
        read = attempt(result, [&] { picture = setPicture(); });
    else
        read = attempt(result, [&] { picture = thumbnail(); });
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

// A source lent to a compound file for one call: the caller keeps it.
class LentSource final : public ByteSource {
public:
    explicit LentSource(ByteSource& source) noexcept : source_(source) {}
    std::uint64_t size() override { return source_.size(); }
    std::size_t readAt(std::uint64_t offset, std::span<std::byte> into) override { return source_.readAt(offset, into); }

private:
    ByteSource& source_;
};

// Opens the compound file that `open()` makes and reads the document in it,
// named `displayName()` once it opens; runs out of memory without a throw.
template <typename Open, typename Name>
FetchedPreview openAndRead(Open&& open, Name&& displayName)
{
    try {
        FetchedPreview result;
        std::optional<DocumentFile> file;
        if (!attempt(result, [&] { file.emplace(open()); }))
            return result;
        result = fetchWith([&] { return file->versionNumber(); }, [&] { return file->thumbnail(); },
                           [&] { return firstPreview(file->summarySets()); });
        result.displayName = displayName();
        return result;
    } catch (const std::bad_alloc&) {
        FetchedPreview result;
        result.reason = "Out of memory";
        result.outOfMemory = true;
        return result;
    }
}

} // namespace

FetchedPreview readDocument(ByteSource& source, std::string_view displayName)
{
    return openAndRead([&] { return CompoundFile(std::make_unique<LentSource>(source)); },
                       [&] { return std::string(displayName); });
}

FetchedPreview readDocumentFile(const std::string& path)
{
    return openAndRead([&] { return CompoundFile(openFileSource(path)); }, [&] { return fileNameOf(path); });
}

FetchedPreview fetchPreview(Document* document, const std::string& path,
                            const std::function<PropertyReader*()>& propertyReader,
                            std::shared_ptr<PropertySet>& propertySet)
{
    return fetchWith([&] { return required(document).VersionNumber(); },
                     [&] { return required(document).Thumbnail(); },
                     [&] {
                         // The previous document's set must never stand in for this one's.
                         propertySet.reset();
                         PropertyReader& reader = required(propertyReader());
                         propertySet = reader.OpenPropertySets(path);
                         return required(propertySet.get()).PreviewPicture();
                     });
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
