#include "formats/Png.h"
#include "fuzz/support/CompoundFileEditor.h"
#include "preview/Fetch.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Pixels.h"
#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace glimmer;
using namespace glimmer::test;
namespace fs = std::filesystem;

namespace {

ProcessResult thumbnailer(const std::vector<std::string>& args, ProcessOptions options = {})
{
    options.timeout = std::chrono::seconds(30);
    return runProcess(GLIMMER_THUMBNAILER, args, options);
}

// The picture the thumbnailer wrote, read back; a null image when there is none.
Image writtenPng(const fs::path& path)
{
    try {
        return png::decode(readFile(path), Image::MaxPixels);
    } catch (const FormatError& e) {
        ADD_FAILURE() << path << ": " << e.what();
        return {};
    }
}

} // namespace

TEST(Thumbnailer, WritesEveryFixturePreviewPixelForPixel)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir dir;
    const std::string out = dir.file("thumb.png");
    for (const FixtureDocument& doc : fixtureDocuments()) {
        SCOPED_TRACE(doc.path);
        fs::remove(out);
        const ProcessResult r = thumbnailer({fixtureFile(doc.path), out});
        if (doc.hasPreview) {
            ASSERT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(r.err, "");
            const Image written = writtenPng(out);
            EXPECT_EQ(written.size(), (Size{doc.previewSize, doc.previewSize}));
            EXPECT_EQ(pixelSha256(written), doc.pixelSha256);
        } else {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(lineCount(r.err), 1) << r.err;
            EXPECT_NE(r.err.find(fixtureFile(doc.path)), std::string::npos) << r.err;
            EXPECT_FALSE(fs::exists(out));
        }
    }
}

TEST(Thumbnailer, ADocumentWhoseVersionCannotBeReadStillGivesItsThumbnail)
{
    GLIMMER_REQUIRE_FIXTURES();
    const FixtureDocument& doc = fixtureDocuments()[1];
    ASSERT_TRUE(doc.hasPreview);
    CompoundFileEditor editor(fixturePath(doc));
    editor.bytes[editor.entryOffset(editor.entry("RSeDb"))] = 'X';   // no version stream left
    TempDir dir;
    const std::string input = dir.file("versionless.ipt");
    editor.write(input);
    const std::string out = dir.file("thumb.png");
    const ProcessResult r = thumbnailer({input, out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(pixelSha256(writtenPng(out)), doc.pixelSha256);
}

TEST(Thumbnailer, ScalesDownToFitButNeverUp)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir dir;
    const std::string out = dir.file("thumb.png");
    struct Row {
        const char* document;
        const char* size;
        Size expected;
    };
    const Row rows[] = {
        {"kdizon-2P-OPM/Sapphire laser subassy v2.iam", "256", {256, 256}},
        {"kdizon-2P-OPM/Sapphire laser subassy v2.iam", "0", {512, 512}},
        {"kdizon-2P-OPM/AA AOTF subassy.iam", "128", {128, 128}},
        {"kdizon-2P-OPM/AA AOTF subassy.iam", "1024", {180, 180}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.document) + " -s " + r.size);
        ASSERT_EQ(thumbnailer({"-s", r.size, fixtureFile(r.document), out}).exitCode, 0);
        EXPECT_EQ(writtenPng(out).size(), r.expected);
    }
}

TEST(Thumbnailer, FailuresSayWhyInExactlyOneLineAndLeaveTheOutputAlone)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir dir;
    const std::string d = dir.file();
    const std::string out = d + "/existing.png";
    writeFile(out, textBytes("before"));
    writeFile(d + "/not-a-document.ipt", textBytes("plain text"));
    writeFile(d + "/file", textBytes("x"));
    fs::create_directory(d + "/folder.png");
    for (const char* fifo : {"/in.fifo", "/out.fifo"})
        ASSERT_EQ(::mkfifo((d + fifo).c_str(), 0600), 0);
    const std::string good = fixtureFile("kdizon-2P-OPM/AA AOTF subassy.iam");
    const std::string noPreview = fixtureFile("kdizon-2P-OPM/003550_2.ipt");
    // Clears a terminal, if let through; DEL and a C1 control (CSI) as well.
    const std::string hostileName = d + "/\x1b[2J\r\x7f\xC2\x9Bgone.ipt";
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::string line;   // after "glimmerbox-thumbnailer: "
    };
    const Row rows[] = {
        {"not a document", {d + "/not-a-document.ipt", out}, 2, d + "/not-a-document.ipt: not a compound file"},
        {"a folder", {d, out}, 2, d + ": is a folder, not a file"},
        {"a FIFO, without blocking", {d + "/in.fifo", out}, 2, d + "/in.fifo: is not a regular file"},
        {"missing", {d + "/missing.ipt", out}, 2, d + "/missing.ipt: cannot be read: No such file or directory"},
        {"control characters written out", {hostileName, out}, 2,
         d + "/\\x1B[2J\\x0D\\x7F\\x9Bgone.ipt: cannot be read: No such file or directory"},
        {"no preview", {noPreview, out}, 1, noPreview + ": the document has no preview"},
        {"output folder missing", {good, d + "/missing/thumb.png"}, 3,
         "Path not found: cannot write \"" + d + "/missing/thumb.png\" (No such file or directory)"},
        {"output is a folder", {good, d + "/folder.png"}, 3, "Path/File access error: \"" + d + "/folder.png\" is a folder"},
        {"output is a FIFO", {good, d + "/out.fifo"}, 3, "Path/File access error: \"" + d + "/out.fifo\" is not a regular file"},
        {"bad size", {"-s", "big", good, out}, 3, "bad size \"big\""},
        {"negative size", {"-s", "-1", good, out}, 3, "bad size \"-1\""},
        {"signed size", {"-s", "+5", good, out}, 3, "bad size \"+5\""},
        {"size past int", {"-s", "2147483648", good, out}, 3, "bad size \"2147483648\""},
        {"-s without a size", {"-s", good, out}, 3, "bad size \"" + good + "\""},
        {"no output", {good}, 3, "usage: glimmerbox-thumbnailer [-s SIZE] INPUT OUTPUT"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const ProcessResult run = thumbnailer(r.args);
        EXPECT_EQ(run.exitCode, r.status);
        EXPECT_EQ(run.err, "glimmerbox-thumbnailer: " + r.line + "\n");
        EXPECT_EQ(readFile(out), textBytes("before"));
    }
    EXPECT_FALSE(fs::exists(d + "/missing"));
    EXPECT_TRUE(fs::is_directory(d + "/folder.png"));
    EXPECT_EQ(std::distance(fs::directory_iterator(d), fs::directory_iterator()), 6);   // no temporary files
}

// Short of memory, the thumbnailer writes its picture or fails in one line;
// it neither aborts nor waits for ever. Between the memory that loading the
// program takes and the memory that reading a 512-pixel preview takes, some
// limits run out of memory in the reader.
TEST(Thumbnailer, ShortOfMemoryFailsInOneLine)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than any limit here leaves";
#endif
    GLIMMER_REQUIRE_FIXTURES();
    TempDir dir;
    const std::string out = dir.file("thumb.png");
    const std::string input = fixtureFile("kdizon-2P-OPM/Sapphire laser subassy v2.iam");
    const std::string outOfMemory = "glimmerbox-thumbnailer: " + input + ": out of memory\n";
    int outOfMemoryRuns = 0;
    int writtenRuns = 0;
    for (rlim_t kib = 2048; kib <= 40960; kib += 512) {
        SCOPED_TRACE(kib);
        fs::remove(out);
        ProcessOptions limited;
        limited.limits = {{RLIMIT_AS, kib << 10}};
        const ProcessResult r = thumbnailer({input, out}, limited);
        ASSERT_FALSE(r.timedOut) << "still running";
        ASSERT_EQ(r.signal, 0) << "ended by a signal";
        if (r.exitCode == 127)
            continue;   // the loader found no room for the libraries, and said so
        if (r.exitCode == 0) {
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(writtenPng(out).size(), (Size{512, 512}));
            ++writtenRuns;
            continue;
        }
        EXPECT_TRUE(r.exitCode == 1 || r.exitCode == 2) << r.exitCode;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_FALSE(fs::exists(out));
        outOfMemoryRuns += r.err == outOfMemory;
    }
    EXPECT_GT(outOfMemoryRuns, 0);
    EXPECT_GT(writtenRuns, 0);
}

// The probe build tries, once confined, what a taken-over reader would: each
// attempt is refused, the one line says so, and nothing is created. Unconfined
// (GLIMMER_NO_SANDBOX=1) the same attempts succeed: the probe is real.
TEST(Thumbnailer, ConfinedItCannotOpenCreateStartOrConnect)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir dir, elsewhere;
    const std::string input = fixtureFile("kdizon-2P-OPM/AA AOTF subassy.iam");
    const std::string out = dir.file("thumb.png");
    const std::string outside = elsewhere.file("planted");
    struct Row {
        std::string probe;
        std::string refused;     // after "probe: cannot "
        std::string unconfined;  // after "probe: ", the attempt made
    };
    const Row rows[] = {
        {"open", "open /etc/passwd", "opened /etc/passwd"},
        {"create:" + outside, "create " + outside, "created " + outside},
        {"exec", "start /bin/true", ""},   // unconfined, /bin/true takes over and exits 0
        {"socket", "open a socket", "opened a socket"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.probe);
        for (const bool confined : {true, false}) {
            ProcessOptions options;
            options.environment = {{"GLIMMER_PROBE", r.probe}};
            if (!confined)
                options.environment.emplace_back("GLIMMER_NO_SANDBOX", "1");
            options.timeout = std::chrono::seconds(30);
            const ProcessResult p = runProcess(GLIMMER_THUMBNAILER_PROBE, {input, out}, options);
            ASSERT_FALSE(p.timedOut);
            if (confined) {
                EXPECT_EQ(p.exitCode, 2);
                EXPECT_EQ(lineCount(p.err), 1) << p.err;
                EXPECT_TRUE(p.err.starts_with("glimmerbox-thumbnailer: " + input + ": cannot be read: probe: cannot " + r.refused + ": "))
                    << p.err;
                EXPECT_TRUE(fs::is_empty(dir.path())) << "no picture, no temporary file";
                EXPECT_FALSE(fs::exists(outside));
            } else if (!r.unconfined.empty()) {
                EXPECT_NE(p.err.find("probe: " + r.unconfined), std::string::npos) << p.err;
            } else {
                EXPECT_EQ(p.exitCode, 0);
            }
            fs::remove_all(dir.path());
            fs::create_directories(dir.path());
            fs::remove(outside);
        }
    }
}

TEST(Thumbnailer, HelpGoesToStandardOutput)
{
    const ProcessResult help = thumbnailer({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: glimmerbox-thumbnailer [-s SIZE] INPUT OUTPUT\n")) << help.out;
    EXPECT_EQ(help.err, "");
}

// Both programs over the engine link no Qt: not directly, not through
// another library. (Built with the sanitizers they load libdeflate; else
// they are static.)
TEST(FrontEnds, LinkNoQt)
{
    const std::optional<std::string> ldd = findExecutable("ldd");
    if (!ldd)
        GTEST_SKIP() << "ldd not found: the libraries cannot be listed";
    for (const char* program : {GLIMMER_THUMBNAILER, GLIMMER_CONVERT}) {
        SCOPED_TRACE(program);
        ProcessOptions options;
        options.timeout = std::chrono::seconds(30);
        const ProcessResult p = runProcess(*ldd, {program}, options);
        ASSERT_FALSE(p.timedOut);
        const std::string& libraries = p.out;
        ASSERT_EQ(p.exitCode, 0) << libraries;
        EXPECT_TRUE(libraries.find("libdeflate") != std::string::npos
                    || libraries.find("statically linked") != std::string::npos)   // a real answer
            << libraries;
        std::string lower = libraries;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(lower.find("libqt"), std::string::npos) << libraries;
    }
}
