#include "system/Files.h"

#include <cstring>
#include <utility>

// What writing files whole is on every system; the calls that differ are in
// Files_posix.cpp and Files_win32.cpp.
namespace glimmer {

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
