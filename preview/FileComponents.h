#pragma once

#include "preview/Components.h"

#include <memory>
#include <string>
#include <string_view>

namespace glimmer {

// Whether `name` ends in one of the five document extensions (.ipt, .iam,
// .idw, .ipn, .ide), in any case.
bool isDocumentName(std::string_view name);

// The last part of a path ("b.ipt" of "a/b.ipt").
std::string fileNameOf(std::string_view path);

class DocumentFile;

// The components over the document files themselves, the window's adapter
// over the engine's reading (preview/Engine.h reads the same way). The
// property reader reads an old document's sets from the file its document
// server already has open, rather than opening and walking the file a second
// time. One object, and what it makes, serves one thread at a time.
class FileComponents : public Components {
public:
    FileComponents();
    ~FileComponents() override;

    std::unique_ptr<DocumentServer> createDocumentServer() override;
    std::unique_ptr<PropertyReader> createPropertyReader() override;

    // The files this object's document servers have open, by path.
    struct OpenFiles;

private:
    std::shared_ptr<OpenFiles> open_;
};

} // namespace glimmer
