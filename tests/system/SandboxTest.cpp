// The system call filters, each tried in a child process of its own: what
// they let through and what they refuse.
#include "system/Sandbox.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using glimmer::sandbox::Calls;

namespace {

// The error number of `attempt` (0 when it succeeded) in a child confined to `calls`.
int errorOf(Calls calls, const std::function<bool()>& attempt)
{
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            glimmer::sandbox::restrictCalls(calls);
        } catch (...) {
            ::_exit(100);
        }
        errno = 0;
        ::_exit(attempt() ? 0 : errno);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + WTERMSIG(status);
}

void* map(int protection)
{
    return ::mmap(nullptr, 4096, protection, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
}

} // namespace

TEST(Sandbox, FiltersLetThroughWhatTheyMustAndRefuseTheRest)
{
    const std::string planted = ::testing::TempDir() + "/glimmer-sandbox-planted";
    ::unlink(planted.c_str());
    const pid_t parent = ::getpid();
    struct Row {
        const char* name;
        Calls calls;
        std::function<bool()> attempt;
        int error;   // 0: allowed
    };
    const Row rows[] = {
        {"write a held descriptor", Calls::HeldFiles, [] { return ::write(STDOUT_FILENO, "", 0) == 0; }, 0},
        {"memory", Calls::HeldFiles, [] { return map(PROT_READ | PROT_WRITE) != MAP_FAILED; }, 0},
        {"executable memory", Calls::HeldFiles, [] { return map(PROT_READ | PROT_EXEC) != MAP_FAILED; }, EPERM},
        {"memory made executable", Calls::HeldFiles,
         [] { void* p = map(PROT_READ); return p != MAP_FAILED && ::mprotect(p, 4096, PROT_READ | PROT_EXEC) == 0; }, EPERM},
        {"a signal to itself", Calls::HeldFiles, [] { return ::kill(::getpid(), 0) == 0; }, 0},
        {"a signal to another process", Calls::HeldFiles, [parent] { return ::kill(parent, 0) == 0; }, EPERM},
        {"create a file", Calls::HeldFiles,
         [&] { return ::open(planted.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600) >= 0; }, EPERM},
        {"a socket", Calls::HeldFiles, [] { return ::socket(AF_UNIX, SOCK_STREAM, 0) >= 0; }, EPERM},
        {"exec", Calls::HeldFiles, [] { return ::execl("/bin/true", "true", nullptr) == 0; }, EPERM},
#if !defined(__SANITIZE_ADDRESS__)   // the sanitizers' leak checker starts a tracer
        {"a new process", Calls::HeldFiles, [] { return ::fork() >= 0; }, EPERM},
#endif
        {"create a file, only exec and sockets refused", Calls::NoExecNoNetwork,
         [&] { return ::open(planted.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600) >= 0; }, 0},
        {"a socket, only exec and sockets refused", Calls::NoExecNoNetwork,
         [] { return ::socket(AF_UNIX, SOCK_STREAM, 0) >= 0; }, EPERM},
        {"exec, only exec and sockets refused", Calls::NoExecNoNetwork,
         [] { return ::execl("/bin/true", "true", nullptr) == 0; }, EPERM},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(errorOf(r.calls, r.attempt), r.error);
    }
    EXPECT_EQ(::unlink(planted.c_str()), 0);   // made once, by the filter that allows it
}
