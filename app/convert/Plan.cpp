#include "app/convert/Plan.h"
#include "preview/FileComponents.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#include <sys/stat.h>

namespace glimmer::convert {

namespace fs = std::filesystem;

namespace {

fs::path toPath(const QString& path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

// `below` (a relative path) inside `folder`.
QString joined(const QString& folder, const QString& below)
{
    if (below.isEmpty() || below == QLatin1String("."))
        return folder;
    if (folder == QLatin1String("."))
        return below;
    return folder.endsWith(u'/') ? folder + below : folder + u'/' + below;
}

QString systemReason(const std::error_code& ec)
{
    return QString::fromLocal8Bit(ec.message());
}

// One thing found under a PATH: a document or a folder that could not be read.
struct Found {
    std::string relative;   // below the PATH, with '/'
    QString problem;
};

// Collects the documents under `dir` (`relative` below the PATH) into `found`.
// `visited` holds the folders we are inside of, by device and inode, so that
// links followed with -L cannot lead round in a circle.
void walk(const fs::path& dir, const std::string& relative, const Options& options,
          std::set<std::pair<dev_t, ino_t>>& visited, std::vector<Found>& found)
{
    struct stat self{};
    const bool known = ::stat(dir.c_str(), &self) == 0;
    if (known && !visited.insert({self.st_dev, self.st_ino}).second)
        return;   // a link back to a folder we are inside of
    struct Leave {
        std::set<std::pair<dev_t, ino_t>>& visited;
        std::pair<dev_t, ino_t> self;
        bool known;
        ~Leave()
        {
            if (known)
                visited.erase(self);
        }
    } leave{visited, {self.st_dev, self.st_ino}, known};
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) {
        found.push_back({relative, QStringLiteral("cannot read the folder: %1").arg(systemReason(ec))});
        return;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            found.push_back({relative, QStringLiteral("cannot read the folder: %1").arg(systemReason(ec))});
            return;
        }
        const fs::directory_entry& entry = *it;
        const std::string name = entry.path().filename().string();
        const std::string below = relative.empty() ? name : relative + "/" + name;
        std::error_code statError;
        const bool link = entry.is_symlink(statError);
        const bool folder = entry.is_directory(statError);
        if (folder) {
            if (options.recursive && (!link || options.followLinks))
                walk(entry.path(), below, options, visited, found);
            continue;
        }
        if (!isDocumentName(QFile::decodeName(QByteArray::fromStdString(name))))
            continue;
        if (entry.is_regular_file(statError))
            found.push_back({below, {}});
        else if (entry.exists(statError) || link)
            found.push_back({below, link && !entry.exists(statError) ? QStringLiteral("a symbolic link to nothing")
                                                                      : QStringLiteral("not a regular file")});
    }
}

// Gives out picture names, first come first served, and remembers the
// documents already taken.
class Namer {
public:
    explicit Namer(const Options& options) : options_(options), extension_(extensionOf(options.type)) {}

    // Adds the job for `document`, `relative` below its PATH, unless it is already there.
    void add(const QString& document, const QString& relative, std::vector<Job>& jobs)
    {
        if (!documents_.insert(absolute(document)).second)
            return;
        const QString folder = options_.outputDir.isEmpty()
                                   ? QFileInfo(document).path()
                                   : joined(options_.outputDir, QFileInfo(relative).path());
        const QString name = QFileInfo(document).fileName();
        for (const bool taken : {false, true}) {
            const QString output = pictureName(folder, name, extension_, taken);
            if (pictures_.insert(absolute(output)).second) {
                jobs.push_back({document, output, {}});
                return;
            }
        }
        jobs.push_back({document, {}, QStringLiteral("its picture's name is taken by other documents of this run")});
    }

private:
    QString absolute(const QString& path) const { return QDir::cleanPath(current_.absoluteFilePath(path)); }

    const Options& options_;
    const QString extension_;
    const QDir current_ = QDir::current();
    std::set<QString> documents_;
    std::set<QString> pictures_;
};

} // namespace

QString pictureName(const QString& folder, const QString& documentName, const QString& extension, bool nameTaken)
{
    // The document's extension is four characters: a dot and three letters.
    return joined(folder, (nameTaken ? documentName : documentName.chopped(4)) + extension);
}

std::vector<Job> planJobs(const Options& options)
{
    std::vector<Job> jobs;
    Namer namer(options);
    for (const QString& given : options.paths) {
        const fs::path path = toPath(given);
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        if (!fs::exists(status)) {
            const bool dangling = fs::is_symlink(fs::symlink_status(path, ec));
            jobs.push_back({given, {}, dangling ? QStringLiteral("a symbolic link to nothing")
                                                : QStringLiteral("no such file or folder")});
            continue;
        }
        if (fs::is_directory(status)) {
            std::vector<Found> found;
            std::set<std::pair<dev_t, ino_t>> visited;
            walk(path, {}, options, visited, found);
            std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.relative < b.relative; });
            // A PATH such as "docs/" or "." keeps its own spelling in front.
            QString prefix = given;
            while (prefix.size() > 1 && prefix.endsWith(u'/'))
                prefix.chop(1);
            for (const Found& f : found) {
                const QString relative = QFile::decodeName(QByteArray::fromStdString(f.relative));
                const QString document = joined(prefix, relative);
                if (!f.problem.isEmpty())
                    jobs.push_back({document, {}, f.problem});
                else
                    namer.add(document, relative, jobs);
            }
            continue;
        }
        if (!isDocumentName(QFileInfo(given).fileName()))
            jobs.push_back({given, {}, QStringLiteral("not a document: its name does not end in .ipt, .iam, .idw, .ipn or .ide")});
        else if (!fs::is_regular_file(status))
            jobs.push_back({given, {}, QStringLiteral("not a regular file")});
        else
            namer.add(given, QFileInfo(given).fileName(), jobs);
    }
    return jobs;
}

} // namespace glimmer::convert
