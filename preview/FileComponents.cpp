#include "FileComponents.h"

#include "platform/RuntimeError.h"

namespace glimmer {

namespace {

class UnavailableServer : public DocumentServer {
public:
    std::shared_ptr<Document> OpenDocument(const QString& path) override
    {
        throw RuntimeError(RuntimeError::BadDocument, QStringLiteral("%1: documents cannot be read yet").arg(path));
    }
    void CloseAll() override {}
};

class UnavailableReader : public PropertyReader {
public:
    std::shared_ptr<PropertySet> OpenPropertySets(const QString& path) override
    {
        throw RuntimeError(RuntimeError::BadDocument, QStringLiteral("%1: documents cannot be read yet").arg(path));
    }
};

} // namespace

std::unique_ptr<DocumentServer> FileComponents::createDocumentServer()
{
    return std::make_unique<UnavailableServer>();
}

std::unique_ptr<PropertyReader> FileComponents::createPropertyReader()
{
    return std::make_unique<UnavailableReader>();
}

} // namespace glimmer
