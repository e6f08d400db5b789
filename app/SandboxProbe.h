#pragma once

// Compiled only into the probe builds of the thumbnailer and the converter
// (GLIMMER_SANDBOX_PROBE, set on targets that are built for the tests and
// never installed): after confining itself, such a program does what a
// taken-over reader would try, named by GLIMMER_PROBE, and raises as a
// failing reader does, so that the program's own error handling reports it.
//   open            read /etc/passwd
//   create:PATH     create the file PATH
//   exec            start /bin/true (success ends the process with 0)
//   socket          open a TCP socket
// On Windows, where files and sockets are not confined, only:
//   exec            start %SystemRoot%\System32\cmd.exe /c exit
#ifdef _WIN32
#include <process.h>
#else
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace glimmer::probe {

inline void tryForbidden()
{
    const char* probe = std::getenv("GLIMMER_PROBE");
    if (!probe)
        return;
    const std::string_view what = probe;
    const auto refused = [](const std::string& attempt) {
        throw std::system_error(errno, std::generic_category(), "probe: cannot " + attempt);
    };
#ifdef _WIN32
    if (what == "exec") {
        const char* root = std::getenv("SystemRoot");
        const std::string cmd = std::string(root ? root : "C:\\windows") + "\\System32\\cmd.exe";
        if (::_spawnl(_P_WAIT, cmd.c_str(), "cmd.exe", "/c", "exit", nullptr) < 0)
            refused("start cmd.exe");
        throw std::runtime_error("probe: started cmd.exe");
    }
#else
    if (what == "open") {
        const int fd = ::open("/etc/passwd", O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            refused("open /etc/passwd");
        throw std::runtime_error("probe: opened /etc/passwd");
    }
    if (what.starts_with("create:")) {
        const std::string path(what.substr(7));
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            refused("create " + path);
        throw std::runtime_error("probe: created " + path);
    }
    if (what == "exec") {
        char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
        ::execv("/bin/true", argv);
        refused("start /bin/true");
    }
    if (what == "socket") {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            refused("open a socket");
        throw std::runtime_error("probe: opened a socket");
    }
#endif
    throw std::invalid_argument("probe: unknown GLIMMER_PROBE");
}

} // namespace glimmer::probe
