#include "system/Files.h"
#include "system/FileErrors.h"
#include "system/Win32Path.h"
#include "formats/FormatError.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <utility>

namespace glimmer {

namespace {

using Kind = FileError::Kind;
using files::InTheWay;
using files::notAFile;
using files::quoted;

// The folder a file at `path` lies in: either slash divides a Windows path.
std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos)
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
    if (slash == 0 || (slash == 2 && path[1] == ':'))
        return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

// The wide path, or empty when `path` is not UTF-8 (nothing is found there).
std::wstring wide(const std::string& path)
{
    try {
        return win32::widePath(path);
    } catch (const FormatError&) {
        return {};
    }
}

DWORD attributesOf(const std::string& path)
{
    const std::wstring w = wide(path);
    return w.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(w.c_str());
}

// The C library's error number for a Windows error code.
int errnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    default:
        return EIO;
    }
}

// The error for a file that could not be written, by what is in the way.
FileError writeError(const std::string& path, int error, const std::string& reason)
{
    const DWORD folder = attributesOf(folderOf(path));
    if (folder == INVALID_FILE_ATTRIBUTES || !(folder & FILE_ATTRIBUTE_DIRECTORY))
        return files::writeError(path, error, reason, InTheWay::MissingFolder);
    const DWORD attributes = attributesOf(path);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return files::writeError(path, error, reason, InTheWay::Folder);
    if (error == EACCES || (exists && (attributes & FILE_ATTRIBUTE_READONLY)))
        return files::writeError(path, error, reason, InTheWay::NotWritable);
    return files::writeError(path, error, reason, InTheWay::Other);
}

FileError writeError(const std::string& path, int error)
{
    return writeError(path, error, errorText(error));
}

// The file a write to `path` replaces. Raises when what is there is not a
// regular file: a folder, or a device (CON, NUL, COM1...).
std::string writeTarget(const std::string& path)
{
    const std::wstring w = wide(path);
    if (w.empty())
        throw FileError(Kind::BadFileName, EINVAL, "Bad file name: " + quoted(path) + " is not UTF-8");
    const DWORD attributes = ::GetFileAttributesW(w.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return path;   // nothing there, or not reachable: the write names the reason
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        throw notAFile(path, "is a folder", EISDIR);
    const HANDLE file = ::CreateFileW(w.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const DWORD type = ::GetFileType(file);
        ::CloseHandle(file);
        if (type != FILE_TYPE_DISK)
            throw notAFile(path, "is not a regular file");
    }
    return path;
}

} // namespace

void StagedFile::discard() noexcept
{
    if (fd_ >= 0)
        ::_close(std::exchange(fd_, -1));
    if (!temporary_.empty())
        ::DeleteFileW(wide(std::exchange(temporary_, {})).c_str());
}

StagedFile StagedFile::stage(const std::string& path, std::span<const std::byte> bytes, Durability durability)
{
    if (path.empty())
        throw FileError(Kind::BadFileName, ENOENT, "Bad file name: the path is empty");
    StagedFile file;
    file.path_ = path;
    file.durability_ = durability;
    file.target_ = writeTarget(path);
    const DWORD old = attributesOf(file.target_);
    if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY))
        throw writeError(path, EACCES, "the file is not writable");

    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; file.fd_ < 0; ++attempt) {
        std::string name = file.target_ + ".part-";
        for (int i = 0; i < 6; ++i)
            name += letters[random() % (sizeof letters - 1)];
        // Binary: no CR before each LF.
        file.fd_ = ::_wopen(wide(name).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE);
        if (file.fd_ >= 0)
            file.temporary_ = std::move(name);
        else if (errno != EEXIST || attempt == 100)
            throw writeError(path, errno);
    }
    file.append(bytes);
    return file;
}

void StagedFile::append(std::span<const std::byte> bytes)
{
    if (fd_ < 0)
        throw files::notStaged(path_);
    for (std::size_t done = 0; done < bytes.size();) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        const int n = ::_write(fd_, bytes.data() + done, chunk);
        if (n <= 0)
            throw writeError(path_, n < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(n);
    }
}

void StagedFile::sync() noexcept
{
    if (fd_ < 0)
        return;
    error_ = durability_ == Durability::Unsynced || ::_commit(fd_) == 0 ? 0 : errno;
    if (::_close(std::exchange(fd_, -1)) != 0 && error_ == 0)
        error_ = errno;
}

void StagedFile::commit()
{
    if (temporary_.empty())
        throw files::notStaged(path_);
    sync();
    // rename() never replaces a file on Windows; MoveFileEx does, in one step
    // on the same volume.
    if (error_ == 0
        && !::MoveFileExW(wide(temporary_).c_str(), wide(target_).c_str(),
                          MOVEFILE_REPLACE_EXISTING | (durability_ == Durability::Synced ? MOVEFILE_WRITE_THROUGH : 0)))
        error_ = errnoOf(::GetLastError());
    if (error_ != 0) {
        discard();
        throw writeError(path_, error_);
    }
    temporary_.clear();
}

} // namespace glimmer
