#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Paths as the window's layers hold them: UTF-8 text in the system's own
// form (backslashes on Windows), and the few questions they ask of them.
namespace glimmer {

std::filesystem::path fsPath(const std::string& utf8);
std::string utf8Of(const std::filesystem::path& path);

// `path` made absolute against the current folder and cleaned of "." and
// "..", with the system's separators.
std::string absolutePath(const std::string& path);
// The folder of absolutePath(path).
std::string folderOf(const std::string& path);
// The last component of `path`: "b.ipt" of "a/b.ipt".
std::string fileNameOf(const std::string& path);
// `path` with the system's separators.
std::string nativeSeparators(const std::string& path);

bool isFolder(const std::string& path);
bool isSymbolicLink(const std::string& path);
// False when the folder cannot be made the current one.
bool setCurrentFolder(const std::string& path);

// Reads the regular file at `path` whole into `bytes`. Returns why it
// could not ("is not a file", "is too large", "cannot be read: ..."), or
// an empty text.
std::string readRegularFile(const std::string& path, std::uint64_t maxBytes, std::vector<std::byte>& bytes);

// Whether `a` and `b` are the same text, ASCII letters compared without case.
bool equalsIgnoringCase(const std::string& a, const std::string& b);

} // namespace glimmer
