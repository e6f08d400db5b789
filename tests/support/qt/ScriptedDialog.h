#pragma once

#include "platform/CommonDialog.h"
#include "platform/MessageBox.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

namespace glimmer::test {

// A file dialog that records how it was configured each time it was shown
// and answers from a prepared queue (an empty queue answers with Cancel).
class ScriptedDialog : public CommonDialog {
public:
    struct Shown {
        bool save;
        long flags;
        QString filter;
        int filterIndex;
        QString fileName;
        bool cancelError;
        QString defaultExt;
        int maxFileSize;
    };

    // The next dialog confirms these absolute paths, with the type list left
    // at `filterIndex` (0: as it was preselected).
    void answer(QStringList paths, int filterIndex = 0) { answers_.push_back({std::move(paths), filterIndex}); }
    void answer(const QString& path, int filterIndex = 0) { answer(QStringList{path}, filterIndex); }
    // The next dialog is cancelled.
    void cancel() { answers_.push_back({std::nullopt, 0}); }

    const std::vector<Shown>& shown() const { return shown_; }
    const Shown& last() const { return shown_.back(); }

protected:
    std::optional<std::vector<std::string>> run(Mode mode) override;

private:
    struct Answer {
        std::optional<QStringList> paths;
        int filterIndex;
    };
    std::deque<Answer> answers_;
    std::vector<Shown> shown_;
};

// A message box that only remembers what it was asked to show.
class RecordingMessageBox : public MessageBox {
public:
    struct Message {
        QString text;
        QString title;
        Icon icon;
    };
    void show(const std::string& text, const std::string& title, Icon icon) override
    {
        messages.push_back({QString::fromStdString(text), QString::fromStdString(title), icon});
    }
    QStringList texts() const
    {
        QStringList t;
        for (const Message& m : messages)
            t << m.text;
        return t;
    }
    std::vector<Message> messages;
};

} // namespace glimmer::test
