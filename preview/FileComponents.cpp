#include "FileComponents.h"

#include "preview/DocumentFile.h"
#include "platform/RuntimeError.h"

#include <QFileInfo>

#include <mutex>
#include <vector>

namespace glimmer {

bool isDocumentName(const QString& name)
{
    for (const char* extension : {".ipt", ".iam", ".idw", ".ipn", ".ide"})
        if (name.endsWith(QLatin1String(extension), Qt::CaseInsensitive))
            return true;
    return false;
}

struct FileComponents::OpenFiles {
    std::mutex lock;
    std::vector<std::pair<QString, std::weak_ptr<DocumentFile>>> files;

    void add(const QString& path, const std::shared_ptr<DocumentFile>& file)
    {
        const std::lock_guard hold(lock);
        std::erase_if(files, [](const auto& f) { return f.second.expired(); });
        files.emplace_back(path, file);
    }
    void remove(const std::shared_ptr<DocumentFile>& file)
    {
        const std::lock_guard hold(lock);
        std::erase_if(files, [&](const auto& f) { return f.second.expired() || f.second.lock() == file; });
    }
    std::shared_ptr<DocumentFile> find(const QString& path)
    {
        const std::lock_guard hold(lock);
        for (const auto& [p, file] : files)
            if (p == path)
                if (auto open = file.lock())
                    return open;
        return nullptr;
    }
};

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
    explicit FileDocumentServer(std::shared_ptr<FileComponents::OpenFiles> shared) : shared_(std::move(shared)) {}

    std::shared_ptr<Document> OpenDocument(const QString& path) override
    {
        std::shared_ptr<DocumentFile> file;
        try {
            file = std::make_shared<DocumentFile>(path);
        } catch (const FormatError& e) {
            throw error(RuntimeError::BadDocument, path, e);
        }
        open_.push_back(file);
        shared_->add(path, file);
        return std::make_shared<FileDocument>(path, std::move(file));
    }

    void CloseAll() override
    {
        // A document object still held elsewhere stays valid but reads nothing more.
        for (const auto& file : open_) {
            shared_->remove(file);
            file->close();
        }
        open_.clear();
    }

    ~FileDocumentServer() override { CloseAll(); }

private:
    std::shared_ptr<FileComponents::OpenFiles> shared_;
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
    explicit FilePropertyReader(std::shared_ptr<FileComponents::OpenFiles> shared) : shared_(std::move(shared)) {}

    std::shared_ptr<PropertySet> OpenPropertySets(const QString& path) override
    {
        try {
            std::shared_ptr<const DocumentFile> file = shared_->find(path);
            if (!file)
                file = std::make_shared<const DocumentFile>(path);
            std::vector<LoadedPropertySet> sets;
            for (const KnownPropertySet& set : {StandardSummarySet, CadSummarySet})
                sets.push_back({set, file->propertySetStream(set)});
            return std::make_shared<FilePropertySet>(path, std::move(sets));
        } catch (const FormatError& e) {
            throw error(RuntimeError::BadDocument, path, e);
        }
    }

private:
    std::shared_ptr<FileComponents::OpenFiles> shared_;
};

} // namespace

FileComponents::FileComponents() : open_(std::make_shared<OpenFiles>()) {}

FileComponents::~FileComponents() = default;

std::unique_ptr<DocumentServer> FileComponents::createDocumentServer()
{
    return std::make_unique<FileDocumentServer>(open_);
}

std::unique_ptr<PropertyReader> FileComponents::createPropertyReader()
{
    return std::make_unique<FilePropertyReader>(open_);
}

} // namespace glimmer
