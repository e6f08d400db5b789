#include "platform/CommonDialog.h"

#include "platform/Paths.h"
#include "platform/RuntimeError.h"

namespace glimmer {

namespace {

// The characters of UTF-8 text, as the dialog's buffer counts them (UTF-16
// units: a letter beyond the first plane takes two).
std::size_t unitsOf(const std::string& text)
{
    std::size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80)
            units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

} // namespace

std::vector<CommonDialog::FilterPair> CommonDialog::filterPairs(const std::string& filter)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = filter.find('|', start);
        parts.push_back(filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    std::vector<FilterPair> pairs;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2)
        pairs.push_back({parts[i], parts[i + 1]});
    return pairs;
}

void CommonDialog::ShowOpen()
{
    show(Mode::Open);
}

void CommonDialog::ShowSave()
{
    show(Mode::Save);
}

void CommonDialog::show(Mode mode)
{
    const std::optional<std::vector<std::string>> chosen = run(mode);
    if (!chosen || chosen->empty()) {
        FileName.clear();
        return;
    }

    std::string result;
    const std::string folder = folderOf(chosen->front());
    if (chosen->size() == 1) {
        result = absolutePath(chosen->front());
    } else {
        result = folder;
        for (const std::string& path : *chosen)
            result += '\0' + fileNameOf(path);
    }

    if (mode == Mode::Open && (Flags & AllowMultiselect) && unitsOf(result) >= static_cast<std::size_t>(MaxFileSize)) {
        FileName.clear();
        throw RuntimeError(BufferTooSmall, "The selection is too long: choose fewer files at a time.");
    }

    FileName = result;
    setCurrentFolder(folder);
}

} // namespace glimmer
