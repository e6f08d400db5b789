#include "app/convert/Convert.h"
#include "app/convert/System.h"

#include <algorithm>
#include <csignal>
#include <thread>

#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glimmer::convert {

namespace {

bool modifiedAfter(const struct stat& a, const struct stat& b)
{
    if (a.st_mtim.tv_sec != b.st_mtim.tv_sec)
        return a.st_mtim.tv_sec > b.st_mtim.tv_sec;
    return a.st_mtim.tv_nsec > b.st_mtim.tv_nsec;
}

sigset_t interruptions;

} // namespace

std::vector<std::string> commandLineArguments(int argc, char* argv[])
{
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

void prepareProcess()
{
}

bool isTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

int coresAvailable()
{
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

std::optional<FileIdentity> identityOf(const std::filesystem::path& path)
{
    struct stat self{};
    if (::stat(path.c_str(), &self) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(self.st_dev), static_cast<std::uint64_t>(self.st_ino)};
}

EntryKind kindOf(const std::filesystem::directory_entry& entry)
{
    std::error_code ec;
    EntryKind kind;
    kind.link = entry.is_symlink(ec);
    const std::filesystem::file_status status = entry.status(ec);
    if (std::filesystem::is_directory(status))
        kind.target = EntryKind::Folder;
    else if (std::filesystem::is_regular_file(status))
        kind.target = EntryKind::File;
    else if (std::filesystem::exists(status))
        kind.target = EntryKind::Other;
    return kind;
}

std::string pathKey(std::string absolute)
{
    return absolute;
}

bool isUpToDate(const std::string& document, const std::string& picture)
{
    struct stat doc{};
    struct stat pic{};
    if (::stat(picture.c_str(), &pic) != 0 || !S_ISREG(pic.st_mode))
        return false;
    if (::stat(document.c_str(), &doc) != 0)
        return false;
    return modifiedAfter(pic, doc);
}

void holdInterruptions()
{
    // Blocked before any other thread starts, so that every thread leaves
    // them to the one takeInterruptions() starts.
    sigemptyset(&interruptions);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&interruptions, signal);
    pthread_sigmask(SIG_BLOCK, &interruptions, nullptr);
}

void takeInterruptions(std::atomic<bool>& interrupted)
{
    std::thread([&interrupted] {
        int signal = 0;
        sigwait(&interruptions, &signal);
        interrupted = true;
        sigwait(&interruptions, &signal);
        _exit(128 + signal);
    }).detach();
}

} // namespace glimmer::convert
