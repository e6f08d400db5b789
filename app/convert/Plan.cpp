#include "app/convert/Plan.h"
#include "app/convert/System.h"
#include "preview/FileComponents.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

namespace glimmer::convert {

namespace fs = std::filesystem;

namespace {

bool isSeparator(char c)
{
    return PathSeparators.find(c) != std::string_view::npos;
}

// Where the folder part of `path` ends: the last separator, or npos.
std::size_t lastSeparator(std::string_view path)
{
    return path.find_last_of(PathSeparators);
}

// Whether `path` is a drive and nothing more ("C:"), whose files are named
// without a separator ("C:a.ipt", in that drive's current folder).
bool isDrive(std::string_view path)
{
    return NativeSeparator == '\\' && path.size() == 2 && path[1] == ':';
}

// `below` (a relative path, divided by '/') inside `folder`, divided as the
// user divided `folder`: by its last separator, or the system's own.
std::string joined(std::string_view folder, std::string_view below)
{
    if (below.empty() || below == ".")
        return std::string(folder);
    if (folder == ".")
        return std::string(below);
    const std::size_t last = lastSeparator(folder);
    const char separator = last == std::string_view::npos ? NativeSeparator : folder[last];
    std::string path(folder);
    if (!path.empty() && !isSeparator(path.back()) && !isDrive(path))
        path += separator;
    const std::size_t start = path.size();
    path += below;
    std::replace(path.begin() + static_cast<std::ptrdiff_t>(start), path.end(), '/', separator);
    return path;
}

// `path` without the separators that end it, unless they are all there is
// to it ("/", "C:\").
std::string_view withoutTrailingSeparators(std::string_view path)
{
    while (path.size() > 1 && isSeparator(path.back()) && !isDrive(path.substr(0, path.size() - 1)))
        path.remove_suffix(1);
    return path;
}

// One thing found under a PATH: a document or a folder that could not be read.
struct Found {
    std::string relative;   // below the PATH, with '/'
    std::string problem;
};

// Collects the documents under `dir` (`relative` below the PATH) into `found`.
// `visited` holds the folders we are inside of, by their identity, so that
// links followed with -L (and Windows' junctions) cannot lead round in a circle.
void walk(const fs::path& dir, const std::string& relative, const Options& options,
          std::set<FileIdentity>& visited, std::vector<Found>& found)
{
    const std::optional<FileIdentity> self = identityOf(dir);
    if (self && !visited.insert(*self).second)
        return;   // a link back to a folder we are inside of
    struct Leave {
        std::set<FileIdentity>& visited;
        const std::optional<FileIdentity>& self;
        ~Leave()
        {
            if (self)
                visited.erase(*self);
        }
    } leave{visited, self};
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) {
        found.push_back({relative, "cannot read the folder: " + ec.message()});
        return;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            found.push_back({relative, "cannot read the folder: " + ec.message()});
            return;
        }
        const fs::directory_entry& entry = *it;
        const std::string name = textOf(entry.path().filename());
        const std::string below = relative.empty() ? name : relative + "/" + name;
        const EntryKind kind = kindOf(entry);
        if (kind.target == EntryKind::Folder) {
            if (options.recursive && (!kind.link || options.followLinks))
                walk(entry.path(), below, options, visited, found);
            continue;
        }
        if (!isDocumentName(name))
            continue;
        if (kind.target == EntryKind::File)
            found.push_back({below, {}});
        else if (kind.target == EntryKind::Other || kind.link)
            found.push_back({below, kind.target == EntryKind::Nothing ? "a symbolic link to nothing" : "not a regular file"});
    }
}

// The current folder; empty when it cannot be known (it was removed), which
// leaves only relative paths relative.
fs::path currentFolder()
{
    std::error_code ec;
    fs::path current = fs::current_path(ec);
    return ec ? fs::path() : current;
}

// Gives out picture names, first come first served, and remembers the
// documents already taken.
class Namer {
public:
    explicit Namer(const Options& options) : options_(options), extension_(extensionOf(options.type)) {}

    // Adds the job for `document`, `relative` below its PATH, unless it is already there.
    void add(const std::string& document, const std::string& relative, std::vector<Job>& jobs)
    {
        if (!documents_.insert(absolute(document)).second)
            return;
        const std::string folder =
            options_.outputDir.empty() ? folderOf(document) : joined(options_.outputDir, folderOf(relative));
        const std::string name = fileNameOf(document);
        for (const bool taken : {false, true}) {
            std::string output = pictureName(folder, name, extension_, taken);
            if (pictures_.insert(absolute(output)).second) {
                jobs.push_back({document, std::move(output), {}});
                return;
            }
        }
        jobs.push_back({document, {}, "its picture's name is taken by other documents of this run"});
    }

private:
    // Two spellings of one path ("a/./b.ipt", "a/b.ipt") give one key; links are not followed.
    std::string absolute(const std::string& path) const
    {
        const std::string key = textOf((current_ / pathOf(path)).lexically_normal());
        return pathKey(std::string(withoutTrailingSeparators(key)));
    }

    const Options& options_;
    const std::string_view extension_;
    const fs::path current_ = currentFolder();
    std::set<std::string> documents_;
    std::set<std::string> pictures_;
};

} // namespace

std::string folderOf(std::string_view path)
{
    const std::size_t slash = lastSeparator(path);
    if (slash == std::string_view::npos)
        return std::string(isDrive(path.substr(0, 2)) ? path.substr(0, 2) : ".");
    if (slash == 0 || (slash == 2 && isDrive(path.substr(0, 2))))
        return std::string(path.substr(0, slash + 1));   // "/", "C:\"
    return std::string(path.substr(0, slash));
}

std::string pictureName(std::string_view folder, std::string_view documentName, std::string_view extension,
                        bool nameTaken)
{
    // The document's extension is four characters: a dot and three letters.
    std::string name(nameTaken ? documentName : documentName.substr(0, std::max<std::size_t>(documentName.size(), 4) - 4));
    return joined(folder, name += extension);
}

std::vector<Job> planJobs(const Options& options)
{
    std::vector<Job> jobs;
    Namer namer(options);
    for (const std::string& given : options.paths) {
        const fs::path path = pathOf(given);
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        if (!fs::exists(status)) {
            const bool dangling = fs::is_symlink(fs::symlink_status(path, ec));
            jobs.push_back({given, {}, dangling ? "a symbolic link to nothing" : "no such file or folder"});
            continue;
        }
        if (fs::is_directory(status)) {
            std::vector<Found> found;
            std::set<FileIdentity> visited;
            walk(path, {}, options, visited, found);
            std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.relative < b.relative; });
            // A PATH such as "docs/" or "." keeps its own spelling in front.
            const std::string_view prefix = withoutTrailingSeparators(given);
            for (const Found& f : found) {
                std::string document = joined(prefix, f.relative);
                if (!f.problem.empty())
                    jobs.push_back({std::move(document), {}, f.problem});
                else
                    namer.add(document, f.relative, jobs);
            }
            continue;
        }
        if (!isDocumentName(fileNameOf(given)))
            jobs.push_back({given, {}, "not a document: its name does not end in .ipt, .iam, .idw, .ipn or .ide"});
        else if (!fs::is_regular_file(status))
            jobs.push_back({given, {}, "not a regular file"});
        else
            namer.add(given, fileNameOf(given), jobs);
    }
    return jobs;
}

} // namespace glimmer::convert
