#pragma once

// The fuzz input as a file, for readers that open paths: one file in a
// folder made once (in memory where there is /dev/shm), removed at exit.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace glimmer::fuzz {

class InputFile {
public:
    // Makes the folder; the file in it will be called `name`.
    explicit InputFile(const char* name)
    {
        std::string folder =
            ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/glimmer-fuzz-XXXXXX" : "/tmp/glimmer-fuzz-XXXXXX";
        if (!::mkdtemp(folder.data()))
            std::abort();
        path_ = folder + "/" + name;
    }
    ~InputFile()
    {
        remove();
        ::rmdir(path_.substr(0, path_.rfind('/')).c_str());
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& path() const { return path_; }

    // Makes the input the whole content of the file.
    void write(const std::uint8_t* data, std::size_t size) const
    {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            std::abort();
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::write(fd, data + done, size - done);
            if (n <= 0)
                std::abort();
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
    }

    void remove() const { ::unlink(path_.c_str()); }

private:
    std::string path_;
};

} // namespace glimmer::fuzz
