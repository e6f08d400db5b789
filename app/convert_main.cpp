// glimmerbox-convert [OPTIONS] PATH...: writes the preview pictures of many
// CAD documents, on every core, as the window's batch writes them. See
// glimmerbox-convert(1).
#include "app/convert/Options.h"
#include "platform/Heap.h"
#include "platform/Runtime.h"
#include "app/convert/Plan.h"
#include "app/convert/Run.h"
#include "preview/FileComponents.h"

#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

#include <pthread.h>

#include <unistd.h>

namespace {

// Qt's own notes (a damaged PNG inside a document and the like) would add
// lines to stderr, where each failure has its one line already.
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

int main(int argc, char* argv[])
{
    glimmer::keepFreedMemoryForReuse();
    using namespace glimmer::convert;
    // Interruptions are taken by a thread of their own, so that a run can
    // stop between documents and leave no temporary file behind; a second
    // one ends the program at once.
    static sigset_t interruptions;
    sigemptyset(&interruptions);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&interruptions, signal);
    pthread_sigmask(SIG_BLOCK, &interruptions, nullptr);
    static std::atomic<bool> interrupted{false};
    std::thread([] {
        int signal = 0;
        sigwait(&interruptions, &signal);
        interrupted = true;
        sigwait(&interruptions, &signal);
        _exit(128 + signal);
    }).detach();
    qInstallMessageHandler(quiet);
    // Pictures are drawn as the window draws them, which takes a graphical
    // application; it never shows anything, so it needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    const Arguments parsed = parseArguments(arguments, QThread::idealThreadCount());
    switch (parsed.action) {
    case Arguments::Action::Help:
        std::fputs(qPrintable(helpText()), stdout);
        return Success;
    case Arguments::Action::Version:
        std::printf("glimmerbox-convert %s\n", GLIMMER_VERSION);
        return Success;
    case Arguments::Action::Usage:
        std::fprintf(stderr, "glimmerbox-convert: %s\nTry 'glimmerbox-convert --help' for more information.\n",
                     qPrintable(glimmer::printable(parsed.error)));
        return BadUsage;
    case Arguments::Action::Run:
        break;
    }

    const Options& options = parsed.options;
    const std::vector<Job> jobs = planJobs(options);
    const Streams streams{stdout, stderr, isatty(STDERR_FILENO) == 1};
    return runJobs(jobs, options,
                   [&options] {
                       auto components = std::make_shared<glimmer::FileComponents>();
                       return [components, &options](const Job& job) { return convertOne(job, *components, options); };
                   },
                   streams, interrupted);
}
