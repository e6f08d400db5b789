#include "platform/win32/Win32CommonDialog.h"

#include "platform/Paths.h"
#include "platform/RuntimeError.h"
#include "platform/ScopeExit.h"
#include "platform/win32/Utf16.h"

#include <windows.h>
#include <cderr.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace glimmer {

namespace {

namespace fs = std::filesystem;
using win32::fromUtf16;
using win32::toUtf16;

static_assert(CommonDialog::AllowMultiselect == OFN_ALLOWMULTISELECT);
static_assert(CommonDialog::Explorer == OFN_EXPLORER);

// The classic common dialog control raised comdlg32's codes as 0x7FFF less
// the code: FNERR_BUFFERTOOSMALL is 20476.
int numberOf(DWORD code)
{
    return 0x7FFF - static_cast<int>(code);
}
static_assert(0x7FFF - FNERR_BUFFERTOOSMALL == CommonDialog::BufferTooSmall);

std::string reasonOf(DWORD code)
{
    switch (code) {
    case CDERR_DIALOGFAILURE: return "its window could not be created";
    case CDERR_INITIALIZATION: return "it could not be initialised";
    case CDERR_MEMALLOCFAILURE:
    case CDERR_MEMLOCKFAILURE: return "there is not enough memory";
    case CDERR_FINDRESFAILURE:
    case CDERR_LOADRESFAILURE:
    case CDERR_LOCKRESFAILURE:
    case CDERR_LOADSTRFAILURE: return "its resources could not be loaded";
    case FNERR_INVALIDFILENAME: return "the file name it was given is not valid";
    case FNERR_SUBCLASSFAILURE: return "its list of files could not be set up";
    default: return "it was set up wrongly";
    }
}

// The largest buffer we hand the dialog, in characters: far beyond any
// selection, and never gigabytes because of a stray MaxFileSize.
constexpr int LargestBuffer = 1 << 20;

// Room behind the buffer the dialog is told of. Wine's Explorer dialog
// copies a multiple selection without checking nMaxFile: what it writes
// past the end lands here, and is found too long, instead of in the heap.
constexpr std::size_t Slack = 1 << 16;

// The characters a multiple selection's result takes: each string and
// its NUL, and the empty string that ends the list.
std::size_t resultLength(const std::vector<wchar_t>& buffer)
{
    std::size_t end = 0;
    while (end < buffer.size() && buffer[end] != L'\0') {
        end = static_cast<std::size_t>(std::find(buffer.begin() + static_cast<std::ptrdiff_t>(end), buffer.end(), L'\0')
                                       - buffer.begin()) + 1;
    }
    return end + 1;
}

// The filter's pairs as comdlg32 takes them: description NUL pattern NUL
// ..., ended by an empty string. An empty text would end the list early
// and shift every index after it.
std::wstring filterOf(const std::string& filter)
{
    std::wstring pairs;
    for (const CommonDialog::FilterPair& pair : CommonDialog::filterPairs(filter)) {
        const std::string pattern = pair.pattern.empty() ? "*" : pair.pattern;
        pairs += toUtf16(pair.description.empty() ? pattern : pair.description);
        pairs += L'\0';
        pairs += toUtf16(pattern);
        pairs += L'\0';
    }
    return pairs;   // c_str() adds the final NUL
}

std::string pathOf(const fs::path& folder, std::wstring_view name)
{
    return fromUtf16((folder / fs::path(name)).wstring());
}

// The old dialog's multiple selection names the files by their short
// names; the long ones are what the user saw.
std::string longPathOf(const fs::path& folder, std::wstring_view name)
{
    const std::wstring path = (folder / fs::path(name)).wstring();
    const DWORD length = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (length == 0)
        return fromUtf16(path);
    std::wstring full(length, L'\0');
    const DWORD written = ::GetLongPathNameW(path.c_str(), full.data(), length);
    if (written == 0 || written >= length)
        return fromUtf16(path);
    full.resize(written);
    return fromUtf16(full);
}

} // namespace

std::vector<std::string> win32::selectedPaths(std::wstring_view buffer, long flags)
{
    const std::wstring_view first = buffer.substr(0, buffer.find(L'\0'));
    if (!(flags & OFN_ALLOWMULTISELECT))
        return {fromUtf16(first)};

    std::vector<std::string> paths;
    if (flags & OFN_EXPLORER) {
        std::size_t start = first.size() + 1;
        if (start >= buffer.size() || buffer[start] == L'\0')
            return {fromUtf16(first)};
        const fs::path folder(first);
        while (start < buffer.size() && buffer[start] != L'\0') {
            const std::wstring_view name = buffer.substr(start, buffer.find(L'\0', start) - start);
            paths.push_back(pathOf(folder, name));
            start += name.size() + 1;
        }
        return paths;
    }

    // The old dialog: short names have no spaces, so a space separates
    // them; a single file may come back by its long name, spaces and all.
    const std::wstring whole(first);
    const DWORD attributes = ::GetFileAttributesW(whole.c_str());
    if (first.find(L' ') == std::wstring_view::npos
        || (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)))
        return {fromUtf16(first)};
    const std::size_t folderEnd = first.find(L' ');
    const fs::path folder(first.substr(0, folderEnd));
    for (std::size_t start = folderEnd + 1; start < first.size();) {
        std::size_t end = first.find(L' ', start);
        if (end == std::wstring_view::npos)
            end = first.size();
        if (end > start)
            paths.push_back(longPathOf(folder, first.substr(start, end - start)));
        start = end + 1;
    }
    return paths;
}

std::optional<std::vector<std::string>> Win32CommonDialog::run(Mode mode)
{
    // A multiple selection left from before names its folder first.
    const std::string initial = FileName.substr(0, FileName.find('\0'));
    std::wstring folder;
    std::wstring name;
    if (!initial.empty()) {
        if (isFolder(initial)) {
            folder = toUtf16(absolutePath(initial));
        } else {
            folder = toUtf16(folderOf(initial));
            name = toUtf16(fileNameOf(initial));
        }
    }

    const std::size_t size = static_cast<std::size_t>(std::clamp(MaxFileSize, 1, LargestBuffer));
    std::vector<wchar_t> buffer(size + Slack, L'\0');
    if (name.size() < size)
        std::copy(name.begin(), name.end(), buffer.begin());

    const std::wstring filter = filterOf(Filter);
    std::wstring extension = toUtf16(DefaultExt);
    if (!extension.empty() && extension.front() == L'.')
        extension.erase(0, 1);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_;
    dialog.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = FilterIndex > 0 ? static_cast<DWORD>(FilterIndex) : 0;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(size);
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    dialog.Flags = static_cast<DWORD>(Flags);

    // Browsing moves the process's current folder; a cancelled dialog must
    // leave it where it was, and a confirmed one moves it to the chosen
    // folder itself (CommonDialog::show).
    std::vector<wchar_t> current(::GetCurrentDirectoryW(0, nullptr) + 1, L'\0');
    const bool haveCurrent = ::GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data()) > 0;
    const ScopeExit restore([&] {
        if (haveCurrent)
            ::SetCurrentDirectoryW(current.data());
    });

    const BOOL confirmed = mode == Mode::Open ? ::GetOpenFileNameW(&dialog) : ::GetSaveFileNameW(&dialog);
    const DWORD code = confirmed ? 0 : ::CommDlgExtendedError();
    if (!confirmed && code == 0)
        return std::nullopt;
    const bool tooLong = confirmed && (Flags & OFN_ALLOWMULTISELECT) && resultLength(buffer) > size;
    if (code == FNERR_BUFFERTOOSMALL || tooLong) {
        FileName.clear();
        throw RuntimeError(BufferTooSmall, "The selection is too long: choose fewer files at a time.");
    }
    if (!confirmed) {
        FileName.clear();
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%04lX", static_cast<unsigned long>(code));
        throw RuntimeError(numberOf(code), std::string("The ") + (mode == Mode::Open ? "Open" : "Save As")
                                               + " dialog failed: " + reasonOf(code) + " (comdlg32 error " + hex + ").");
    }
    FilterIndex = static_cast<int>(dialog.nFilterIndex);
    return win32::selectedPaths(std::wstring_view(buffer.data(), buffer.size()), Flags);
}

} // namespace glimmer
