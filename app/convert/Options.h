#pragma once

#include "preview/OutputFile.h"

#include <string>
#include <string_view>
#include <vector>

namespace glimmer::convert {

using glimmer::OutputType;

// The output extension of a type, with its dot: ".bmp".
std::string_view extensionOf(OutputType type);

// Paths are the bytes given on the command line (UTF-8 where they are text).
struct Options {
    std::vector<std::string> paths;   // documents and folders, as given
    OutputType type = OutputType::Bmp;
    int size = 240;                   // box or thumbnail size; 0: the preview's own
    std::string outputDir;            // empty: beside each document
    bool recursive = false;
    bool followLinks = false;         // into symbolic links to folders
    bool force = false;               // write pictures that are up to date too
    int jobs = 1;
    bool quiet = false;
    bool verbose = false;             // say how the readers are confined
    bool json = false;
    bool dryRun = false;
};

// Larger boxes would be pictures of gigabytes.
inline constexpr int MaxSize = 4096;
inline constexpr int MaxJobs = 256;

struct Arguments {
    enum class Action { Run, Help, Version, Usage };
    Action action = Action::Usage;
    Options options;
    std::string error;   // for Usage: what is wrong
};

// Reads the command line (without the program name). Short options may be
// run together ("-rfj2"); a value follows its option as the next argument,
// directly ("-j2") or after "=" ("--jobs=2"); "--" ends the options. Without
// -j the jobs are `defaultJobs`.
Arguments parseArguments(const std::vector<std::string>& arguments, int defaultJobs);

// The --help text.
const char* helpText();

} // namespace glimmer::convert
