#include "Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

extern char** environ;

namespace glimmer::test {

namespace {

std::runtime_error systemError(const char* what)
{
    return std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

// NAME=value strings: this process's environment with `extra` set over it.
std::vector<std::string> environmentWith(const std::vector<std::pair<std::string, std::string>>& extra)
{
    std::map<std::string, std::string> variables;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const auto equals = entry.find('=');
        variables[entry.substr(0, equals)] = equals == std::string::npos ? "" : entry.substr(equals + 1);
    }
    for (const auto& [name, value] : extra)
        variables[name] = value;
    std::vector<std::string> entries;
    for (const auto& [name, value] : variables)
        entries.push_back(name + "=" + value);
    return entries;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

std::optional<std::string> findExecutable(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = (end > start ? folders.substr(start, end - start) : ".") + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0 && !std::filesystem::is_directory(candidate))
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options)
{
    // Everything the child needs is made before the fork: after it, only
    // calls that are safe in a copy of a threaded process.
    const std::string path = findExecutable(program).value_or(program);
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envp = environmentWith(options.environment);
    const std::vector<char*> argvPointers = pointersTo(argv);
    const std::vector<char*> envpPointers = pointersTo(envp);

    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw systemError("pipe");
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        throw systemError("pipe");
    }
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(nothing, STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        for (const auto& [resource, value] : options.limits) {
            const rlimit limit{value, value};
            ::setrlimit(resource, &limit);
        }
        for (const int s : options.ignoredSignals)
            ::signal(s, SIG_IGN);
        ::execve(path.c_str(), argvPointers.data(), envpPointers.data());
        ::_exit(127);
    }
    ::close(nothing);
    ::close(out[1]);
    ::close(err[1]);
    if (pid < 0) {
        ::close(out[0]);
        ::close(err[0]);
        throw systemError("fork");
    }

    ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* into[2] = {&result.out, &result.err};
    bool toldOutput = false;
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        const int ready = ::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[65536];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                into[i]->append(buffer, static_cast<std::size_t>(n));
                if (i == 0 && !toldOutput && options.onFirstOutput) {
                    toldOutput = true;
                    options.onFirstOutput(pid);
                }
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    for (const pollfd& f : fds)
        if (f.fd >= 0)
            ::close(f.fd);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && !result.timedOut)
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

bool interruptProcess(ProcessId process)
{
    return ::kill(process, SIGINT) == 0;
}

} // namespace glimmer::test
