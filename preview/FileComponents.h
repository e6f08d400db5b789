#pragma once

#include "preview/Components.h"

namespace glimmer {

// The components over the document files themselves.
class FileComponents : public Components {
public:
    std::unique_ptr<DocumentServer> createDocumentServer() override;
    std::unique_ptr<PropertyReader> createPropertyReader() override;
};

} // namespace glimmer
