#pragma once

#include "preview/Picture.h"

#include <cstdint>
#include <memory>
#include <string>

namespace glimmer {

// The document components the window works with. Paths and names are UTF-8.
// Every operation that fails raises a FormatError that says what it is about
// (the document, its version or its preview) and names the file.

class Document {
public:
    virtual ~Document() = default;
    virtual std::int32_t VersionNumber() = 0;
    virtual Picture Thumbnail() = 0;
    virtual std::string DisplayName() = 0;
    virtual std::string Name() = 0;
};

class DocumentServer {
public:
    virtual ~DocumentServer() = default;
    // Opens the document at `path`; raises when it is not a readable document.
    virtual std::shared_ptr<Document> OpenDocument(const std::string& path) = 0;
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
    virtual std::shared_ptr<PropertySet> OpenPropertySets(const std::string& path) = 0;
};

// Makes the components when the window first needs them.
class Components {
public:
    virtual ~Components() = default;
    virtual std::unique_ptr<DocumentServer> createDocumentServer() = 0;
    virtual std::unique_ptr<PropertyReader> createPropertyReader() = 0;
};

} // namespace glimmer
