#include "app/convert/Confine.h"

#include <set>

namespace glimmer::convert {

sandbox::Files filesOf(const Options& options, const std::vector<Job>& jobs)
{
    sandbox::Files files;
    files.readable = options.paths;
    std::set<std::string> folders;
    for (const Job& job : jobs) {
        if (!job.problem.empty())
            continue;
        if (options.followLinks)
            files.readable.push_back(job.document);
        if (options.outputDir.empty())
            folders.insert(folderOf(job.output));
    }
    if (options.dryRun)
        return files;
    if (!options.outputDir.empty()) {
        files.writable = {options.outputDir};
        files.makeFolders = true;
    } else {
        files.writable.assign(folders.begin(), folders.end());
    }
    return files;
}

} // namespace glimmer::convert
