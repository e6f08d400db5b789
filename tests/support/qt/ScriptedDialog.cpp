#include "ScriptedDialog.h"

namespace glimmer::test {

std::optional<QStringList> ScriptedDialog::run(Mode mode)
{
    shown_.push_back({mode == Mode::Save, Flags, Filter, FilterIndex, FileName, CancelError, DefaultExt,
                      MaxFileSize});
    if (answers_.empty())
        return std::nullopt;
    Answer a = std::move(answers_.front());
    answers_.pop_front();
    if (a.paths && a.filterIndex > 0)
        FilterIndex = a.filterIndex;
    return a.paths;
}

} // namespace glimmer::test
