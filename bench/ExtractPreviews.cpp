// The engine's side of the comparison with bench/reference_previews.py: the
// natural-size preview of every document given, read to pixels through the
// fetch the window and the thumbnailer use, one process, one thread.
//   extract_previews [--passes N] DOCUMENT_OR_FOLDER...
// Measure it as a whole process, e.g. /usr/bin/time -f %U+%S.
#include "system/Heap.h"
#include "preview/Fetch.h"
#include "preview/FileComponents.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char* argv[])
{
    glimmer::keepFreedMemoryForReuse();
    int passes = 1;
    int first = 1;
    if (argc >= 3 && std::string(argv[1]) == "--passes") {
        passes = std::max(1, std::atoi(argv[2]));
        first = 3;
    }
    std::vector<std::string> paths;
    for (int i = first; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        std::vector<std::filesystem::path> found;
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
                if (entry.is_regular_file() && glimmer::isDocumentName(entry.path().filename().string()))
                    found.push_back(entry.path());
            std::sort(found.begin(), found.end());
        } else {
            found.push_back(arg);
        }
        for (const auto& p : found)
            paths.push_back(p.string());
    }

    glimmer::FileComponents components;
    long read = 0;
    for (int pass = 0; pass < passes; ++pass)
        for (const std::string& path : paths)
            read += !glimmer::fetchPreview(components, path).picture.toImage().isNull();
    std::printf("%ld previews from %zu documents x %d passes\n", read, paths.size(), passes);
    return 0;
}
