#pragma once

#include <atomic>
#include <compare>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the converter asks of the system beside the engine's services: a
// source per system (System_posix.cpp, System_win32.cpp). Paths are UTF-8
// text on every system.
namespace glimmer::convert {

// What divides the parts of a path: '/', and on Windows '\' too.
#ifdef _WIN32
inline constexpr std::string_view PathSeparators = "/\\";
inline constexpr char NativeSeparator = '\\';
#else
inline constexpr std::string_view PathSeparators = "/";
inline constexpr char NativeSeparator = '/';
#endif

// The std::filesystem path of UTF-8 text, and back: never through the code page.
inline std::filesystem::path pathOf(std::string_view utf8)
{
    return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}
inline std::string textOf(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return {reinterpret_cast<const char*>(text.data()), text.size()};
}

// The command line's arguments without the program's name, as UTF-8 (on
// Windows read again from the wide command line, whatever the code page).
std::vector<std::string> commandLineArguments(int argc, char* argv[]);

// Called first: makes the standard streams write the bytes given, UTF-8
// lines ending in a bare newline; on a Windows console, shown as UTF-8 with
// the terminal's escape sequences understood (the console's code page is
// restored at exit). On Windows, Ctrl+C then ends the program at once with
// 130 until takeInterruptions(), as SIGINT ends it on Linux.
void prepareProcess();

// Whether `stream` is a terminal (a console on Windows).
bool isTerminal(std::FILE* stream);

// The cores this process may run on.
int coresAvailable();

// One file or folder, whatever the path it is reached by: a device and an
// inode, or a volume serial number and a file index.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    auto operator<=>(const FileIdentity&) const = default;
};
// The identity of what `path` leads to (through links); none when it cannot be known.
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);

// What an entry of a folder is: a link or not (on Windows, a symbolic link
// or a junction), and what it leads to.
struct EntryKind {
    enum Target { Nothing, File, Folder, Other };   // Other: a device, a FIFO, a socket
    bool link = false;
    Target target = Nothing;
};
EntryKind kindOf(const std::filesystem::directory_entry& entry);

// A key for `absolute` (an absolute, normal path) under which two spellings
// of one file are equal: the path itself, or on Windows its upper case, as
// names there are found whatever their case.
std::string pathKey(std::string absolute);

// Interruptions (SIGINT, SIGTERM, SIGHUP; Ctrl+C, Ctrl+Break and a closed
// console window) set `interrupted`, so that a run can stop between
// documents and leave no temporary file behind; a second one ends the
// program at once. holdInterruptions() is called before any thread starts
// (POSIX signals are then left to one thread of their own), and
// takeInterruptions() once the process is confined.
void holdInterruptions();
void takeInterruptions(std::atomic<bool>& interrupted);

} // namespace glimmer::convert
