#pragma once

#include <optional>
#include <string>
#include <vector>

namespace glimmer {

// The file dialog as the window's commands use it: set the properties, call
// ShowOpen or ShowSave, read FileName. A confirmed dialog makes the chosen
// folder the process's current directory. Texts are UTF-8.
class CommonDialog {
public:
    // Flag values the window uses.
    static constexpr long AllowMultiselect = 0x200;
    static constexpr long Explorer = 0x80000;

    virtual ~CommonDialog() = default;

    long Flags = 0;
    // Description and pattern pairs separated by '|'.
    std::string Filter;
    // In: the 1-based index of the pair to preselect; 0 or out of range
    // selects none. Out, when confirmed: the pair the user left picked.
    int FilterIndex = 0;
    // In: the initial folder and name. Out: the result; empty when cancelled.
    // A multiple selection comes back as the folder, then each bare name,
    // separated by NUL characters.
    std::string FileName;
    bool CancelError = false;
    std::string DefaultExt;
    // The largest result, in characters, the caller's buffer can take.
    int MaxFileSize = 260;

    void ShowOpen();
    void ShowSave();

    // The description/pattern pairs of Filter.
    struct FilterPair {
        std::string description;
        std::string pattern;
    };
    static std::vector<FilterPair> filterPairs(const std::string& filter);

    // Raised by ShowOpen when a selection does not fit MaxFileSize.
    static constexpr int BufferTooSmall = 20476;

protected:
    enum class Mode { Open, Save };
    // Returns the chosen absolute paths, or nothing when cancelled.
    virtual std::optional<std::vector<std::string>> run(Mode mode) = 0;

private:
    void show(Mode mode);
};

} // namespace glimmer
