#include "ScriptedDialog.h"

namespace glimmer::test {

std::optional<std::vector<std::string>> ScriptedDialog::run(Mode mode)
{
    shown_.push_back({mode == Mode::Save, Flags, QString::fromStdString(Filter), FilterIndex,
                      QString::fromStdString(FileName), CancelError, QString::fromStdString(DefaultExt), MaxFileSize});
    if (answers_.empty())
        return std::nullopt;
    Answer a = std::move(answers_.front());
    answers_.pop_front();
    if (a.paths && a.filterIndex > 0)
        FilterIndex = a.filterIndex;
    if (!a.paths)
        return std::nullopt;
    std::vector<std::string> paths;
    for (const QString& path : *a.paths)
        paths.push_back(path.toStdString());
    return paths;
}

} // namespace glimmer::test
