#include "FileComponents.h"

#include "preview/DocumentFile.h"
#include "platform/RuntimeError.h"

#include <QFileInfo>

#include <vector>

namespace glimmer {

bool isDocumentName(const QString& name)
{
    for (const char* extension : {".ipt", ".iam", ".idw", ".ipn", ".ide"})
        if (name.endsWith(QLatin1String(extension), Qt::CaseInsensitive))
            return true;
    return false;
}

namespace {

QString fileNameOf(const QString& path)
{
    return QFileInfo(path).fileName();
}

RuntimeError error(int number, const QString& path, const std::exception& e)
{
    return RuntimeError(number, fileNameOf(path), QString::fromUtf8(e.what()));
}

class FileDocument : public Document {
public:
    FileDocument(QString path, std::shared_ptr<DocumentFile> file) : path_(std::move(path)), file_(std::move(file)) {}

    std::int32_t VersionNumber() override
    {
        try {
            return file_->versionNumber();
        } catch (const FormatError& e) {
            throw error(RuntimeError::NoVersion, path_, e);
        }
    }

    Picture Thumbnail() override
    {
        try {
            return file_->preview({CadSummarySet, StandardSummarySet});
        } catch (const FormatError& e) {
            throw error(RuntimeError::NoPreview, path_, e);
        }
    }

    QString DisplayName() override { return fileNameOf(path_); }
    QString Name() override { return fileNameOf(path_); }

private:
    QString path_;
    std::shared_ptr<DocumentFile> file_;
};

class FileDocumentServer : public DocumentServer {
public:
    std::shared_ptr<Document> OpenDocument(const QString& path) override
    {
        std::shared_ptr<DocumentFile> file;
        try {
            file = std::make_shared<DocumentFile>(path);
        } catch (const FormatError& e) {
            throw error(RuntimeError::BadDocument, path, e);
        }
        open_.push_back(file);
        return std::make_shared<FileDocument>(path, std::move(file));
    }

    void CloseAll() override
    {
        // A document object still held elsewhere stays valid but reads nothing more.
        for (const auto& file : open_)
            file->close();
        open_.clear();
    }

    ~FileDocumentServer() override { CloseAll(); }

private:
    std::vector<std::shared_ptr<DocumentFile>> open_;
};

// The two summary sets, read when the reader opened them; the file itself is
// closed by then.
class FilePropertySet : public PropertySet {
public:
    FilePropertySet(QString path, std::vector<LoadedPropertySet> sets) : path_(std::move(path)), sets_(std::move(sets)) {}

    Picture PreviewPicture() override
    {
        try {
            return firstPreview(sets_);
        } catch (const FormatError& e) {
            throw error(RuntimeError::NoPreview, path_, e);
        }
    }

private:
    QString path_;
    std::vector<LoadedPropertySet> sets_;
};

class FilePropertyReader : public PropertyReader {
public:
    std::shared_ptr<PropertySet> OpenPropertySets(const QString& path) override
    {
        try {
            const DocumentFile file(path);
            std::vector<LoadedPropertySet> sets;
            for (const KnownPropertySet& set : {StandardSummarySet, CadSummarySet})
                sets.push_back({set, file.propertySetStream(set)});
            return std::make_shared<FilePropertySet>(path, std::move(sets));
        } catch (const FormatError& e) {
            throw error(RuntimeError::BadDocument, path, e);
        }
    }
};

} // namespace

std::unique_ptr<DocumentServer> FileComponents::createDocumentServer()
{
    return std::make_unique<FileDocumentServer>();
}

std::unique_ptr<PropertyReader> FileComponents::createPropertyReader()
{
    return std::make_unique<FilePropertyReader>();
}

} // namespace glimmer
