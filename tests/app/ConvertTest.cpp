// glimmerbox-convert, run as a program where its interface matters.
#include "app/convert/Confine.h"
#include "app/convert/Convert.h"
#include "app/convert/Plan.h"
#include "app/convert/Run.h"
#include "app/convert/System.h"
#include "formats/Png.h"
#include "tests/support/Fixtures.h"
#include "tests/support/JsonObject.h"
#include "tests/support/Process.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <regex>

using namespace glimmer;
using namespace glimmer::test;
namespace fs = std::filesystem;

namespace {

// Runs the converter. With --json, where files are not confined (a kernel
// without Landlock, Windows), its first line on stderr says so: left out
// here, as the tests count the lines that follow.
ProcessResult runConvert(const std::vector<std::string>& arguments, ProcessOptions options = {})
{
    ProcessResult run = runProcess(GLIMMER_CONVERT, arguments, options);
    std::string line;
    for (const std::string& a : arguments)
        line += a + " ";
    EXPECT_FALSE(run.timedOut) << line;
    const bool json = std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    if (json && std::regex_search(run.err, std::regex("^glimmerbox-convert: (not )?confined [^\n]*files not confined\n")))
        run.err.erase(0, run.err.find('\n') + 1);
    return run;
}

// The picture name of a fixture document: the two Cooling_Plate-body
// documents share a folder and a name, and the later (.ipt) keeps its extension.
std::string pictureOf(const FixtureDocument& doc, const std::string& extension)
{
    const std::string path = doc.path;
    return (path.ends_with("Cooling_Plate-body.ipt") ? path : path.substr(0, path.size() - 4)) + extension;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

int occurrences(const std::string& text, const std::string& part)
{
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

// The converter divides the paths it finds as the user divided the PATH:
// `relative` (divided by '/') inside `folder`, a path of this system.
#ifdef _WIN32
constexpr char Separator = '\\';
#else
constexpr char Separator = '/';
#endif
std::string inside(const std::string& folder, std::string relative)
{
    std::replace(relative.begin(), relative.end(), '/', Separator);
    return folder + Separator + relative;
}

// `text` as it stands inside a JSON string (paths hold backslashes on Windows).
std::string inJson(std::string text)
{
    for (std::size_t at = text.find('\\'); at != std::string::npos; at = text.find('\\', at + 2))
        text.insert(at, 1, '\\');
    return text;
}

// `text` with every `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

// A tree of fixture copies converted with -r -o: the mirrored tree, a report
// per document; then a rerun that finds everything up to date and writes
// nothing. (That the pictures are what the window's batch writes, the
// window's tests show.)
class ConvertTree : public ::testing::TestWithParam<const char*> {};

TEST_P(ConvertTree, MirrorsTheTreeThenFindsItUpToDate)
{
    GLIMMER_REQUIRE_FIXTURES();
    const std::string type = GetParam();
    const std::string extension = "." + type;
    TempDir source, out;
    copyFixtures(source.path());

    const ProcessResult first = runConvert({"-r", "-t", type, "--json", "-o", out.file(), source.file()});
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(splitLines(first.err).size(), 1u);
    EXPECT_TRUE(first.err.starts_with("15 written, 0 up to date, 3 without a preview, 0 failed in ")) << first.err;

    // The mirrored tree holds exactly the pictures of the documents with a preview.
    std::map<std::string, int> expected;
    for (const FixtureDocument& doc : fixtureDocuments())
        if (doc.hasPreview)
            expected[pictureOf(doc, extension)];
    const auto written = filesBelow(out.path());
    ASSERT_EQ(written.size(), expected.size());
    for (const auto& [name, bytes] : written)
        EXPECT_TRUE(expected.count(name)) << name;

    // One JSON object per document, in path order, saying what it is.
    const std::vector<std::string> json = splitLines(first.out);
    ASSERT_EQ(json.size(), fixtureDocuments().size());
    for (std::size_t i = 0; i < fixtureDocuments().size(); ++i) {
        const FixtureDocument& doc = fixtureDocuments()[i];
        SCOPED_TRACE(doc.path);
        const std::optional<JsonObject> o = JsonObject::parse(json[i]);
        ASSERT_TRUE(o) << json[i];
        EXPECT_EQ(o->string("document"), inside(source.file(), doc.path));
        EXPECT_EQ(o->number("version"), doc.version);
        EXPECT_EQ(o->string("status"), doc.hasPreview ? "written" : "no-preview");
        EXPECT_EQ(o->string("output"), doc.hasPreview ? inside(out.file(), pictureOf(doc, extension)) : "");
        EXPECT_EQ(o->number("width"), doc.previewSize);
        EXPECT_EQ(o->number("height"), doc.previewSize);
        EXPECT_EQ(o->string("kind"), !doc.hasPreview ? "" : doc.version < 15000 ? "metafile" : "png");
        EXPECT_EQ(o->string("source").empty(), !doc.hasPreview);
        EXPECT_EQ(o->string("reason").empty(), doc.hasPreview);
    }

    // Again: nothing is read or written.
    std::map<std::string, fs::file_time_type> times;
    for (const auto& [name, bytes] : written)
        times[name] = fs::last_write_time(out.path() / name);
    const ProcessResult second = runConvert({"-r", "-t", type, "--json", "-o", out.file(), source.file()});
    EXPECT_EQ(second.exitCode, 0);
    // (A document without a preview has no picture to compare: it is read again.)
    EXPECT_TRUE(second.err.starts_with("0 written, 15 up to date, 3 without a preview, 0 failed")) << second.err;
    const std::vector<std::string> again = splitLines(second.out);
    ASSERT_EQ(again.size(), fixtureDocuments().size());
    for (std::size_t i = 0; i < fixtureDocuments().size(); ++i) {
        const std::optional<JsonObject> o = JsonObject::parse(again[i]);
        ASSERT_TRUE(o) << again[i];
        EXPECT_EQ(o->string("status"), fixtureDocuments()[i].hasPreview ? "up-to-date" : "no-preview");
    }
    EXPECT_EQ(filesBelow(out.path()), written);
    for (const auto& [name, time] : times)
        EXPECT_EQ(fs::last_write_time(out.path() / name), time) << name;
}

INSTANTIATE_TEST_SUITE_P(EachType, ConvertTree, ::testing::Values("bmp", "jpg", "wmf"),
                         [](const auto& p) { return std::string(p.param); });

// The output and the report do not depend on the number of jobs; a dry run
// reads and reports but writes nothing; -f writes what is up to date.
TEST(Convert, JobsDryRunsAndForceGiveTheSameOutput)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir source, one, two;
    copyFixtures(source.path());

    const ProcessResult dry = runConvert({"-n", "-r", "-t", "png", "--json", "-o", one.file(), source.file()});
    EXPECT_EQ(dry.exitCode, 0);
    EXPECT_TRUE(filesBelow(one.path()).empty());
    EXPECT_TRUE(dry.err.starts_with("15 to write, 0 up to date, 3 without a preview")) << dry.err;

    const ProcessResult j1 = runConvert({"-j", "1", "-r", "-t", "png", "--json", "-o", one.file(), source.file()});
    const ProcessResult j2 = runConvert({"-j2", "-r", "-t", "png", "--json", "-o", two.file(), source.file()});
    EXPECT_EQ(j1.exitCode, 0);
    EXPECT_EQ(j2.exitCode, 0);
    const auto files = filesBelow(one.path());
    EXPECT_EQ(files.size(), 15u);
    EXPECT_EQ(filesBelow(two.path()), files);
    EXPECT_EQ(replaced(j2.out, inJson(two.file()), inJson(one.file())), j1.out);
    EXPECT_EQ(replaced(dry.out, ",\"dry_run\":true", ""), j1.out);
    for (const auto& [name, bytes] : files) {
        Image picture;
        ASSERT_NO_THROW(picture = png::decode(bytes, Image::MaxPixels)) << name;
        EXPECT_LE(std::max(picture.width(), picture.height()), 240);   // 512-pixel previews shrink, 180 stay
    }

    const ProcessResult forced = runConvert({"-f", "-q", "--json", "-r", "-t", "png", "-o", two.file(), source.file()});
    EXPECT_EQ(forced.exitCode, 0);
    EXPECT_EQ(forced.err, "");   // -q: no summary
    EXPECT_EQ(occurrences(forced.out, "\"status\":\"written\""), 15);
    EXPECT_EQ(filesBelow(two.path()), files);
}

// A damaged document and a folder that cannot be made: both named once, the
// rest written, an existing picture of the damaged one kept.
TEST(Convert, FailuresAreNamedOnceAndTheRestIsWritten)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir source, out;
    const FixtureDocument& good = fixtureDocuments()[1];       // Part3.ipt, with a preview
#ifdef _WIN32
    const std::string damagedName = "dam\u00e9ged", shownName = damagedName;   // no control characters in names there
#else
    const std::string damagedName = "dam\x01ged", shownName = "dam\\x01ged";
#endif
    fs::create_directories(source.path() / "a");
    fs::create_directories(source.path() / "b");
    fs::copy_file(fixturePath(good), source.path() / "a" / "good.ipt");
    fs::copy_file(fixturePath(good), source.path() / "b" / "other.ipt");
    std::vector<std::byte> damaged = readFile(fixturePath(good));
    damaged.resize(3000);
    const fs::path damagedPicture = out.path() / "a" / convert::pathOf(damagedName + ".bmp");
    writeFile(source.path() / "a" / convert::pathOf(damagedName + ".ipt"), damaged);
    fs::create_directories(out.path() / "a");
    writeFile(damagedPicture, textBytes("an older picture"));
    fs::last_write_time(damagedPicture, fs::file_time_type::clock::now() - std::chrono::hours(1));
    writeFile(out.path() / "b", textBytes("a file where the folder b would go"));

    const ProcessResult run = runConvert({"-r", "-o", out.file(), source.file()});
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<std::string> err = splitLines(run.err);
    ASSERT_EQ(err.size(), 3u) << run.err;
    EXPECT_TRUE(err[0].starts_with("glimmerbox-convert: " + inside(source.file(), "a/" + shownName + ".ipt: "))) << err[0];
    EXPECT_TRUE(err[1].starts_with("glimmerbox-convert: " + inside(source.file(), "b/other.ipt: cannot make the folder")))
        << err[1];
    EXPECT_TRUE(err[2].starts_with("1 written, 0 up to date, 0 without a preview, 2 failed")) << err[2];
    EXPECT_EQ(readFile(damagedPicture), textBytes("an older picture"));
    EXPECT_GT(fs::file_size(out.path() / "a" / "good.bmp"), 0u);
}

// Pictures that cannot be written whole (a file size limit stands in for a
// full disk) or put in place fail, with the reason; the old pictures stay
// and no temporary file is left.
TEST(Convert, PicturesThatCannotBePutInPlaceFailAndKeepTheOldOnes)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file size limit to stand in for a full disk, and no staged file can be removed "
                    "while it is open";
#else
    GLIMMER_REQUIRE_FIXTURES();
    TempDir source, out;
    copyFixtures(source.path());
    ASSERT_EQ(runConvert({"-q", "-r", "-o", out.file(), source.file()}).exitCode, 0);
    const auto old = filesBelow(out.path());

    ProcessOptions small;
    small.limits = {{RLIMIT_FSIZE, 1000}};
    small.ignoredSignals = {SIGXFSZ};
    const ProcessResult run = runConvert({"-f", "-j2", "-r", "-o", out.file(), source.file()}, small);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(occurrences(run.err, "(File too large)"), 15) << run.err;
    const std::vector<std::string> err = splitLines(run.err);
    ASSERT_FALSE(err.empty());
    EXPECT_TRUE(err.back().starts_with("0 written, 0 up to date, 3 without a preview, 15 failed")) << run.err;
    EXPECT_EQ(filesBelow(out.path()), old);

    const std::string picture = out.file(old.begin()->first);
    convert::StagedDocument staged;
    staged.result.status = convert::ConvertedDocument::Status::Written;
    staged.picture = StagedFile::stage(picture, std::as_bytes(std::span("new", 3)));
    for (const auto& [name, bytes] : filesBelow(out.path()))
        if (contains(name, ".part-"))
            fs::remove(out.path() / name);   // the rename then fails
    const convert::ConvertedDocument result = convert::commit(std::move(staged));
    EXPECT_EQ(result.status, convert::ConvertedDocument::Status::Failed);
    EXPECT_NE(result.reason.find(picture), std::string::npos) << result.reason;
    EXPECT_EQ(filesBelow(out.path()), old);
#endif
}

// An interrupted run (SIGINT; Ctrl+Break on Windows) begins no more
// documents, puts what it staged in place, reports what is done, leaves no
// temporary file and exits 130.
TEST(Convert, InterruptedRunsLeaveNoTemporaryFiles)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir source, out;
    for (int i = 0; i < 20; ++i)
        copyFixtures(source.path() / std::to_string(i));
    ProcessOptions interrupted;
    // The first lines, buffered: documents are done.
    bool sent = false;
    interrupted.onFirstOutput = [&sent](ProcessId pid) { sent = interruptProcess(pid); };
    const ProcessResult run = runConvert({"-j1", "--json", "-r", "-o", out.file(), source.file()}, interrupted);
    if (!sent)
        GTEST_SKIP() << "no interruption could be sent (Wine without a terminal delivers no console events; "
                        "tests/windows/check-convert interrupts the converter under Wine with SIGINT)";
    EXPECT_EQ(run.exitCode, 130);
    const std::vector<std::string> reported = splitLines(run.out);
    EXPECT_TRUE(contains(run.err, "interrupted: " + std::to_string(360 - reported.size()) + " of 360 documents not done"))
        << run.err;
    const auto written = filesBelow(out.path());
    EXPECT_EQ(static_cast<int>(written.size()), occurrences(run.out, "\"written\""));
    for (const auto& [name, bytes] : written)
        EXPECT_FALSE(contains(name, ".part-")) << name;
}

// Bad usage is 2, a path that cannot be taken 1, help and version 0.
TEST(Convert, ExitStatus)
{
    TempDir dir;
    writeFile(dir.file("notes.txt"), textBytes("text"));
    const struct {
        std::vector<std::string> arguments;
        int exit;
        const char* saying;
    } cases[] = {
        {{}, 2, "no document or folder given"},
        {{"-t", "gif", "."}, 2, "unknown type \"gif\""},
        {{"-s", "-1", "."}, 2, "bad size"},
        {{"-s", "4097", "."}, 2, "bad size"},
        {{"-j", "0", "."}, 2, "bad number of jobs"},
        {{"--bogus", "."}, 2, "bogus"},
        {{"--help"}, 0, "Usage: glimmerbox-convert"},
        {{"--version"}, 0, "glimmerbox-convert 0."},
        {{dir.file("missing.ipt")}, 1, "missing.ipt: no such file or folder"},
        // A name in other scripts comes through the command line whole (on Windows, through its wide form).
        {{dir.file() + Separator + "\u56fe\u7eb8 \u00e9.ipt"}, 1, "\u56fe\u7eb8 \u00e9.ipt: no such file or folder"},
        {{dir.file("notes.txt")}, 1, "notes.txt: not a document"},
        {{dir.file()}, 0, "0 written, 0 up to date, 0 without a preview, 0 failed"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& a : c.arguments)
            line += a + " ";
        SCOPED_TRACE(line);
        const ProcessResult run = runConvert(c.arguments);
        EXPECT_EQ(run.exitCode, c.exit);
        EXPECT_TRUE(contains(run.out + run.err, c.saying)) << run.out + run.err;
    }
}
// The command line reads as it always has: short options run together, values
// after "=" or in the next argument, "--" and "-" as paths, the last value
// winning, a parse error before everything else.
TEST(Convert, CommandLines)
{
    const auto read = [](const std::vector<std::string>& arguments) {
        const convert::Arguments a = convert::parseArguments(arguments, 7);
        switch (a.action) {
        case convert::Arguments::Action::Help:
            return std::string("help");
        case convert::Arguments::Action::Version:
            return std::string("version");
        case convert::Arguments::Action::Usage:
            return "usage: " + a.error;
        case convert::Arguments::Action::Run:
            break;
        }
        const convert::Options& o = a.options;
        std::string text = std::string(convert::extensionOf(o.type)) + " " + std::to_string(o.size) + " j"
                           + std::to_string(o.jobs) + (o.outputDir.empty() ? "" : " o=" + o.outputDir)
                           + (o.recursive ? " r" : "") + (o.followLinks ? " L" : "") + (o.force ? " f" : "")
                           + (o.quiet ? " q" : "") + (o.json ? " json" : "") + (o.dryRun ? " n" : "");
        for (const std::string& path : o.paths)
            text += " [" + path + "]";
        return text;
    };
    const struct {
        std::vector<std::string> arguments;
        const char* read;
    } cases[] = {
        {{"x"}, ".bmp 240 j7 [x]"},
        {{"-rfj2", "x"}, ".bmp 240 j2 r f [x]"},
        {{"-rLfqn", "--json", "x", "y"}, ".bmp 240 j7 r L f q json n [x] [y]"},
        {{"-j=3", "--type=wmf", "-ogallery", "x"}, ".wmf 240 j3 o=gallery [x]"},
        {{"--jobs", "4", "-tjpg", "-s0", "--output", "g", "x"}, ".jpg 0 j4 o=g [x]"},
        {{"-t", "png", "x", "-t", "wmf", "--size=12"}, ".wmf 12 j7 [x]"},
        {{"--", "-r", "-"}, ".bmp 240 j7 [-r] [-]"},
        {{"-s", " 12", "x"}, "usage: bad size \" 12\" (0 to 4096)"},
        {{"-s", "+5", "x"}, "usage: bad size \"+5\" (0 to 4096)"},
        {{"-s", "0x10", "x"}, "usage: bad size \"0x10\" (0 to 4096)"},
        {{"-j", "257", "x"}, "usage: bad number of jobs \"257\" (1 to 256)"},
        {{"-rj", "x"}, "usage: bad number of jobs \"x\" (1 to 256)"},
        {{"-rj"}, "usage: Missing value after '-rj'."},
        {{"x", "--type"}, "usage: Missing value after '--type'."},
        {{"--json=1", "x"}, "usage: Unexpected value after '--json'."},
        {{"-h=1"}, "usage: Unexpected value after '-h'."},
        {{"-xy", "--bogus", "x"}, "usage: Unknown options: x, y, bogus."},
        {{"-h", "--bogus"}, "usage: Unknown option 'bogus'."},
        {{"-\xE9q", "x"}, "usage: Unknown option '\xE9'."},   // a byte that is not UTF-8 is one letter
        {{"-t=", "x"}, "usage: unknown type \"\" (bmp, jpg, wmf or png)"},
        {{"-o", "", "x"}, "usage: the output folder is empty"},
        {{"-q"}, "usage: no document or folder given"},
        {{"--version", "-h", "x"}, "help"},
        {{"x", "--version"}, "version"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& a : c.arguments)
            line += "'" + a + "' ";
        SCOPED_TRACE(line);
        EXPECT_EQ(read(c.arguments), c.read);
    }
}

// A --json line is one valid object, member names in order, whatever bytes
// the names and reasons hold.
TEST(Convert, JsonLinesEscapeWhatTheyMust)
{
    convert::ConvertedDocument failed;
    failed.reason = "bad\nthing";
    convert::ConvertedDocument written;
    written.status = convert::ConvertedDocument::Status::Written;
    written.version = 14001;
    written.source = "CAD summary set";
    written.kind = "metafile";
    written.size = {180, 90};
    convert::ConvertedDocument noPreview;
    noPreview.status = convert::ConvertedDocument::Status::NoPreview;
    noPreview.reason = "the document has no preview";
    const convert::Job hostile{"a\"b\\c\x01\x1f\t\u00e9\xff/\x7f.ipt", "o.bmp", {}};
    const convert::Job plain{"d.ipt", "d.bmp", {}};
    const struct {
        const convert::Job& job;
        const convert::ConvertedDocument& result;
        bool dryRun;
        std::string line;
    } cases[] = {
        {hostile, failed, false,
         "{\"document\":\"a\\\"b\\\\c\\u0001\\u001f\\t\u00e9\xEF\xBF\xBD/\x7f.ipt\",\"height\":null,\"kind\":null,"
         "\"output\":\"o.bmp\",\"reason\":\"bad\\nthing\",\"source\":null,\"status\":\"failed\",\"version\":null,"
         "\"width\":null}"},
        {plain, written, true,
         "{\"document\":\"d.ipt\",\"dry_run\":true,\"height\":90,\"kind\":\"metafile\",\"output\":\"d.bmp\","
         "\"reason\":null,\"source\":\"CAD summary set\",\"status\":\"written\",\"version\":14001,\"width\":180}"},
        {plain, noPreview, false,
         "{\"document\":\"d.ipt\",\"height\":null,\"kind\":null,\"output\":null,\"reason\":\"the document has no "
         "preview\",\"source\":null,\"status\":\"no-preview\",\"version\":null,\"width\":null}"},
    };
    for (const auto& c : cases) {
        const std::string line = convert::jsonLine(c.job, c.result, c.dryRun);
        EXPECT_EQ(line, c.line);
        EXPECT_TRUE(JsonObject::parse(line)) << line;
    }
}


// Which files a folder yields: the five extensions in any case, subfolders
// with -r, links to folders with -L, sorted by path; nothing is read.
TEST(Convert, FoldersYieldTheirDocumentsSortedByPath)
{
    TempDir dir;
    const fs::path& d = dir.path();
    fs::create_directories(d / "sub");
    for (const char* name : {"b.IPT", "a.idw", "a.ipt", "notes.txt", "sub/c.iam", "sub/z.Ide"})
        writeFile(d / name, textBytes("not even a document"));
    const bool linked = linkFolder(d / "sub", d / "link");

    using Found = std::vector<std::string>;
    const auto documents = [&](bool recursive, bool followLinks) {
        convert::Options options;
        options.recursive = recursive;
        options.followLinks = followLinks;
        options.paths = {convert::textOf(d)};
        Found found;
        for (const convert::Job& job : convert::planJobs(options))
            found.push_back(convert::pathOf(job.document).lexically_relative(d).generic_string() + " > "
                            + convert::pathOf(job.output).lexically_relative(d).generic_string());
        return found;
    };
    EXPECT_EQ(documents(false, false), (Found{"a.idw > a.bmp", "a.ipt > a.ipt.bmp", "b.IPT > b.bmp"}));
    EXPECT_EQ(documents(true, false), (Found{"a.idw > a.bmp", "a.ipt > a.ipt.bmp", "b.IPT > b.bmp",
                                             "sub/c.iam > sub/c.bmp", "sub/z.Ide > sub/z.bmp"}));
    // A current folder that is gone takes nothing from paths that need none.
    {
        TempDir gone;
        const CurrentDir within(gone.path());
        std::error_code ec;
        fs::remove(gone.path(), ec);
        // (Windows keeps the current folder: it cannot be removed.)
        if (!ec) {
            EXPECT_EQ(documents(false, false), (Found{"a.idw > a.bmp", "a.ipt > a.ipt.bmp", "b.IPT > b.bmp"}));
        }
    }

    if (!linked)
        GTEST_SKIP() << "the system made no symbolic link to a folder (Wine makes none; Windows, without the right "
                        "to make them, neither)";
    EXPECT_EQ(documents(true, true),
              (Found{"a.idw > a.bmp", "a.ipt > a.ipt.bmp", "b.IPT > b.bmp", "link/c.iam > link/c.bmp",
                     "link/z.Ide > link/z.bmp", "sub/c.iam > sub/c.bmp", "sub/z.Ide > sub/z.bmp"}));
}

// Paths are divided as the user divided them: pictures go into the folder
// part of a path, joined by the separator it uses (on Windows either slash,
// a drive or a share; the system's own where the path has none).
TEST(Convert, PathsAreDividedAsTheyAreGiven)
{
    const struct {
        const char* document;
        const char* folder;
        const char* picture;   // of the document's name, in `folder`
    } cases[] = {
        {"a/b/lid.ipt", "a/b", "a/b/lid.bmp"},
        {"lid.ipt", ".", "lid.bmp"},
        {"/lid.ipt", "/", "/lid.bmp"},
#ifdef _WIN32
        {"C:\\d\\lid.ipt", "C:\\d", "C:\\d\\lid.bmp"},
        {"C:/d/lid.ipt", "C:/d", "C:/d/lid.bmp"},
        {"C:\\lid.ipt", "C:\\", "C:\\lid.bmp"},
        {"C:lid.ipt", "C:", "C:lid.bmp"},
        {"\\\\server\\share\\lid.ipt", "\\\\server\\share", "\\\\server\\share\\lid.bmp"},
        {"d/e\\lid.ipt", "d/e", "d/e/lid.bmp"},
#else
        {"d\\e/lid.ipt", "d\\e", "d\\e/lid.bmp"},   // a backslash is part of a name
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        EXPECT_EQ(convert::folderOf(c.document), c.folder);
        EXPECT_EQ(convert::pictureName(convert::folderOf(c.document), "lid.ipt", ".bmp", false), c.picture);
    }
    // A folder without a separator takes the system's own.
    EXPECT_EQ(convert::pictureName("out", "lid.ipt", ".bmp", true), std::string("out") + Separator + "lid.ipt.bmp");
}

// The progress line shows on a terminal only, and not with -q. (Off a
// terminal, the other tests find no more lines on stderr than they expect.)
TEST(Convert, ProgressLineOnATerminal)
{
#ifdef _WIN32
    GTEST_SKIP() << "a console cannot be read back by a test on Windows: the progress line is seen by eye there";
#endif
    GLIMMER_REQUIRE_FIXTURES();
    const std::optional<std::string> script = findExecutable("script");
    if (!script)
        GTEST_SKIP() << "script (util-linux) not found: no terminal to run in";
    TempDir source, out;
    copyFixtures(source.path());
    const auto onTerminal = [&](const std::string& flags) {
        const ProcessResult run = runProcess(
            *script, {"-qec", "'" GLIMMER_CONVERT "' " + flags + " -r -o '" + out.file() + "' '" + source.file() + "'",
                      "/dev/null"});
        EXPECT_FALSE(run.timedOut);
        return run.out;
    };
    const std::string shown = onTerminal("-f");
    EXPECT_TRUE(std::regex_search(shown, std::regex("\r\\d+/18 documents, [0-9.]+/s, \\S+ left"))) << shown;
    EXPECT_TRUE(contains(shown, "15 written, 0 up to date, 3 without a preview, 0 failed")) << shown;
    EXPECT_FALSE(contains(onTerminal("-f -q"), "documents"));
}
// What a confined run may read and write: the PATHs (and with -L each
// document, as links may lead out of them); the output folder, or the
// pictures' folders beside their documents; nothing written in a dry run.
TEST(Convert, ConfinementAllowsThePathsAndWhereThePicturesGo)
{
    const std::vector<convert::Job> jobs = {
        {"in/a.ipt", "in/a.bmp", ""}, {"in/sub/b.ipt", "in/sub/b.bmp", ""},
        {"in/sub/c.ipt", "in/sub/c.bmp", ""}, {"missing.ipt", "", "no such file or folder"}};
    struct Row {
        const char* flags;
        std::vector<std::string> readable;
        std::vector<std::string> writable;
        bool makeFolders;
    } rows[] = {
        {"", {"in", "missing.ipt"}, {"in", "in/sub"}, false},
        {"-o", {"in", "missing.ipt"}, {"out"}, true},
        {"-n", {"in", "missing.ipt"}, {}, false},
        {"-L -o", {"in", "missing.ipt", "in/a.ipt", "in/sub/b.ipt", "in/sub/c.ipt"}, {"out"}, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.flags);
        convert::Options options;
        options.paths = {"in", "missing.ipt"};
        options.outputDir = std::string_view(r.flags).find("-o") != std::string_view::npos ? "out" : "";
        options.dryRun = std::string_view(r.flags) == "-n";
        options.followLinks = std::string_view(r.flags).starts_with("-L");
        const sandbox::Files files = convert::filesOf(options, jobs);
        EXPECT_EQ(files.readable, r.readable);
        EXPECT_EQ(files.writable, r.writable);
        EXPECT_EQ(files.makeFolders, r.makeFolders);
    }
}

// The probe build's workers try, once confined, what a taken-over reader
// would: each attempt fails that document with the reason, and nothing is
// made outside the output folder. -v says how the run is confined.
#ifdef _WIN32
// Windows: the probe build's worker cannot start a program; -v says how
// the run is confined, and that files are not.
TEST(Convert, ConfinedWorkersCannotStartPrograms)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir out;
    const std::string document = fixtureFile("kdizon-2P-OPM/AA AOTF subassy.iam");
    ProcessOptions probe;
    probe.environment = {{"GLIMMER_PROBE", "exec"}};
    const ProcessResult p = runProcess(GLIMMER_CONVERT_PROBE, {"-v", "-j2", "-o", out.file(), document}, probe);
    ASSERT_FALSE(p.timedOut);
    const std::vector<std::string> err = splitLines(p.err);
    ASSERT_EQ(err.size(), 3u) << p.err;
    EXPECT_TRUE(std::regex_match(err[0], std::regex("glimmerbox-convert: confined by a job object: no child processes, "
                                                    "at most [0-9]+ MiB of memory( \\(.*\\))?; files not confined")))
        << err[0];
    EXPECT_TRUE(err[2].starts_with("0 written, 0 up to date, 0 without a preview, 1 failed")) << err[2];
    EXPECT_EQ(p.exitCode, 1);
    EXPECT_TRUE(filesBelow(out.path()).empty());
    if (contains(err[0], "under Wine"))
        GTEST_SKIP() << "Wine takes a job object's limits without enforcing them: " << err[1];
    EXPECT_TRUE(err[1].starts_with("glimmerbox-convert: " + document + ": probe: cannot start cmd.exe: ")) << err[1];
}
#else
TEST(Convert, ConfinedWorkersCannotOpenCreateStartOrConnect)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir out, elsewhere;
    const std::string document = fixtureFile("kdizon-2P-OPM/AA AOTF subassy.iam");
    const std::string outside = elsewhere.file("planted");
    struct Row {
        std::string probe;
        std::string refused;   // after "probe: cannot "
    } rows[] = {
        {"open", "open /etc/passwd"},
        {"create:" + outside, "create " + outside},
        {"exec", "start /bin/true"},
        {"socket", "open a socket"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.probe);
        ProcessOptions probe;
        probe.environment = {{"GLIMMER_PROBE", r.probe}};
        probe.timeout = std::chrono::seconds(60);
        const ProcessResult p = runProcess(GLIMMER_CONVERT_PROBE, {"-v", "-o", out.file(), document}, probe);
        ASSERT_FALSE(p.timedOut);
        const std::vector<std::string> err = splitLines(p.err);
        ASSERT_EQ(err.size(), 3u) << p.err;
        if (contains(err[0], "seccomp alone") && r.probe != "exec" && r.probe != "socket")
            continue;   // a kernel without Landlock: files are not confined, as -v says
        EXPECT_EQ(err[0], "glimmerbox-convert: confined by Landlock and seccomp: reading only under the PATHs, "
                          "writing only where the pictures go; no exec, no sockets");
        EXPECT_TRUE(err[1].starts_with("glimmerbox-convert: " + document + ": probe: cannot " + r.refused + ": "))
            << err[1];
        EXPECT_TRUE(err[2].starts_with("0 written, 0 up to date, 0 without a preview, 1 failed")) << err[2];
        EXPECT_EQ(p.exitCode, 1);
        EXPECT_TRUE(filesBelow(out.path()).empty());
        EXPECT_FALSE(fs::exists(outside));
    }
}
#endif
