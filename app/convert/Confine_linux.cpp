#include "app/convert/Confine.h"

#include <filesystem>
#include <system_error>

namespace glimmer::convert {

Confinement confine(const Options& options, const std::vector<Job>& jobs)
{
    if (sandbox::disabledByEnvironment())
        return {false, "not confined (GLIMMER_NO_SANDBOX=1)"};
    if (!options.outputDir.empty() && !options.dryRun) {
        std::error_code ignored;   // a folder that cannot be made fails each of its pictures, as ever
        std::filesystem::create_directories(options.outputDir, ignored);
    }
    const sandbox::Landlock landlock = sandbox::restrictFiles(filesOf(options, jobs));
    sandbox::restrictCalls(sandbox::Calls::NoExecNoNetwork);
    if (landlock == sandbox::Landlock::Unsupported)
        return {false, "confined by seccomp alone (the kernel has no Landlock): no exec, no sockets; files not confined"};
    return {true, "confined by Landlock and seccomp: reading only under the PATHs, writing only where the pictures go; "
                  "no exec, no sockets"};
}

} // namespace glimmer::convert
