#pragma once

#include <string>

namespace glimmer {

// Progress of a long run, with a way for the user to stop it.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void start(int total) = 0;
    // `done` of the total are finished and `current` (UTF-8) comes next;
    // false once the user has asked to stop.
    virtual bool advance(int done, const std::string& current) = 0;
    virtual void finish() = 0;
};

} // namespace glimmer
