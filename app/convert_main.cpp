// glimmerbox-convert [OPTIONS] PATH...: writes the preview pictures of many
// CAD documents, on every core, as the window's batch writes them. See
// glimmerbox-convert(1).
#include "app/convert/Confine.h"
#include "app/convert/Options.h"
#include "app/convert/Plan.h"
#include "app/convert/Run.h"
#include "app/convert/System.h"
#include "formats/FormatError.h"
#include "system/Heap.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#if defined(GLIMMER_SANDBOX_PROBE)
#include "SandboxProbe.h"
#endif

int main(int argc, char* argv[])
{
    glimmer::keepFreedMemoryForReuse();
    using namespace glimmer::convert;
    prepareProcess();
    const Arguments parsed = parseArguments(commandLineArguments(argc, argv), std::min(coresAvailable(), MaxJobs));
    switch (parsed.action) {
    case Arguments::Action::Help:
        std::fputs(helpText(), stdout);
        return Success;
    case Arguments::Action::Version:
        std::printf("glimmerbox-convert %s\n", GLIMMER_VERSION);
        return Success;
    case Arguments::Action::Usage:
        std::fprintf(stderr, "glimmerbox-convert: %s\nTry 'glimmerbox-convert --help' for more information.\n",
                     glimmer::printable(parsed.error).c_str());
        return BadUsage;
    case Arguments::Action::Run:
        break;
    }

    static std::atomic<bool> interrupted{false};
    try {
        // The folders are read first; an interruption until then ends the
        // program at once, as nothing is written yet.
        const Options& options = parsed.options;
        const std::vector<Job> jobs = planJobs(options);

        // Interruptions stop the run between documents (System.h).
        holdInterruptions();

        // Confined before any thread starts (Landlock binds the threads
        // started afterwards) and before any document is read.
        // Said with -v; and with --json, for scripts, where files are not confined.
        const Confinement confinement = confine(options, jobs);
        if (options.verbose || (options.json && !confinement.files))
            std::fprintf(stderr, "glimmerbox-convert: %s\n", confinement.line.c_str());

        takeInterruptions(interrupted);

        const Streams streams{stdout, stderr, isTerminal(stderr)};
        return runJobs(jobs, options,
                       [&options] {
                           return [&options](const Job& job) {
#if defined(GLIMMER_SANDBOX_PROBE)
                               glimmer::probe::tryForbidden();
#endif
                               return convertOne(job, options);
                           };
                       },
                       streams, interrupted);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "glimmerbox-convert: %s\n", glimmer::printable(e.what()).c_str());
        return SomeFailed;
    }
}
