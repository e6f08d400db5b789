// glimmerbox-thumbnailer [-s SIZE] INPUT OUTPUT: writes a CAD document's
// preview as a PNG file, for file managers (Exec=... -s %s %i %o).
// Exit status: 0 written, 1 no preview, 2 not a readable document,
// 3 bad arguments or OUTPUT cannot be written. On failure, exactly one line
// on stderr.
//
// File managers start it once per document, so it starts lean: no
// application object (a QImage, the metafile player's QPainter on a QImage
// and the PNG writer need none) and no image-format plugins.
#include "formats/Png.h"
#include "preview/Fetch.h"
#include "preview/FileComponents.h"
#include "preview/Thumbnail.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <QFile>
#include <QThreadPool>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <optional>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

enum Exit { Written = 0, NoPreview = 1, Unreadable = 2, Failed = 3 };

// Where our one line goes: the stderr we were given. Everything else that
// would write to stderr (Qt's notes, libpng's "libpng error:" lines, GLib's
// warnings) finds /dev/null there instead.
int lineFd = -1;

void claimStderr()
{
    lineFd = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0 && null != STDERR_FILENO) {
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
#if defined(__SANITIZE_ADDRESS__)
    // A sanitizer's report must still be seen.
    if (lineFd >= 0)
        __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(lineFd)));
#endif
}

void writeLine(const char* bytes, std::size_t size)
{
    while (lineFd >= 0 && size > 0) {
        const ssize_t n = ::write(lineFd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
}

QByteArray lineOf(const QString& text)
{
    return "glimmerbox-thumbnailer: " + glimmer::printable(text).toUtf8() + '\n';
}

// `text`, which names the file and the reason, as our one line.
int fail(int status, const QString& text)
{
    const QByteArray line = lineOf(text);
    writeLine(line.constData(), static_cast<std::size_t>(line.size()));
    return status;
}

// The lines for the ends that leave no room to make one, made beforehand.
QByteArray outOfMemoryLine = "glimmerbox-thumbnailer: out of memory\n";
QByteArray internalErrorLine = "glimmerbox-thumbnailer: internal error\n";

[[noreturn]] void outOfMemory()
{
    writeLine(outOfMemoryLine.constData(), static_cast<std::size_t>(outOfMemoryLine.size()));
    std::_Exit(Unreadable);
}

// An exception that leaves a thread of Qt's own (one that found no memory
// to start with) ends the process through here.
[[noreturn]] void terminated()
{
    try {
        if (const std::exception_ptr e = std::current_exception())
            std::rethrow_exception(e);
    } catch (const std::bad_alloc&) {
        outOfMemory();
    } catch (...) {
    }
    writeLine(internalErrorLine.constData(), static_cast<std::size_t>(internalErrorLine.size()));
    std::abort();
}

// Qt's notes are not for the user, but one ends the run: a thread that
// cannot be started for lack of memory (see main).
void quiet(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && message.startsWith(QLatin1String("QThread::start: Thread creation error")))
        outOfMemory();
}

// Why `path` cannot be read as a document file, or nothing. Opened without
// blocking, so that a FIFO without a writer is refused at once rather than
// waited on; only a regular file goes on to the reader.
std::optional<QString> notARegularFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    const int statResult = ::fstat(fd, &st);
    const int statErrno = errno;
    ::close(fd);
    if (statResult != 0)
        return QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(statErrno)));
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("is a folder, not a file");
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("is not a regular file");
    return std::nullopt;
}

struct Arguments {
    int size = 0;
    QString input;
    QString output;
};

std::optional<Arguments> parse(int argc, char* argv[], QString& error)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QFile::decodeName(argv[i]);
    Arguments a;
    if (args.size() >= 2 && args[0] == QLatin1String("-s")) {
        bool ok = false;
        a.size = args[1].toInt(&ok);
        if (!ok || a.size < 0) {
            error = QStringLiteral("bad size \"%1\"").arg(args[1]);
            return std::nullopt;
        }
        args = args.mid(2);
    }
    if (args.size() != 2) {
        error = QStringLiteral("usage: glimmerbox-thumbnailer [-s SIZE] INPUT OUTPUT");
        return std::nullopt;
    }
    a.input = args[0];
    a.output = args[1];
    return a;
}

int run(const Arguments& a)
{
    glimmer::FileComponents components;
    const glimmer::FetchedPreview fetched = glimmer::fetchPreview(components, a.input);
    switch (fetched.status) {
    case glimmer::FetchedPreview::Status::Unreadable:
        return fail(Unreadable, QStringLiteral("%1: %2").arg(a.input, fetched.reason));
    case glimmer::FetchedPreview::Status::NoPreview:
        return fail(NoPreview, QStringLiteral("%1: %2").arg(a.input, fetched.reason));
    case glimmer::FetchedPreview::Status::Ok:
        break;
    }
    const QImage image = glimmer::thumbnailImage(fetched.picture, a.size);

    QByteArray png;
    try {
        png = glimmer::png::encode(image);
    } catch (const glimmer::FormatError&) {
        return fail(Failed, QStringLiteral("%1: cannot be written: the picture cannot be encoded").arg(a.output));
    }
    try {
        // The file manager reads OUTPUT at once and keeps its own copy:
        // the file must be whole, not synced to the disk.
        glimmer::writeFileAtomically(a.output,
                                     {reinterpret_cast<const std::byte*>(png.constData()), static_cast<std::size_t>(png.size())},
                                     glimmer::Durability::Unsynced);
    } catch (const glimmer::RuntimeError& e) {
        return fail(Failed, e.text());
    }
    return Written;
}

} // namespace

int main(int argc, char* argv[])
{
    claimStderr();
    std::set_terminate(terminated);
    qInstallMessageHandler(quiet);
    // Only the formats built into Qt: a document holds PNG or a metafile,
    // and looking for plugins costs more than reading the document.
    QCoreApplication::setLibraryPaths({});

    QString error;
    const std::optional<Arguments> arguments = parse(argc, argv, error);
    if (!arguments)
        return fail(Failed, error);
    if (const auto why = notARegularFile(arguments->input))
        return fail(Unreadable, QStringLiteral("%1: %2").arg(arguments->input, *why));
    outOfMemoryLine = lineOf(QStringLiteral("%1: out of memory").arg(arguments->input));
    internalErrorLine = lineOf(QStringLiteral("%1: internal error").arg(arguments->input));

    // Qt converts and scales large images on the threads of its global pool,
    // unless the caller is one of them. The work runs on one such thread, so
    // that no thread is started halfway through a document: short of memory,
    // Qt would wait for one that never started. Its event dispatcher is
    // Qt's own, not GLib's, which aborts where it finds no memory.
    qputenv("QT_NO_GLIB", "1");
    mallopt(M_ARENA_MAX, 1);   // one worker at a time: no arena of its own to reserve
    int status = Unreadable;
    QThreadPool::globalInstance()->start([&] {
        try {
            status = run(*arguments);
        } catch (const std::bad_alloc&) {
            outOfMemory();   // like any document that cannot be read
        } catch (const std::exception& e) {
            status = fail(Unreadable, QStringLiteral("%1: cannot be read: %2").arg(arguments->input, QString::fromUtf8(e.what())));
        }
    });
    QThreadPool::globalInstance()->waitForDone();
    return status;
}
