// The file layer without Qt: whole files or none, only regular files
// replaced, links written through, errors that name the path.
#include "system/Files.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace glimmer;
using namespace glimmer::test;
namespace fs = std::filesystem;

namespace {

// The path named by the UTF-8 `utf8`, as the file layer takes it (a narrow
// std::string is read in the active code page on Windows).
fs::path pathOf(const std::string& utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string contentOf(const std::string& path)
{
    const std::vector<std::byte> bytes = readFile(pathOf(path));
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

void put(const std::string& path, std::string_view text)
{
    writeFile(pathOf(path), {reinterpret_cast<const std::byte*>(text.data()), reinterpret_cast<const std::byte*>(text.data()) + text.size()});
}

std::span<const std::byte> bytesOf(std::string_view text)
{
    return std::as_bytes(std::span(text.data(), text.size()));
}

std::size_t entriesIn(const fs::path& dir)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

std::vector<std::string> temporariesIn(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        if (e.path().filename().string().find(".part-") != std::string::npos)
            names.push_back(e.path().string());
    return names;
}

} // namespace

#ifdef _WIN32
// Only a regular file is replaced, whatever its name; a folder, a device or
// a read-only file is refused and left alone.
TEST(WriteFileAtomically, ReplacesOnlyRegularFilesAndWritesThroughLinks)
{
    TempDir dir;
    const std::string d = dir.file();
    const std::string unicode = d + "\\\xE5\x9B\xBE\xE7\xBA\xB8 \xC3\xA9.bmp";   // 图纸 é.bmp
    put(d + "/regular", "old");
    put(unicode, "old");
    put(d + "/readonly", "old");
    fs::create_directory(d + "/folder");
    fs::permissions(d + "/readonly", fs::perms::owner_write, fs::perm_options::remove);
    struct Case {
        const char* name;
        std::string path;
        bool written;
        std::string refusal;
    };
    const Case cases[] = {
        {"regular", d + "/regular", true, {}},
        {"missing", d + "\\missing", true, {}},
        {"non-ASCII name", unicode, true, {}},
        {"folder", d + "/folder", false, "Path/File access error: \"" + d + "/folder\" is a folder"},
        {"device", "NUL", false, "Path/File access error: \"NUL\" is not a regular file"},
        {"read-only file", d + "/readonly", false,
         "Permission denied: cannot write \"" + d + "/readonly\" (the file is not writable)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            writeFileAtomically(c.path, bytesOf("new"));
            EXPECT_TRUE(c.written);
            EXPECT_EQ(contentOf(c.path), "new");
        } catch (const FileError& e) {
            EXPECT_EQ(std::string(e.what()), c.refusal);
            EXPECT_FALSE(c.written) << e.what();
        }
    }
    EXPECT_EQ(contentOf(d + "/readonly"), "old");
    EXPECT_TRUE(fs::is_directory(d + "/folder"));
    fs::permissions(d + "/readonly", fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(entriesIn(dir.path()), 5u);   // nothing more, no temporary file
}
#else
// Only a regular file is replaced; a symbolic link is written through to a
// regular target and stays a link; anything else is refused and left alone.
TEST(WriteFileAtomically, ReplacesOnlyRegularFilesAndWritesThroughLinks)
{
    TempDir dir;
    const std::string d = dir.file();
    put(d + "/regular", "old");
    put(d + "/target", "old");
    fs::create_directory(d + "/folder");
    ASSERT_EQ(::mkfifo((d + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("target", (d + "/to-regular").c_str()), 0);
    ASSERT_EQ(::symlink("fifo", (d + "/to-fifo").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (d + "/dangling").c_str()), 0);
    struct Case {
        const char* name;
        std::string path;
        std::string written;   // the file that then holds "new"; empty when refused
        std::string refusal;
    };
    const Case cases[] = {
        {"regular", d + "/regular", d + "/regular", {}},
        {"missing", d + "/missing", d + "/missing", {}},
        {"symlink to regular", d + "/to-regular", d + "/target", {}},
        {"folder", d + "/folder", {}, "is a folder"},
        {"FIFO", d + "/fifo", {}, "is not a regular file"},
        {"symlink to FIFO", d + "/to-fifo", {}, "is not a regular file"},
        {"dangling symlink", d + "/dangling", {}, "is a symbolic link that leads nowhere (No such file or directory)"},
        {"device", "/dev/null", {}, "is not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            writeFileAtomically(c.path, bytesOf("new"));
            EXPECT_EQ(contentOf(c.written), "new");
        } catch (const FileError& e) {
            EXPECT_EQ(e.kind(), FileError::Kind::Access);
            EXPECT_EQ(std::string(e.what()), "Path/File access error: \"" + c.path + "\" " + c.refusal);
            EXPECT_TRUE(c.written.empty()) << e.what();
        }
    }
    EXPECT_TRUE(fs::is_symlink(d + "/to-regular"));
    EXPECT_TRUE(fs::is_directory(d + "/folder"));
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(d + "/fifo")));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_FALSE(fs::exists(d + "/nowhere"));
    EXPECT_EQ(entriesIn(dir.path()), 8u);   // nothing more, no temporary file
}
#endif

// What stands in the way decides the kind of error; the text names the path
// and the system's reason.
TEST(WriteFileAtomically, FailuresSayWhatIsInTheWay)
{
    TempDir dir;
    const std::string d = dir.file();
    put(d + "/plain", "a file");
    fs::create_directory(d + "/locked");
#ifndef _WIN32
    ::chmod((d + "/locked").c_str(), 0500);
#endif
    struct Case {
        const char* name;
        std::string path;
        FileError::Kind kind;
        std::string text;
    };
    std::vector<Case> cases = {
        {"missing folder", d + "/missing/p.png", FileError::Kind::PathNotFound,
         "Path not found: cannot write \"" + d + "/missing/p.png\" (No such file or directory)"},
#ifdef _WIN32   // Windows does not tell a file in the way from a missing folder
        {"a file for a folder", d + "/plain/p.png", FileError::Kind::PathNotFound,
         "Path not found: cannot write \"" + d + "/plain/p.png\" (No such file or directory)"},
#else
        {"a file for a folder", d + "/plain/p.png", FileError::Kind::PathNotFound,
         "Path not found: cannot write \"" + d + "/plain/p.png\" (Not a directory)"},
#endif
        {"empty path", "", FileError::Kind::BadFileName, "Bad file name: the path is empty"},
    };
#ifndef _WIN32
    // Root may write into any folder.
    if (::geteuid() != 0)
        cases.push_back({"folder not writable", d + "/locked/p.png", FileError::Kind::PermissionDenied,
                         "Permission denied: cannot write \"" + d + "/locked/p.png\" (Permission denied)"});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            writeFileAtomically(c.path, bytesOf("new"));
            ADD_FAILURE() << "no error";
        } catch (const FileError& e) {
            EXPECT_EQ(e.kind(), c.kind);
            EXPECT_EQ(std::string(e.what()), c.text);
        }
    }
#ifndef _WIN32
    ::chmod((d + "/locked").c_str(), 0700);
#endif
    EXPECT_EQ(entriesIn(dir.path()), 2u);
    EXPECT_EQ(entriesIn(d + "/locked"), 0u);
}

// A staged file lands whole or not at all: whatever goes wrong before its
// commit, the old file stays and no temporary file is left.
TEST(StagedFile, CommitsWholeOrLeavesTheOldFile)
{
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> meddle;   // between stage and commit
        bool commit;
        const char* left;   // what the path then holds; empty: a folder
        const char* error;
    };
    const Case cases[] = {
        {"committed", [](const std::string&) {}, true, "new", nullptr},
        {"never committed", [](const std::string&) {}, false, "old", nullptr},
#ifndef _WIN32   // an open file cannot be removed there
        {"temporary file gone", [](const std::string& path) { fs::remove(temporariesIn(fs::path(path).parent_path()).at(0)); },
         true, "old", "(No such file or directory)"},
#endif
        {"a folder in the way", [](const std::string& path) {
             fs::remove(path);
             fs::create_directory(path);
         }, true, "", "\" is a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("p.bmp");
        put(path, "old");
#ifndef _WIN32
        ::chmod(path.c_str(), 0640);
#endif
        {
            StagedFile staged = StagedFile::stage(path, bytesOf("new"));
            EXPECT_EQ(temporariesIn(dir.path()).size(), 1u);
            EXPECT_EQ(contentOf(path), "old");
            c.meddle(path);
            try {
                if (c.commit)
                    staged.commit();
                EXPECT_EQ(c.error, nullptr);
            } catch (const FileError& e) {
                ASSERT_NE(c.error, nullptr) << e.what();
                const std::string text = e.what();
                EXPECT_TRUE(text.find(path) != std::string::npos && text.find(c.error) != std::string::npos) << text;
            }
        }
        if (*c.left) {
            EXPECT_EQ(contentOf(path), c.left);
#ifndef _WIN32
            struct stat st {};
            ASSERT_EQ(::stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0640u);   // a replaced file keeps its permissions
#endif
        } else {
            EXPECT_TRUE(fs::is_directory(path));
        }
        EXPECT_TRUE(temporariesIn(dir.path()).empty());
    }
}

// A staged file moved elsewhere keeps its one temporary file; a commit of
// nothing staged is an error, not a rename.
TEST(StagedFile, MovesOwnTheirTemporaryFileOnce)
{
    TempDir dir;
    const std::string path = dir.file("p.png");
    StagedFile first = StagedFile::stage(path, bytesOf("one"));
    StagedFile second = std::move(first);
    EXPECT_THROW(first.commit(), FileError);
    StagedFile third = StagedFile::stage(dir.file("q.png"), bytesOf("two"));
    third = std::move(second);   // q.png's temporary file goes
    EXPECT_EQ(temporariesIn(dir.path()).size(), 1u);
    third.commit();
    EXPECT_EQ(contentOf(path), "one");
    EXPECT_FALSE(fs::exists(dir.file("q.png")));
    EXPECT_TRUE(temporariesIn(dir.path()).empty());
}

// A file staged before its bytes are known takes them later, in pieces, and
// still appears whole; a committed one takes no more.
TEST(StagedFile, TakesItsBytesAfterItIsMade)
{
    TempDir dir;
    const std::string path = dir.file("p.png");
    put(path, "old");
    StagedFile staged = StagedFile::stage(path, {}, Durability::Unsynced);
    EXPECT_EQ(staged.target(), path);
    staged.append(bytesOf("ne"));
    staged.append(bytesOf("w"));
    EXPECT_EQ(contentOf(path), "old");
    staged.commit();
    EXPECT_EQ(contentOf(path), "new");
    EXPECT_THROW(staged.append(bytesOf("more")), FileError);
    EXPECT_EQ(contentOf(path), "new");
}
