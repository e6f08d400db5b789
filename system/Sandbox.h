#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Confinement for the programs that read documents from anyone (the
// thumbnailer, the converter): once a program has opened what it needs, it
// gives up the rest, so that a fault in a reader leaves an attacker a
// process that can do little more than finish its pictures. On Linux,
// seccomp and Landlock; on Windows, a job object (restrictProcess), where
// restrictCalls and restrictFiles do nothing.
//
// Two mechanisms, both inherited by threads started afterwards and kept
// across fork:
// - seccomp: the kernel checks each system call against a filter (a short
//   BPF program written here: an allow list or a deny list of call numbers,
//   a check of the architecture, no PROT_EXEC memory). A refused call fails
//   with EPERM, so that the program's own error handling ends the run with
//   its one line and leaves no file behind.
// - Landlock (Linux 5.13 and later): file access only below given paths.
namespace glimmer::sandbox {

// GLIMMER_NO_SANDBOX=1 in the environment: confine nothing, for debugging
// (a debugger, strace, a core dump need what the sandbox refuses).
bool disabledByEnvironment();

// What a process may still call once its filter is installed.
enum class Calls {
    // Read, write and close the descriptors it holds; memory (none of it
    // executable); file status and access checks; the rename of a temporary
    // file into place or its removal; signals to itself; exit. Opening
    // anything, exec, sockets, ptrace, new processes and threads are refused.
    HeldFiles,
    // Everything but exec, sockets, ptrace, io_uring and a few other kernel
    // surfaces no converter needs.
    NoExecNoNetwork,
};

// Sets no_new_privs and installs the filter for `calls` on every thread of
// the process. Raises std::system_error when the kernel refuses.
void restrictCalls(Calls calls);

// File access for Landlock: documents to read, folders to write below.
struct Files {
    std::vector<std::string> readable;   // files or folders (and everything below)
    std::vector<std::string> writable;   // folders: make, write, replace and remove files below
    bool makeFolders = false;            // folders may be made below the writable ones
};

enum class Landlock { Applied, Unsupported };

// Confines this thread, and threads and processes it starts afterwards, to
// `files`; nothing else can be opened, made or removed, nor a TCP port
// bound or connected (where the kernel knows how). Call before starting
// threads. Sets no_new_privs. Unsupported where the kernel lacks Landlock
// (or it is turned off); raises std::system_error when a path cannot be
// opened or the kernel refuses.
Landlock restrictFiles(const Files& files);

#ifdef _WIN32
// Windows: puts this process in a job object of its own, which lets it start
// no process and commit at most `memory` bytes (no more than the machine
// has). A limit the system refuses is left out and said in `refused`; the
// rest holds. Threads are not limited.
struct ProcessLimits {
    bool noProcesses = false;
    std::uint64_t memory = 0;   // the cap in bytes; 0 when there is none
    std::string refused;        // what the system refused, and why; empty when nothing was
    std::string wine;           // under Wine, its version: Wine takes the limits but may not enforce them
};
ProcessLimits restrictProcess(std::uint64_t memory);
#endif

} // namespace glimmer::sandbox
