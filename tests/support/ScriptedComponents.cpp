#include "ScriptedComponents.h"

namespace glimmer::test {

namespace {

[[noreturn]] void fail(const QString& what)
{
    throw RuntimeError(RuntimeError::NoPreview, what);
}

class ScriptedDocument : public Document {
public:
    ScriptedDocument(ScriptedComponents& owner, ScriptedDocumentData data) : owner_(owner), data_(std::move(data)) {}

    std::int32_t VersionNumber() override
    {
        if (!data_.version)
            throw RuntimeError(RuntimeError::NoVersion, QStringLiteral("no version"));
        return *data_.version;
    }
    Picture Thumbnail() override
    {
        ++owner_.thumbnailCalls;
        if (!data_.thumbnail)
            fail(QStringLiteral("no thumbnail"));
        return *data_.thumbnail;
    }
    QString DisplayName() override
    {
        if (!data_.displayName)
            fail(QStringLiteral("no display name"));
        return *data_.displayName;
    }
    QString Name() override
    {
        if (!data_.name)
            fail(QStringLiteral("no name"));
        return *data_.name;
    }

private:
    ScriptedComponents& owner_;
    ScriptedDocumentData data_;
};

class ScriptedServer : public DocumentServer {
public:
    explicit ScriptedServer(ScriptedComponents& owner) : owner_(owner) {}

    std::shared_ptr<Document> OpenDocument(const QString& path) override
    {
        owner_.opened << path;
        const auto it = owner_.documents.constFind(path);
        if (it == owner_.documents.constEnd())
            throw RuntimeError(RuntimeError::FileNotFound, QStringLiteral("File not found"));
        ++owner_.openDocuments;
        return std::make_shared<ScriptedDocument>(owner_, *it);
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
            fail(QStringLiteral("no preview picture"));
        return *picture_;
    }

private:
    std::optional<Picture> picture_;
};

class ScriptedReader : public PropertyReader {
public:
    explicit ScriptedReader(ScriptedComponents& owner) : owner_(owner) {}
    std::shared_ptr<PropertySet> OpenPropertySets(const QString& path) override
    {
        ++owner_.propertySetCalls;
        const auto it = owner_.documents.constFind(path);
        if (it == owner_.documents.constEnd())
            throw RuntimeError(RuntimeError::FileNotFound, QStringLiteral("File not found"));
        return std::make_shared<ScriptedPropertySet>(it->propertyPicture);
    }

private:
    ScriptedComponents& owner_;
};

} // namespace

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
