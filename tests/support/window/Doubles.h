#pragma once

#include "formats/FormatError.h"
#include "platform/CommonDialog.h"
#include "platform/MessageBox.h"
#include "platform/Progress.h"
#include "preview/Components.h"
#include "tests/support/RecordingMessageBox.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The window's test doubles, whatever toolkit draws the window: a file
// dialog answering from a script, a message box that only records, progress
// that can stop the run, and document components answering from a table.
// Texts and paths are UTF-8.
namespace glimmer::test {

// A file dialog that records how it was configured each time it was shown
// and answers from a prepared queue (an empty queue answers with Cancel).
class ScriptedDialog : public CommonDialog {
public:
    struct Shown {
        bool save;
        long flags;
        std::string filter;
        int filterIndex;
        std::string fileName;
        bool cancelError;
        std::string defaultExt;
        int maxFileSize;
    };

    // The next dialog confirms these absolute paths, with the type list left
    // at `filterIndex` (0: as it was preselected).
    void answer(std::vector<std::string> paths, int filterIndex = 0)
    {
        answers_.push_back({std::move(paths), filterIndex});
    }
    void answer(const std::string& path, int filterIndex = 0) { answer(std::vector<std::string>{path}, filterIndex); }
    // The next dialog is cancelled.
    void cancel() { answers_.push_back({std::nullopt, 0}); }

    const std::vector<Shown>& shown() const { return shown_; }
    const Shown& last() const { return shown_.back(); }

protected:
    std::optional<std::vector<std::string>> run(Mode mode) override;

private:
    struct Answer {
        std::optional<std::vector<std::string>> paths;
        int filterIndex;
    };
    std::deque<Answer> answers_;
    std::vector<Shown> shown_;
};

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
        steps.push_back(current);
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
    std::vector<std::string> steps;
};

// What a scripted document answers. An empty optional makes that operation fail.
struct ScriptedDocumentData {
    std::optional<std::int32_t> version;
    std::optional<Picture> thumbnail;
    std::optional<Picture> propertyPicture;
    std::optional<std::string> displayName;
    std::optional<std::string> name;
};

// Components that answer from a table of paths, and count what was asked of them.
class ScriptedComponents : public Components {
public:
    std::map<std::string, ScriptedDocumentData> documents;   // by path; a missing path cannot be opened
    int serversCreated = 0;
    int readersCreated = 0;
    int openDocuments = 0;   // opened and not yet closed by CloseAll
    int thumbnailCalls = 0;
    int propertySetCalls = 0;
    std::vector<std::string> opened;   // every path OpenDocument was asked for

    std::unique_ptr<DocumentServer> createDocumentServer() override;
    std::unique_ptr<PropertyReader> createPropertyReader() override;
};

} // namespace glimmer::test
