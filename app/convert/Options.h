#pragma once

#include <QString>
#include <QStringList>

namespace glimmer::convert {

// The kinds of picture the converter writes.
enum class OutputType { Bmp, Jpg, Wmf, Png };

// The output extension of a type, with its dot: ".bmp".
QString extensionOf(OutputType type);

struct Options {
    QStringList paths;              // documents and folders, as given
    OutputType type = OutputType::Bmp;
    int size = 240;                 // box or thumbnail size; 0: the preview's own
    QString outputDir;              // empty: beside each document
    bool recursive = false;
    bool followLinks = false;       // into symbolic links to folders
    bool force = false;             // write pictures that are up to date too
    int jobs = 1;
    bool quiet = false;
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
    QString error;   // for Usage: what is wrong
};

// Reads the command line (without the program name). Without -j the jobs
// are `defaultJobs`.
Arguments parseArguments(const QStringList& arguments, int defaultJobs);

// The --help text.
QString helpText();

} // namespace glimmer::convert
