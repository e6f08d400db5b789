#pragma once

#include "formats/FormatError.h"
#include "preview/Components.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace glimmer::test {

// What a scripted document answers. An empty optional makes that operation fail.
struct ScriptedDocumentData {
    std::optional<std::int32_t> version;
    std::optional<Picture> thumbnail;
    std::optional<Picture> propertyPicture;
    std::optional<QString> displayName;
    std::optional<QString> name;
};

// Components that answer from a table of paths, and count what was asked of them.
class ScriptedComponents : public Components {
public:
    QMap<QString, ScriptedDocumentData> documents;   // by path; a missing path cannot be opened
    int serversCreated = 0;
    int readersCreated = 0;
    int openDocuments = 0;      // opened and not yet closed by CloseAll
    int thumbnailCalls = 0;
    int propertySetCalls = 0;
    QStringList opened;         // every path OpenDocument was asked for

    std::unique_ptr<DocumentServer> createDocumentServer() override;
    std::unique_ptr<PropertyReader> createPropertyReader() override;
};

} // namespace glimmer::test
