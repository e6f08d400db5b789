#include "app/convert/Convert.h"
#include "app/convert/System.h"
#include "formats/FormatError.h"
#include "system/Win32Path.h"

#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <thread>

namespace glimmer::convert {

namespace {

std::string utf8Of(const wchar_t* text, std::size_t length)
{
    if (length == 0)
        return {};
    // Unpaired surrogates (names Windows allows) become U+FFFD.
    const int size = static_cast<int>(length);
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(std::max(n, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, size, utf8.data(), n, nullptr, nullptr);
    return utf8;
}

HANDLE handleOf(std::FILE* stream)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
}

bool isConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

UINT originalCodePage = 0;

void restoreCodePage()
{
    if (originalCodePage != 0)
        ::SetConsoleOutputCP(originalCodePage);
}

std::atomic<std::atomic<bool>*> interruptedFlag{nullptr};

BOOL WINAPI onControl(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return FALSE;
    }
    // The first once the run has begun stops it between documents; one
    // before (nothing is written yet), or a second, ends the program at once.
    std::atomic<bool>* const interrupted = interruptedFlag.load();
    if (interrupted && !interrupted->exchange(true)) {
        // A closed window ends the process once this returns: the run is
        // given the few seconds Windows waits to put what it staged in place.
        if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
            ::Sleep(INFINITE);
        return TRUE;
    }
    restoreCodePage();
    ::TerminateProcess(::GetCurrentProcess(), 130);
    return TRUE;
}

} // namespace

std::vector<std::string> commandLineArguments(int, char*[])
{
    // The narrow argv is in the active code page (UTF-8 by the manifest from
    // Windows 10 1903 on, the ANSI one before): the wide one is the truth.
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide && i < count; ++i)
        arguments.push_back(utf8Of(wide[i], std::wcslen(wide[i])));
    ::LocalFree(wide);
    return arguments;
}

void prepareProcess()
{
    // Bytes as given, without a carriage return before each newline: the
    // --json lines and messages are those of every other system.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    bool console = false;
    for (std::FILE* stream : {stdout, stderr}) {
        const HANDLE handle = handleOf(stream);
        DWORD mode = 0;
        if (handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode))
            continue;
        console = true;
        ::SetConsoleMode(handle, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
    if (console && ::GetConsoleOutputCP() != CP_UTF8) {
        originalCodePage = ::GetConsoleOutputCP();
        ::SetConsoleOutputCP(CP_UTF8);
        std::atexit(restoreCodePage);
    }
    ::SetConsoleCtrlHandler(onControl, TRUE);
}

bool isTerminal(std::FILE* stream)
{
    return isConsole(handleOf(stream));
}

int coresAvailable()
{
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0)
        return std::popcount(static_cast<std::uint64_t>(process));
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

std::optional<FileIdentity> identityOf(const std::filesystem::path& path)
{
    // A folder opens only with backup semantics; only its attributes are
    // asked for, so any folder that can be listed can be known.
    const HANDLE file = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(file, &info);
    ::CloseHandle(file);
    if (!known)
        return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

EntryKind kindOf(const std::filesystem::directory_entry& entry)
{
    // The C++ library knows no links here: the link's own attributes, then
    // what opening it reaches.
    EntryKind kind;
    const std::wstring& path = entry.path().native();
    const DWORD own = ::GetFileAttributesW(path.c_str());
    if (own == INVALID_FILE_ATTRIBUTES)
        return kind;
    kind.link = own & FILE_ATTRIBUTE_REPARSE_POINT;
    DWORD attributes = own;
    if (kind.link) {
        const HANDLE file = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return kind;   // a link to nothing
        BY_HANDLE_FILE_INFORMATION info{};
        const bool known = ::GetFileInformationByHandle(file, &info);
        const DWORD type = ::GetFileType(file);
        ::CloseHandle(file);
        if (!known || type != FILE_TYPE_DISK) {
            kind.target = EntryKind::Other;
            return kind;
        }
        attributes = info.dwFileAttributes;
    }
    kind.target = attributes & FILE_ATTRIBUTE_DIRECTORY ? EntryKind::Folder
                  : attributes & FILE_ATTRIBUTE_DEVICE  ? EntryKind::Other
                                                        : EntryKind::File;
    return kind;
}

std::string pathKey(std::string absolute)
{
    std::wstring wide;
    try {
        wide = win32::widePath(absolute);
    } catch (const FormatError&) {
        return absolute;
    }
    const int size = static_cast<int>(wide.size());
    std::wstring upper(wide.size(), L'\0');
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), size, upper.data(), size, nullptr,
                        nullptr, 0)
        != size)
        return absolute;
    return utf8Of(upper.data(), upper.size());
}

bool isUpToDate(const std::string& document, const std::string& picture)
{
    WIN32_FILE_ATTRIBUTE_DATA doc{};
    WIN32_FILE_ATTRIBUTE_DATA pic{};
    try {
        if (!::GetFileAttributesExW(win32::widePath(picture).c_str(), GetFileExInfoStandard, &pic)
            || (pic.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
            return false;
        if (!::GetFileAttributesExW(win32::widePath(document).c_str(), GetFileExInfoStandard, &doc))
            return false;
    } catch (const FormatError&) {
        return false;
    }
    return ::CompareFileTime(&pic.ftLastWriteTime, &doc.ftLastWriteTime) > 0;
}

void holdInterruptions()
{
}

void takeInterruptions(std::atomic<bool>& interrupted)
{
    interruptedFlag.store(&interrupted);
    // A process started in a group of its own begins with Ctrl+C ignored.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
}

} // namespace glimmer::convert
