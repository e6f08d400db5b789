#pragma once

#include "platform/Picture.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace glimmer {

// The document components the window works with. Every operation that fails
// raises a RuntimeError; the caller's record-and-continue region absorbs it.

class Document {
public:
    virtual ~Document() = default;
    virtual std::int32_t VersionNumber() = 0;
    virtual Picture Thumbnail() = 0;
    virtual QString DisplayName() = 0;
    virtual QString Name() = 0;
};

class DocumentServer {
public:
    virtual ~DocumentServer() = default;
    // Opens the document at `path`; raises when it is not a readable document.
    virtual std::shared_ptr<Document> OpenDocument(const QString& path) = 0;
    // Finishes every document this server opened: none keeps its file open.
    virtual void CloseAll() = 0;
};

class PropertySet {
public:
    virtual ~PropertySet() = default;
    virtual Picture PreviewPicture() = 0;
};

class PropertyReader {
public:
    virtual ~PropertyReader() = default;
    virtual std::shared_ptr<PropertySet> OpenPropertySets(const QString& path) = 0;
};

// Makes the components when the window first needs them.
class Components {
public:
    virtual ~Components() = default;
    virtual std::unique_ptr<DocumentServer> createDocumentServer() = 0;
    virtual std::unique_ptr<PropertyReader> createPropertyReader() = 0;
};

} // namespace glimmer
