#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace glimmer::seeds {

// Metafiles built to cost as much as the limits let them: each either plays
// within the work budget or is refused with `error` (a FormatError text;
// empty when it plays). `small` ones are kept as regression inputs of the
// metafile fuzz target; the others are too large for that and are built
// where they are used.
struct MetafileBomb {
    std::string name;
    std::vector<std::byte> bytes;
    std::string error;
    bool small = false;
};

std::vector<MetafileBomb> metafileBombs();

} // namespace glimmer::seeds
