// glimmerbox-thumbnailer [-s SIZE] INPUT OUTPUT: writes a CAD document's
// preview as a PNG file, for file managers (Exec=... -s %s %i %o).
// Exit status: 0 written, 1 no preview, 2 not a readable document (or no
// memory to read it), 3 bad arguments or OUTPUT cannot be written. On
// failure, exactly one line on stderr.
//
// It opens INPUT and creates its temporary OUTPUT first, then confines
// itself before it reads a byte of the document (platform/Sandbox.h): no
// file can be opened any longer, nothing started, no socket made; files
// can be made or removed only in OUTPUT's folder. GLIMMER_NO_SANDBOX=1
// leaves it unconfined, for debugging.
#include "formats/FormatError.h"
#include "formats/Png.h"
#include "formats/Text.h"
#include "system/Files.h"
#include "system/Sandbox.h"
#include "preview/Box.h"
#include "preview/Fetch.h"
#include "preview/FileComponents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#if defined(GLIMMER_SANDBOX_PROBE)
#include "SandboxProbe.h"
#endif

namespace {

enum Exit { Written = 0, NoPreview = 1, Unreadable = 2, Failed = 3 };

constexpr char Usage[] = "usage: glimmerbox-thumbnailer [-s SIZE] INPUT OUTPUT";

constexpr char Help[] =
    "Usage: glimmerbox-thumbnailer [-s SIZE] INPUT OUTPUT\n"
    "Writes the preview picture of the CAD document INPUT as the PNG file OUTPUT,\n"
    "scaled down to fit SIZE x SIZE pixels (never up; no -s or -s 0 keeps its own\n"
    "size). OUTPUT is replaced whole, or left as it was.\n"
    "Exit status: 0 written, 1 no preview, 2 not a readable document, 3 bad\n"
    "arguments or an OUTPUT that cannot be written; on failure one line on\n"
    "standard error says why.\n";

void writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string lineOf(std::string_view text)
{
    return "glimmerbox-thumbnailer: " + glimmer::printable(text) + "\n";
}

// `text`, which names the file and the reason, as our one line.
int fail(int status, std::string_view text)
{
    writeAll(STDERR_FILENO, lineOf(text));
    return status;
}

// The line for running out of memory, made while there is memory to make it:
// a generic one until the document is known.
std::string outOfMemoryLine = "glimmerbox-thumbnailer: out of memory\n";

// OUTPUT's temporary file until it is renamed into place; removed when the
// run ends in any other way.
std::optional<glimmer::StagedFile> output;

[[noreturn]] void outOfMemory()
{
    writeAll(STDERR_FILENO, outOfMemoryLine);
    output.reset();
    std::_Exit(Unreadable);
}

// The document at `path` opened for reading, or why it cannot be read as a
// document file. Opened without blocking, so that a FIFO without a writer is
// refused at once rather than waited on; only a regular file goes on to the
// reader.
int openDocument(const std::string& path, std::string& why)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = "cannot be read: " + glimmer::errorText(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        why = "cannot be read: " + glimmer::errorText(errno);
    else if (S_ISDIR(st.st_mode))
        why = "is a folder, not a file";
    else if (!S_ISREG(st.st_mode))
        why = "is not a regular file";
    else
        return fd;
    ::close(fd);
    return -1;
}

// From here on the process holds its two files and can open no others,
// start nothing and reach no network; it can make and remove files only in
// the folder of its output (where the kernel has Landlock).
void confine(const glimmer::StagedFile& staged)
{
    namespace sandbox = glimmer::sandbox;
    if (sandbox::disabledByEnvironment())
        return;
    const std::string& target = staged.target();
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    sandbox::restrictFiles({.readable = {}, .writable = {folder}, .makeFolders = false});
    sandbox::restrictCalls(sandbox::Calls::HeldFiles);
}

struct Arguments {
    int size = 0;
    std::string input;
    std::string output;
};

std::optional<Arguments> parse(int argc, char* argv[], std::string& error)
{
    int next = 1;
    Arguments a;
    if (argc - next >= 2 && std::string_view(argv[next]) == "-s") {
        const std::optional<int> size = glimmer::parseCount(argv[next + 1]);
        if (!size) {
            error = "bad size \"" + std::string(argv[next + 1]) + "\"";
            return std::nullopt;
        }
        a.size = *size;
        next += 2;
    }
    if (argc - next != 2) {
        error = Usage;
        return std::nullopt;
    }
    a.input = argv[next];
    a.output = argv[next + 1];
    return a;
}

int run(const Arguments& a, glimmer::FileComponents& components)
{
    const glimmer::FetchedPreview fetched = glimmer::fetchPreview(components, a.input);
    switch (fetched.status) {
    case glimmer::FetchedPreview::Status::Unreadable:
        return fail(Unreadable, a.input + ": " + fetched.reason);
    case glimmer::FetchedPreview::Status::NoPreview:
        return fail(NoPreview, a.input + ": " + fetched.reason);
    case glimmer::FetchedPreview::Status::Ok:
        break;
    }

    glimmer::Bytes png;
    try {
        png = glimmer::png::encode(glimmer::thumbnailImage(fetched.picture, a.size));
    } catch (const glimmer::FormatError&) {
        return fail(Failed, a.output + ": cannot be written: the picture cannot be encoded");
    }
    try {
        output->append(png);
        output->commit();
    } catch (const glimmer::FileError& e) {
        return fail(Failed, e.what());
    }
    return Written;
}

} // namespace

int main(int argc, char* argv[])
{
    try {
        if (argc == 2 && std::string_view(argv[1]) == "--help") {
            writeAll(STDOUT_FILENO, Help);
            return Written;
        }
        std::string error;
        const std::optional<Arguments> arguments = parse(argc, argv, error);
        if (!arguments)
            return fail(Failed, error);
        std::string why;
        const int input = openDocument(arguments->input, why);
        if (input < 0)
            return fail(Unreadable, arguments->input + ": " + why);
        glimmer::FileComponents components;
        components.adopt(arguments->input, input);
        try {
            // The file manager reads OUTPUT at once and keeps its own copy:
            // the file must be whole, not synced to the disk.
            output = glimmer::StagedFile::stage(arguments->output, {}, glimmer::Durability::Unsynced);
        } catch (const glimmer::FileError& e) {
            return fail(Failed, e.what());
        }
        try {
            confine(*output);
        } catch (const std::system_error& e) {
            output.reset();
            return fail(Failed, std::string("cannot confine the reader: ") + e.what());
        }
        outOfMemoryLine = lineOf(arguments->input + ": out of memory");
        try {
#if defined(GLIMMER_SANDBOX_PROBE)
            glimmer::probe::tryForbidden();
#endif
            const int status = run(*arguments, components);
            output.reset();
            return status;
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& e) {
            output.reset();
            return fail(Unreadable, arguments->input + ": cannot be read: " + e.what());
        }
    } catch (const std::bad_alloc&) {
        outOfMemory();   // like any document that cannot be read
    }
}
