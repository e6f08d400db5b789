#pragma once

#include "app/convert/Options.h"

#include <string>
#include <string_view>
#include <vector>

namespace glimmer::convert {

// One document of a run and where its picture goes.
struct Job {
    std::string document;   // the path as found: a PATH, or a PATH joined with the path below it
    std::string output;     // the picture's path; empty when `problem` is set
    std::string problem;    // set for a path that fails before it is read: missing, not a document, a folder that cannot be read
};

// The documents that `options.paths` yield, in the order of the PATHs and,
// within each, sorted by path; with their picture names. Only the folders
// are read, never the documents. A document met twice is taken once.
std::vector<Job> planJobs(const Options& options);

// Where the picture of `document` goes, with its plain name (the document's
// name without its extension) and, when `nameTaken`, with the document's
// whole name: "lid.ipt" gives "lid.bmp", or "lid.ipt.bmp" when "lid.bmp"
// belongs to another document of the run. `folder` is the picture's folder.
std::string pictureName(std::string_view folder, std::string_view documentName, std::string_view extension,
                        bool nameTaken);

// The folder part of a path: "a" of "a/b.ipt", "." of "b.ipt", "/" of "/b.ipt".
std::string folderOf(std::string_view path);

} // namespace glimmer::convert
