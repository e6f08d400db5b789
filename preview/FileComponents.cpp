#include "FileComponents.h"

#include "preview/DocumentFile.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

namespace glimmer {

bool isDocumentName(std::string_view name)
{
    if (name.size() < 4)
        return false;
    std::string tail(name.substr(name.size() - 4));
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return tail == ".ipt" || tail == ".iam" || tail == ".idw" || tail == ".ipn" || tail == ".ide";
}

std::string fileNameOf(std::string_view path)
{
#ifdef _WIN32
    const auto slash = path.find_last_of("/\\:");
#else
    const auto slash = path.find_last_of('/');
#endif
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

struct FileComponents::OpenFiles {
    std::vector<std::pair<std::string, std::weak_ptr<DocumentFile>>> files;

    void add(const std::string& path, const std::shared_ptr<DocumentFile>& file)
    {
        std::erase_if(files, [](const auto& f) { return f.second.expired(); });
        files.emplace_back(path, file);
    }
    void remove(const std::shared_ptr<DocumentFile>& file)
    {
        std::erase_if(files, [&](const auto& f) { return f.second.expired() || f.second.lock() == file; });
    }
    std::shared_ptr<DocumentFile> find(const std::string& path) const
    {
        for (const auto& [p, file] : files)
            if (p == path)
                if (auto open = file.lock())
                    return open;
        return nullptr;
    }
};

namespace {

using Subject = FormatError::Subject;

// Runs `read`; a FormatError it raises is said to be about `subject` of the
// document at `path`.
template <typename Read>
auto reading(Subject subject, const std::string& path, Read&& read)
{
    try {
        return read();
    } catch (FormatError& e) {
        e.about(subject, fileNameOf(path));
        throw;
    }
}

class FileDocument : public Document {
public:
    FileDocument(std::string path, std::shared_ptr<DocumentFile> file) : path_(std::move(path)), file_(std::move(file)) {}

    std::int32_t VersionNumber() override
    {
        return reading(Subject::Version, path_, [&] { return file_->versionNumber(); });
    }

    Picture Thumbnail() override
    {
        return reading(Subject::Preview, path_, [&] { return file_->thumbnail(); });
    }

    std::string DisplayName() override { return fileNameOf(path_); }
    std::string Name() override { return fileNameOf(path_); }

private:
    std::string path_;
    std::shared_ptr<DocumentFile> file_;
};

class FileDocumentServer : public DocumentServer {
public:
    explicit FileDocumentServer(std::shared_ptr<FileComponents::OpenFiles> shared) : shared_(std::move(shared)) {}

    std::shared_ptr<Document> OpenDocument(const std::string& path) override
    {
        std::shared_ptr<DocumentFile> file =
            reading(Subject::Document, path, [&] { return std::make_shared<DocumentFile>(path); });
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
    FilePropertySet(std::string path, std::vector<LoadedPropertySet> sets) : path_(std::move(path)), sets_(std::move(sets)) {}

    Picture PreviewPicture() override
    {
        return reading(Subject::Preview, path_, [&] { return firstPreview(sets_); });
    }

private:
    std::string path_;
    std::vector<LoadedPropertySet> sets_;
};

class FilePropertyReader : public PropertyReader {
public:
    explicit FilePropertyReader(std::shared_ptr<FileComponents::OpenFiles> shared) : shared_(std::move(shared)) {}

    std::shared_ptr<PropertySet> OpenPropertySets(const std::string& path) override
    {
        return reading(Subject::Document, path, [&] {
            std::shared_ptr<const DocumentFile> file = shared_->find(path);
            if (!file)
                file = std::make_shared<const DocumentFile>(path);
            return std::make_shared<FilePropertySet>(path, file->summarySets());
        });
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
