#include "system/Files.h"
#include "system/FileErrors.h"

#include <cstring>
#include <utility>

// What writing files whole is on every system; the calls that differ are in
// Files_posix.cpp and Files_win32.cpp.
namespace glimmer {

namespace files {

std::string quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

FileError writeError(const std::string& path, int error, const std::string& reason, InTheWay what)
{
    using Kind = FileError::Kind;
    switch (what) {
    case InTheWay::MissingFolder:
        return {Kind::PathNotFound, error, "Path not found: cannot write " + quoted(path) + " (" + reason + ")"};
    case InTheWay::Folder:
        return {Kind::Access, error, "Path/File access error: " + quoted(path) + " is a folder (" + reason + ")"};
    case InTheWay::NotWritable:
        return {Kind::PermissionDenied, error, "Permission denied: cannot write " + quoted(path) + " (" + reason + ")"};
    case InTheWay::Other:
        break;
    }
    return {Kind::Access, error, "Path/File access error: cannot write " + quoted(path) + " (" + reason + ")"};
}

FileError notAFile(const std::string& path, const std::string& what, int error)
{
    return {FileError::Kind::Access, error, "Path/File access error: " + quoted(path) + " " + what};
}

FileError notStaged(const std::string& path)
{
    return notAFile(path, "is not staged");
}

} // namespace files

std::string errorText(int error)
{
    return std::strerror(error);
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : path_(std::move(other.path_)), target_(std::move(other.target_)),
      temporary_(std::exchange(other.temporary_, {})), fd_(std::exchange(other.fd_, -1)), error_(other.error_),
      durability_(other.durability_)
{
}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept
{
    if (this != &other) {
        discard();
        path_ = std::move(other.path_);
        target_ = std::move(other.target_);
        temporary_ = std::exchange(other.temporary_, {});
        fd_ = std::exchange(other.fd_, -1);
        error_ = other.error_;
        durability_ = other.durability_;
    }
    return *this;
}

StagedFile::~StagedFile()
{
    discard();
}

void writeFileAtomically(const std::string& path, std::span<const std::byte> bytes, Durability durability)
{
    StagedFile::stage(path, bytes, durability).commit();
}

} // namespace glimmer
