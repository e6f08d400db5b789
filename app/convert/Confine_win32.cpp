#include "app/convert/Confine.h"
#include "app/convert/System.h"

#include <system_error>

namespace glimmer::convert {

namespace {

// What a run may hold at once: a gigabyte for each document being read
// (pictures up to Image::MaxPixels), and one for the rest.
std::uint64_t memoryCap(const Options& options)
{
    constexpr std::uint64_t GiB = std::uint64_t{1} << 30;
    return (static_cast<std::uint64_t>(options.jobs) + 1) * GiB;
}

} // namespace

Confinement confine(const Options& options, const std::vector<Job>&)
{
    if (sandbox::disabledByEnvironment())
        return {false, "not confined (GLIMMER_NO_SANDBOX=1)"};
    if (!options.outputDir.empty() && !options.dryRun) {
        std::error_code ignored;   // a folder that cannot be made fails each of its pictures, as ever
        std::filesystem::create_directories(pathOf(options.outputDir), ignored);
    }
    // Files are not confined: Windows has nothing like Landlock for a
    // process of the user's to take on itself.
    const sandbox::ProcessLimits limits = sandbox::restrictProcess(memoryCap(options));
    std::string line;
    if (limits.noProcesses || limits.memory > 0) {
        line = "confined by a job object:";
        if (limits.noProcesses)
            line += " no child processes";
        if (limits.memory > 0)
            line += std::string(limits.noProcesses ? "," : "") + " at most "
                    + std::to_string(limits.memory >> 20) + " MiB of memory";
        if (!limits.wine.empty())
            line += " (under Wine " + limits.wine + ", which may not enforce them)";
        if (!limits.refused.empty())
            line += "; " + limits.refused;
    } else {
        line = "not confined: " + limits.refused;
    }
    return {false, line + "; files not confined"};
}

} // namespace glimmer::convert
