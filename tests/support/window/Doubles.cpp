#include "tests/support/window/Doubles.h"

namespace glimmer::test {

namespace {

using Subject = FormatError::Subject;

[[noreturn]] void fail(const char* what, Subject subject = Subject::Preview)
{
    throw FormatError(FormatError::Code::NotFound, what).about(subject, {});
}

class ScriptedDocument : public Document {
public:
    ScriptedDocument(ScriptedComponents& owner, ScriptedDocumentData data) : owner_(owner), data_(std::move(data)) {}

    std::int32_t VersionNumber() override
    {
        if (!data_.version)
            fail("no version", Subject::Version);
        return *data_.version;
    }
    Picture Thumbnail() override
    {
        ++owner_.thumbnailCalls;
        if (!data_.thumbnail)
            fail("no thumbnail");
        return *data_.thumbnail;
    }
    std::string DisplayName() override
    {
        if (!data_.displayName)
            fail("no display name");
        return *data_.displayName;
    }
    std::string Name() override
    {
        if (!data_.name)
            fail("no name");
        return *data_.name;
    }

private:
    ScriptedComponents& owner_;
    ScriptedDocumentData data_;
};

class ScriptedServer : public DocumentServer {
public:
    explicit ScriptedServer(ScriptedComponents& owner) : owner_(owner) {}

    std::shared_ptr<Document> OpenDocument(const std::string& path) override
    {
        owner_.opened.push_back(path);
        const auto it = owner_.documents.find(path);
        if (it == owner_.documents.end())
            fail("File not found", Subject::Document);
        ++owner_.openDocuments;
        return std::make_shared<ScriptedDocument>(owner_, it->second);
    }
    void CloseAll() override { owner_.openDocuments = 0; }

private:
    ScriptedComponents& owner_;
};

class ScriptedPropertySet : public PropertySet {
public:
    explicit ScriptedPropertySet(std::optional<Picture> picture) : picture_(std::move(picture)) {}
    Picture PreviewPicture() override
    {
        if (!picture_)
            fail("no preview picture");
        return *picture_;
    }

private:
    std::optional<Picture> picture_;
};

class ScriptedReader : public PropertyReader {
public:
    explicit ScriptedReader(ScriptedComponents& owner) : owner_(owner) {}
    std::shared_ptr<PropertySet> OpenPropertySets(const std::string& path) override
    {
        ++owner_.propertySetCalls;
        const auto it = owner_.documents.find(path);
        if (it == owner_.documents.end())
            fail("File not found", Subject::Document);
        return std::make_shared<ScriptedPropertySet>(it->second.propertyPicture);
    }

private:
    ScriptedComponents& owner_;
};

} // namespace

std::optional<std::vector<std::string>> ScriptedDialog::run(Mode mode)
{
    shown_.push_back({mode == Mode::Save, Flags, Filter, FilterIndex, FileName, CancelError, DefaultExt, MaxFileSize});
    if (answers_.empty())
        return std::nullopt;
    Answer a = std::move(answers_.front());
    answers_.pop_front();
    if (a.paths && a.filterIndex > 0)
        FilterIndex = a.filterIndex;
    return a.paths;
}

std::unique_ptr<DocumentServer> ScriptedComponents::createDocumentServer()
{
    ++serversCreated;
    return std::make_unique<ScriptedServer>(*this);
}

std::unique_ptr<PropertyReader> ScriptedComponents::createPropertyReader()
{
    ++readersCreated;
    return std::make_unique<ScriptedReader>(*this);
}

} // namespace glimmer::test
