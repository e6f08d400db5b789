#pragma once

#include "platform/Progress.h"

#include <QStringList>

#include <functional>

namespace glimmer::test {

// Progress that records what it was told and can stop the run, or act,
// at a chosen point.
class ScriptedProgress : public Progress {
public:
    void start(int count) override
    {
        started = true;
        total = count;
    }
    bool advance(int done, const std::string& current) override
    {
        steps << QString::fromStdString(current);
        if (onAdvance)
            onAdvance(done);
        return stopAt < 0 || done < stopAt;
    }
    void finish() override { finished = true; }

    bool started = false;
    bool finished = false;
    int total = 0;
    int stopAt = -1;                      // the step at which the user cancels
    std::function<void(int)> onAdvance;   // runs at every step
    QStringList steps;
};

} // namespace glimmer::test
