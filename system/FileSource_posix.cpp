#include "system/FileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace glimmer {

namespace {

using Code = FormatError::Code;

[[noreturn]] void cannotBeRead(int error)
{
    throw FormatError(Code::Io, std::string("cannot be read: ") + std::strerror(error));
}

class FileSource final : public ByteSource {
public:
    explicit FileSource(int fd) noexcept : fd_(fd) {}
    ~FileSource() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Its size, once: the file as it was opened.
    void check()
    {
        if (fd_ < 0)
            cannotBeRead(EBADF);
        struct stat st {};
        if (::fstat(fd_, &st) != 0)
            cannotBeRead(errno);
        if (S_ISDIR(st.st_mode))
            throw FormatError(Code::Io, "is a folder, not a file");
        if (!S_ISREG(st.st_mode))
            throw FormatError(Code::Io, "is not a regular file");
        size_ = static_cast<std::uint64_t>(st.st_size);
    }

    std::uint64_t size() override { return size_; }

    std::size_t readAt(std::uint64_t offset, std::span<std::byte> into) override
    {
        std::size_t done = 0;
        while (done < into.size()) {
            const ssize_t got = ::pread(fd_, into.data() + done, into.size() - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                cannotBeRead(errno);
            if (got == 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

} // namespace

std::unique_ptr<ByteSource> fileSourceFromDescriptor(int fd)
{
    auto source = std::make_unique<FileSource>(fd);
    source->check();
    return source;
}

std::unique_ptr<ByteSource> openFileSource(const std::string& utf8Path)
{
    // Non-blocking, so that a FIFO is refused rather than waited on; reads
    // from a regular file are not affected.
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        cannotBeRead(errno);
    return fileSourceFromDescriptor(fd);
}

} // namespace glimmer
