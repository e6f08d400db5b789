#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace glimmer::test {

// How to run a program besides its arguments.
struct ProcessOptions {
    // Set in the program's environment, over this process's own.
    std::vector<std::pair<std::string, std::string>> environment;
    // Soft and hard limits set in the program before it starts (RLIMIT_AS, RLIMIT_FSIZE...).
    std::vector<std::pair<int, rlim_t>> limits;
    // Signals the program starts with ignored (SIGXFSZ, to see a write fail instead).
    std::vector<int> ignoredSignals;
    // Past this the program is killed and the run counts as timed out.
    std::chrono::milliseconds timeout = std::chrono::minutes(5);
    // Called once, with the program's process id, when it first writes to its standard output.
    std::function<void(pid_t)> onFirstOutput;
};

struct ProcessResult {
    int exitCode = -1;   // -1 unless the program exited by itself
    int signal = 0;      // the signal that ended it, if one did
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs `program` (a path, or a name looked up in PATH) with `arguments`, its
// standard input empty, and waits for it to end.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

// The path of the program `name` in PATH, if there is one.
std::optional<std::string> findExecutable(const std::string& name);

// The number of lines (newline characters) in `text`.
int lineCount(const std::string& text);
// `text` cut at its newlines, empty lines left out.
std::vector<std::string> splitLines(const std::string& text);

} // namespace glimmer::test
