#pragma once

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/types.h>
#endif

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace glimmer::test {

// Process.cpp (POSIX: fork and exec) or Process_win32.cpp (CreateProcessW).
#ifdef _WIN32
using ProcessId = unsigned long;
#else
using ProcessId = pid_t;
#endif

// How to run a program besides its arguments.
struct ProcessOptions {
    // Set in the program's environment, over this process's own.
    std::vector<std::pair<std::string, std::string>> environment;
#ifndef _WIN32
    // Soft and hard limits set in the program before it starts (RLIMIT_AS, RLIMIT_FSIZE...).
    std::vector<std::pair<int, rlim_t>> limits;
    // Signals the program starts with ignored (SIGXFSZ, to see a write fail instead).
    std::vector<int> ignoredSignals;
#endif
    // Past this the program is killed and the run counts as timed out.
    std::chrono::milliseconds timeout = std::chrono::minutes(5);
    // Called once, with the program's process id, when it first writes to its standard output.
    std::function<void(ProcessId)> onFirstOutput;
};

struct ProcessResult {
    int exitCode = -1;   // -1 unless the program exited by itself (on Windows, unless it was killed)
    int signal = 0;      // the signal that ended it, if one did (never on Windows)
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs `program` (a path, or a name looked up in PATH) with `arguments`, its
// standard input empty, and waits for it to end.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

// Interrupts a program runProcess started: SIGINT, or on Windows Ctrl+Break
// (a program started there has a process group of its own, which Ctrl+C
// cannot be sent to). False when it could not be sent.
bool interruptProcess(ProcessId process);

// The path of the program `name` in PATH, if there is one.
std::optional<std::string> findExecutable(const std::string& name);

// The number of lines (newline characters) in `text`.
int lineCount(const std::string& text);
// `text` cut at its newlines, empty lines left out.
std::vector<std::string> splitLines(const std::string& text);

} // namespace glimmer::test
