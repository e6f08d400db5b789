#pragma once

#include "app/convert/Options.h"
#include "app/convert/Plan.h"
#include "system/Sandbox.h"

#include <string>
#include <vector>

namespace glimmer::convert {

// What a run may touch once it is confined: it reads under the PATHs (and,
// with -L, the documents found through links, wherever they lie); it writes
// only under the output folder, or in the folders of the pictures beside
// their documents; a dry run writes nowhere.
sandbox::Files filesOf(const Options& options, const std::vector<Job>& jobs);

// Confines the process before it reads a document: on Linux, Landlock to
// filesOf() where the kernel has it, and a filter that refuses exec, sockets
// and ptrace; on Windows, a job object that refuses child processes and caps
// the memory. Makes the output folder first (the rules need it to exist).
// Call before starting any thread. Raises std::system_error when the kernel
// refuses (a Windows that refuses says so in the line, and the run goes on).
struct Confinement {
    bool files = false;   // by Landlock; false where the kernel lacks it, on Windows, or with GLIMMER_NO_SANDBOX=1
    std::string line;     // how the run is confined, for -v (without the program's name)
};
Confinement confine(const Options& options, const std::vector<Job>& jobs);

} // namespace glimmer::convert
