#include "system/Files.h"
#include "system/FileErrors.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace glimmer {

namespace {

using Kind = FileError::Kind;
using files::InTheWay;
using files::notAFile;
using files::quoted;

// The folder a file at `path` lies in.
std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool statOf(const std::string& path, struct stat& st)
{
    return ::stat(path.c_str(), &st) == 0;
}

// The error for a file that could not be written, by what is in the way.
FileError writeError(const std::string& path, int error, const std::string& reason)
{
    const std::string folder = folderOf(path);
    struct stat st {};
    if (!statOf(folder, st) || !S_ISDIR(st.st_mode))
        return files::writeError(path, error, reason, InTheWay::MissingFolder);
    const bool exists = statOf(path, st);
    if (exists && S_ISDIR(st.st_mode))
        return files::writeError(path, error, reason, InTheWay::Folder);
    if (::access(folder.c_str(), W_OK) != 0 || (exists && ::access(path.c_str(), W_OK) != 0))
        return files::writeError(path, error, reason, InTheWay::NotWritable);
    return files::writeError(path, error, reason, InTheWay::Other);
}

FileError writeError(const std::string& path, int error)
{
    return writeError(path, error, errorText(error));
}

// The file a write to `path` replaces: `path` itself, or the final target of
// a symbolic link. Raises when what is there is not a regular file.
std::string writeTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return path;   // nothing there, or not reachable: the write names the reason
    std::string target = path;
    if (S_ISLNK(st.st_mode)) {
        const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
        if (!resolved || ::stat(resolved.get(), &st) != 0) {
            const int error = errno;
            throw notAFile(path, "is a symbolic link that leads nowhere (" + errorText(error) + ")", error);
        }
        target = resolved.get();
    }
    if (S_ISDIR(st.st_mode))
        throw notAFile(path, "is a folder", EISDIR);
    if (!S_ISREG(st.st_mode))
        throw notAFile(path, "is not a regular file");
    return target;
}

} // namespace

void StagedFile::discard() noexcept
{
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
    if (!temporary_.empty())
        ::unlink(std::exchange(temporary_, {}).c_str());
}

StagedFile StagedFile::stage(const std::string& path, std::span<const std::byte> bytes, Durability durability)
{
    if (path.empty())
        throw FileError(Kind::BadFileName, ENOENT, "Bad file name: the path is empty");
    StagedFile file;
    file.path_ = path;
    file.durability_ = durability;
    file.target_ = writeTarget(path);
    struct stat old {};
    const bool replacing = statOf(file.target_, old);
    if (replacing && ::access(file.target_.c_str(), W_OK) != 0)
        throw writeError(path, EACCES, "the file is not writable");

    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; file.fd_ < 0; ++attempt) {
        // Six letters from the kernel's random bytes: no generator to seed
        // for a program that writes one file.
        unsigned char random[6] = {};
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
            throw writeError(path, errno);
        std::string name = file.target_ + ".part-";
        for (const unsigned char r : random)
            name += letters[r % (sizeof letters - 1)];
        file.fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file.fd_ >= 0)
            file.temporary_ = std::move(name);
        else if (errno != EEXIST || attempt == 100)
            throw writeError(path, errno);
    }
    // A replaced picture keeps its permissions, as a rewritten one would.
    if (replacing)
        ::fchmod(file.fd_, old.st_mode & 07777);
    file.append(bytes);
    return file;
}

void StagedFile::append(std::span<const std::byte> bytes)
{
    if (fd_ < 0)
        throw files::notStaged(path_);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw writeError(path_, n < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    // Hand the bytes to the disk now, so that commit() mostly finds them there.
    if (durability_ == Durability::Synced && !bytes.empty())
        ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void StagedFile::sync() noexcept
{
    if (fd_ < 0)
        return;
    error_ = durability_ == Durability::Unsynced || ::fdatasync(fd_) == 0 ? 0 : errno;
    if (::close(std::exchange(fd_, -1)) != 0 && error_ == 0)
        error_ = errno;
}

void StagedFile::commit()
{
    if (temporary_.empty())
        throw files::notStaged(path_);
    sync();
    if (error_ == 0 && ::rename(temporary_.c_str(), target_.c_str()) != 0)
        error_ = errno;
    if (error_ != 0) {
        discard();
        throw writeError(path_, error_);
    }
    temporary_.clear();
}

} // namespace glimmer
