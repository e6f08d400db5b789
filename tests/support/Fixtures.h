#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glimmer::test {

// The real documents beside the project: ../shared/fixtures/documents.
std::optional<std::filesystem::path> fixturesDir();

// One fixture document and what an independent reader found in it.
struct FixtureDocument {
    const char* path;          // relative to the documents folder
    int version;               // version number
    bool hasPreview;
    int previewSize;           // pixels square; 0 without a preview
    const char* pixelSha256;   // RGB, top-down; empty without a preview
    bool standardSummarySet;   // preview in the standard summary set
};
const std::vector<FixtureDocument>& fixtureDocuments();

// The full path of a fixture document.
std::filesystem::path fixturePath(const FixtureDocument& doc);
// The full path (UTF-8) of the fixture document at `relativePath`.
std::string fixtureFile(const char* relativePath);

// The whole content of a file; empty when it cannot be read.
std::vector<std::byte> readFile(const std::filesystem::path& path);
// The bytes of `text`.
inline std::vector<std::byte> textBytes(std::string_view text)
{
    const auto* begin = reinterpret_cast<const std::byte*>(text.data());
    return {begin, begin + text.size()};
}
// Makes `bytes` the whole content of a file (a test failure when it cannot).
void writeFile(const std::filesystem::path& path, const std::vector<std::byte>& bytes);
// Every file below `dir` (hidden ones too), by its path relative to it (divided by '/'), with its bytes.
std::map<std::string, std::vector<std::byte>> filesBelow(const std::filesystem::path& dir);
// The fixture documents copied into `root`, in their own folders.
void copyFixtures(const std::filesystem::path& root);
// Makes `link` a symbolic link to the folder `target`; false where the system refuses.
bool linkFolder(const std::filesystem::path& target, const std::filesystem::path& link);
// How many file descriptors this process has open.
int openDescriptors();

// A folder of its own for one test, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // The path as a UTF-8 string, with `name` appended after a slash when given.
    std::string file(const std::string& name = {}) const { return name.empty() ? path_.string() : (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Changes the current directory for a scope and changes it back.
class CurrentDir {
public:
    // Only changes it back (to the temporary folder when it is gone).
    CurrentDir();
    explicit CurrentDir(const std::filesystem::path& dir);
    ~CurrentDir();

private:
    std::filesystem::path previous_;
};

} // namespace glimmer::test

// Skips the current test, saying why, when the fixture documents are absent.
#define GLIMMER_REQUIRE_FIXTURES()                                                             \
    do {                                                                                       \
        if (!::glimmer::test::fixturesDir())                                                   \
            GTEST_SKIP() << "fixture documents not found (expected ../shared/fixtures/documents " \
                            "beside the project)";                                             \
    } while (false)
