// glimmerbox-convert [OPTIONS] PATH...: writes the preview pictures of many
// CAD documents, on every core, as the window's batch writes them. See
// glimmerbox-convert(1).
#include "app/convert/Confine.h"
#include "app/convert/Options.h"
#include "app/convert/Plan.h"
#include "app/convert/Run.h"
#include "formats/FormatError.h"
#include "system/Heap.h"
#include "preview/FileComponents.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#if defined(GLIMMER_SANDBOX_PROBE)
#include "SandboxProbe.h"
#endif

namespace {

// The cores this process may run on.
int coresAvailable()
{
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

} // namespace

int main(int argc, char* argv[])
{
    glimmer::keepFreedMemoryForReuse();
    using namespace glimmer::convert;
    const Arguments parsed = parseArguments(std::vector<std::string>(argv + 1, argv + argc),
                                            std::min(coresAvailable(), MaxJobs));
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

        // Interruptions are taken by a thread of their own, so that a run can
        // stop between documents and leave no temporary file behind; a second
        // one ends the program at once. Blocked before any other thread starts,
        // so that every thread leaves them to this one.
        static sigset_t interruptions;
        sigemptyset(&interruptions);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&interruptions, signal);
        pthread_sigmask(SIG_BLOCK, &interruptions, nullptr);

        // Confined before any thread starts (Landlock binds the threads
        // started afterwards) and before any document is read.
        // Said with -v; and with --json, for scripts, where files are not confined.
        const Confinement confinement = confine(options, jobs);
        if (options.verbose || (options.json && !confinement.files))
            std::fprintf(stderr, "glimmerbox-convert: %s\n", confinement.line.c_str());

        std::thread([] {
            int signal = 0;
            sigwait(&interruptions, &signal);
            interrupted = true;
            sigwait(&interruptions, &signal);
            _exit(128 + signal);
        }).detach();

        const Streams streams{stdout, stderr, isatty(STDERR_FILENO) == 1};
        return runJobs(jobs, options,
                       [&options] {
                           auto components = std::make_shared<glimmer::FileComponents>();
                           return [components, &options](const Job& job) {
#if defined(GLIMMER_SANDBOX_PROBE)
                               glimmer::probe::tryForbidden();
#endif
                               return convertOne(job, *components, options);
                           };
                       },
                       streams, interrupted);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "glimmerbox-convert: %s\n", glimmer::printable(e.what()).c_str());
        return SomeFailed;
    }
}
