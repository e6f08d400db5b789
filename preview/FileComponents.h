#pragma once

#include "preview/Components.h"

namespace glimmer {

// Whether `name` ends in one of the five document extensions (.ipt, .iam,
// .idw, .ipn, .ide), in any case.
bool isDocumentName(const QString& name);

// The components over the document files themselves.
class FileComponents : public Components {
public:
    std::unique_ptr<DocumentServer> createDocumentServer() override;
    std::unique_ptr<PropertyReader> createPropertyReader() override;
};

} // namespace glimmer
