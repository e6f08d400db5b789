// glimmerbox-convert, run as a program where its interface matters.
#include "app/convert/Confine.h"
#include "app/convert/Convert.h"
#include "app/convert/Plan.h"
#include "app/convert/Run.h"
#include "app/frmSavePreview.h"
#include "preview/FileComponents.h"
#include "tests/support/qt/QtFixtures.h"
#include "tests/support/qt/WindowControls.h"
#include "tests/support/qt/ScriptedDialog.h"
#include "tests/support/qt/ScriptedProgress.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPalette>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <filesystem>
#include <map>

#include <sys/resource.h>

using namespace glimmer;
using namespace glimmer::test;
namespace fs = std::filesystem;

namespace {

struct Ran {
    int exit = -1;
    QString out;
    QString err;
};

Ran runConvert(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(GLIMMER_CONVERT), arguments);
    EXPECT_TRUE(process.waitForFinished(300000)) << arguments.join(' ').toStdString();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

// Every file below `dir`, by its path relative to it, with its bytes.
std::map<QString, QByteArray> filesBelow(const QString& dir)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(dir).relativeFilePath(path)] = readAll(path);
    }
    return files;
}

// The fixture documents copied into `root`, in their own folders.
void copyFixtures(const fs::path& root)
{
    for (const FixtureDocument& doc : fixtureDocuments()) {
        fs::create_directories((root / doc.path).parent_path());
        fs::copy_file(fixturePath(doc), root / doc.path);
    }
}

// The picture name of a fixture document: the two Cooling_Plate-body
// documents share a folder and a name, and the later (.ipt) keeps its extension.
QString pictureOf(const FixtureDocument& doc, const QString& extension)
{
    const QString path = QString::fromUtf8(doc.path);
    return (path.endsWith("Cooling_Plate-body.ipt") ? path : path.chopped(4)) + extension;
}

QStringList lines(const QString& text)
{
    return text.split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

// A tree of fixture copies converted with -r -o: the mirrored tree, byte for
// byte what the window's batch writes, a report per document; then a rerun
// that finds everything up to date and writes nothing.
class ConvertTree : public ::testing::TestWithParam<const char*> {};

TEST_P(ConvertTree, MirrorsTheTreeAsTheWindowsBatchWritesItThenFindsItUpToDate)
{
    GLIMMER_REQUIRE_FIXTURES();
    const QString type = GetParam();
    const QString extension = "." + type;
    TempDir source, out, window;
    copyFixtures(source.path());

    const Ran first = runConvert({"-r", "-t", type, "--json", "-o", qpath(out), qpath(source)});
    EXPECT_EQ(first.exit, 0) << first.err.toStdString();
    EXPECT_EQ(lines(first.err).size(), 1);
    EXPECT_TRUE(first.err.startsWith("15 written, 0 up to date, 3 without a preview, 0 failed in "))
        << first.err.toStdString();

    // The mirrored tree holds exactly the pictures of the documents with a preview.
    std::map<QString, QByteArray> expected;
    for (const FixtureDocument& doc : fixtureDocuments())
        if (doc.hasPreview)
            expected[pictureOf(doc, extension)];
    const std::map<QString, QByteArray> written = filesBelow(qpath(out));
    ASSERT_EQ(written.size(), expected.size());
    for (const auto& [name, bytes] : written)
        EXPECT_TRUE(expected.count(name)) << name.toStdString();

    // One JSON object per document, in path order, saying what it is.
    const QStringList json = lines(first.out);
    ASSERT_EQ(json.size(), static_cast<qsizetype>(fixtureDocuments().size()));
    for (std::size_t i = 0; i < fixtureDocuments().size(); ++i) {
        const FixtureDocument& doc = fixtureDocuments()[i];
        SCOPED_TRACE(doc.path);
        QJsonParseError error{};
        const QJsonObject o = QJsonDocument::fromJson(json[static_cast<qsizetype>(i)].toUtf8(), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError);
        EXPECT_EQ(o["document"].toString(), qpath(source) + "/" + doc.path);
        EXPECT_EQ(o["version"].toInt(), doc.version);
        EXPECT_EQ(o["status"].toString(), doc.hasPreview ? "written" : "no-preview");
        EXPECT_EQ(o["output"].toString(), doc.hasPreview ? qpath(out) + "/" + pictureOf(doc, extension) : "");
        EXPECT_EQ(o["width"].toInt(), doc.previewSize);
        EXPECT_EQ(o["height"].toInt(), doc.previewSize);
        EXPECT_EQ(o["kind"].toString(), !doc.hasPreview ? "" : doc.version < 15000 ? "metafile" : "png");
        EXPECT_EQ(o["source"].toString().isEmpty(), !doc.hasPreview);
        EXPECT_EQ(o["reason"].toString().isEmpty(), doc.hasPreview);
    }

    // The window's batch over the same documents, folder by folder.
    EXPECT_EQ(QPalette().color(QPalette::Base), QColor(Qt::white));
    ScriptedDialog dialog;
    RecordingMessageBox messages;
    FileComponents components;
    ScriptedProgress progress;
    frmSavePreview form(dialog, messages, components);
    form.setExitHandler([] {});
    form.setProgress(progress);
    const WindowControls controls(form);
    EXPECT_EQ(controls.picPreview->palette().color(QPalette::Base), QColor(Qt::white));
    controls.FileType->setCurrentIndex(controls.FileType->findText(extension));
    // The box starts at 244 pixels (3655 twips); picking "240" makes it the converter's default.
    controls.PicSize->setCurrentIndex(controls.PicSize->findText("240"));
    emit controls.PicSize->Click();
    ASSERT_EQ(controls.picPreview->image().size(), (Size{240, 240}));
    QTest::mouseClick(controls.optMulti, Qt::LeftButton);
    copyFixtures(window.path());
    std::map<QString, QStringList> byFolder;
    for (const FixtureDocument& doc : fixtureDocuments())
        byFolder[QFileInfo(QString::fromUtf8(doc.path)).path()] << qpath(window) + "/" + doc.path;
    for (const auto& [folder, documents] : byFolder) {
        dialog.answer(documents);
        QTest::mouseClick(controls.cmdOpen, Qt::LeftButton);
    }
    for (const auto& [name, bytes] : written)
        EXPECT_TRUE(bytes == readAll(qpath(window) + "/" + name)) << name.toStdString();

    // Again: nothing is read or written.
    std::map<QString, QDateTime> times;
    for (const auto& [name, bytes] : written)
        times[name] = QFileInfo(qpath(out) + "/" + name).lastModified();
    const Ran second = runConvert({"-r", "-t", type, "--json", "-o", qpath(out), qpath(source)});
    EXPECT_EQ(second.exit, 0);
    // (A document without a preview has no picture to compare: it is read again.)
    EXPECT_TRUE(second.err.startsWith("0 written, 15 up to date, 3 without a preview, 0 failed"))
        << second.err.toStdString();
    const QStringList again = lines(second.out);
    ASSERT_EQ(again.size(), static_cast<qsizetype>(fixtureDocuments().size()));
    for (std::size_t i = 0; i < fixtureDocuments().size(); ++i)
        EXPECT_EQ(QJsonDocument::fromJson(again[static_cast<qsizetype>(i)].toUtf8())["status"].toString(),
                  fixtureDocuments()[i].hasPreview ? "up-to-date" : "no-preview");
    EXPECT_EQ(filesBelow(qpath(out)), written);
    for (const auto& [name, time] : times)
        EXPECT_EQ(QFileInfo(qpath(out) + "/" + name).lastModified(), time) << name.toStdString();
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

    const Ran dry = runConvert({"-n", "-r", "-t", "png", "--json", "-o", qpath(one), qpath(source)});
    EXPECT_EQ(dry.exit, 0);
    EXPECT_TRUE(filesBelow(qpath(one)).empty());
    EXPECT_TRUE(dry.err.startsWith("15 to write, 0 up to date, 3 without a preview")) << dry.err.toStdString();

    const Ran j1 = runConvert({"-j", "1", "-r", "-t", "png", "--json", "-o", qpath(one), qpath(source)});
    const Ran j2 = runConvert({"-j2", "-r", "-t", "png", "--json", "-o", qpath(two), qpath(source)});
    EXPECT_EQ(j1.exit, 0);
    EXPECT_EQ(j2.exit, 0);
    const auto files = filesBelow(qpath(one));
    EXPECT_EQ(files.size(), 15u);
    EXPECT_EQ(filesBelow(qpath(two)), files);
    EXPECT_EQ(QString(j2.out).replace(qpath(two), qpath(one)), j1.out);
    EXPECT_EQ(QString(dry.out).remove(",\"dry_run\":true"), j1.out);
    for (const auto& [name, bytes] : files) {
        QImage png;
        ASSERT_TRUE(png.loadFromData(bytes, "PNG")) << name.toStdString();
        EXPECT_LE(std::max(png.width(), png.height()), 240);   // 512-pixel previews shrink, 180 stay
    }

    const Ran forced = runConvert({"-f", "-q", "--json", "-r", "-t", "png", "-o", qpath(two), qpath(source)});
    EXPECT_EQ(forced.exit, 0);
    EXPECT_EQ(forced.err, "");   // -q: no summary
    EXPECT_EQ(forced.out.count("\"status\":\"written\""), 15);
    EXPECT_EQ(filesBelow(qpath(two)), files);
}

// A damaged document and a folder that cannot be made: both named once, the
// rest written, an existing picture of the damaged one kept.
TEST(Convert, FailuresAreNamedOnceAndTheRestIsWritten)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir source, out;
    const FixtureDocument& good = fixtureDocuments()[1];       // Part3.ipt, with a preview
    fs::create_directories(source.path() / "a");
    fs::create_directories(source.path() / "b");
    fs::copy_file(fixturePath(good), source.path() / "a" / "good.ipt");
    fs::copy_file(fixturePath(good), source.path() / "b" / "other.ipt");
    const QString damaged = "dam\x01ged.ipt";
    writeAll(qpath(source) + "/a/" + damaged, readAll(QString::fromStdString(fixturePath(good).string())).left(3000));
    fs::create_directories(out.path() / "a");
    writeAll(qpath(out) + "/a/dam\x01ged.bmp", "an older picture");
    fs::last_write_time(out.path() / "a" / "dam\x01ged.bmp", fs::file_time_type::clock::now() - std::chrono::hours(1));
    writeAll(qpath(out) + "/b", "a file where the folder b would go");

    const Ran run = runConvert({"-r", "-o", qpath(out), qpath(source)});
    EXPECT_EQ(run.exit, 1);
    const QStringList err = lines(run.err);
    ASSERT_EQ(err.size(), 3) << run.err.toStdString();
    EXPECT_TRUE(err[0].startsWith("glimmerbox-convert: " + qpath(source) + "/a/dam\\x01ged.ipt: ")) << err[0].toStdString();
    EXPECT_TRUE(err[1].startsWith("glimmerbox-convert: " + qpath(source) + "/b/other.ipt: cannot make the folder"))
        << err[1].toStdString();
    EXPECT_TRUE(err[2].startsWith("1 written, 0 up to date, 0 without a preview, 2 failed")) << err[2].toStdString();
    EXPECT_EQ(readAll(qpath(out) + "/a/dam\x01ged.bmp"), "an older picture");
    EXPECT_TRUE(QFileInfo(qpath(out) + "/a/good.bmp").size() > 0);
}

// Pictures that cannot be written whole (a file size limit stands in for a
// full disk) or put in place fail, with the reason; the old pictures stay
// and no temporary file is left.
TEST(Convert, PicturesThatCannotBePutInPlaceFailAndKeepTheOldOnes)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir source, out;
    copyFixtures(source.path());
    ASSERT_EQ(runConvert({"-q", "-r", "-o", qpath(out), qpath(source)}).exit, 0);
    const auto old = filesBelow(qpath(out));

    QProcess process;
    process.setChildProcessModifier([] {
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
    });
    process.start(QStringLiteral(GLIMMER_CONVERT), {"-f", "-j2", "-r", "-o", qpath(out), qpath(source)});
    ASSERT_TRUE(process.waitForFinished(300000));
    EXPECT_EQ(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(err.count("(File too large)"), 15) << err.toStdString();
    EXPECT_TRUE(lines(err).last().startsWith("0 written, 0 up to date, 3 without a preview, 15 failed")) << err.toStdString();
    EXPECT_EQ(filesBelow(qpath(out)), old);

    const QString picture = qpath(out) + "/" + old.begin()->first;
    convert::StagedDocument staged;
    staged.result.status = convert::ConvertedDocument::Status::Written;
    staged.picture = StagedFile::stage(picture.toStdString(), std::as_bytes(std::span("new", 3)));
    for (const auto& [name, bytes] : filesBelow(qpath(out)))
        if (name.contains(".part-"))
            QFile::remove(qpath(out) + "/" + name);   // the rename then fails
    const convert::ConvertedDocument result = convert::commit(std::move(staged));
    EXPECT_EQ(result.status, convert::ConvertedDocument::Status::Failed);
    EXPECT_NE(result.reason.find(picture.toStdString()), std::string::npos) << result.reason;
    EXPECT_EQ(filesBelow(qpath(out)), old);
}

// An interrupted run begins no more documents, puts what it staged in
// place, reports what is done, leaves no temporary file and exits 130.
TEST(Convert, InterruptedRunsLeaveNoTemporaryFiles)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir source, out;
    for (int i = 0; i < 20; ++i)
        copyFixtures(source.path() / std::to_string(i));
    QProcess process;
    process.start(QStringLiteral(GLIMMER_CONVERT), {"-j1", "--json", "-r", "-o", qpath(out), qpath(source)});
    ASSERT_TRUE(process.waitForReadyRead(300000));   // the first lines, buffered: documents are done
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(300000));
    EXPECT_EQ(process.exitCode(), 130);
    const QStringList reported = lines(QString::fromUtf8(process.readAllStandardOutput()));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("interrupted: %1 of 360 documents not done").arg(360 - reported.size())))
        << err.toStdString();
    const auto written = filesBelow(qpath(out));
    EXPECT_EQ(static_cast<qsizetype>(written.size()), reported.filter("\"written\"").size());
    for (const auto& [name, bytes] : written)
        EXPECT_FALSE(name.contains(".part-")) << name.toStdString();
}

// Bad usage is 2, a path that cannot be taken 1, help and version 0.
TEST(Convert, ExitStatus)
{
    TempDir dir;
    writeAll(qpath(dir) + "/notes.txt", "text");
    const struct {
        QStringList arguments;
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
        {{qpath(dir) + "/missing.ipt"}, 1, "missing.ipt: no such file or folder"},
        {{qpath(dir) + "/notes.txt"}, 1, "notes.txt: not a document"},
        {{qpath(dir)}, 0, "0 written, 0 up to date, 0 without a preview, 0 failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Ran run = runConvert(c.arguments);
        EXPECT_EQ(run.exit, c.exit);
        EXPECT_TRUE((run.out + run.err).contains(c.saying)) << (run.out + run.err).toStdString();
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
        QJsonParseError error{};
        QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
    }
}

// Which files a folder yields: the five extensions in any case, subfolders
// with -r, links to folders with -L, sorted by path; nothing is read.
TEST(Convert, FoldersYieldTheirDocumentsSortedByPath)
{
    TempDir dir;
    const QString d = qpath(dir);
    fs::create_directories(dir.path() / "sub");
    for (const char* name : {"b.IPT", "a.idw", "a.ipt", "notes.txt", "sub/c.iam", "sub/z.Ide"})
        writeAll(d + "/" + name, "not even a document");
    fs::create_directory_symlink(dir.path() / "sub", dir.path() / "link");

    const auto documents = [&](QStringList flags) {
        convert::Options options;
        options.recursive = flags.contains("-r");
        options.followLinks = flags.contains("-L");
        options.paths = {d.toStdString()};
        QStringList found;
        for (const convert::Job& job : convert::planJobs(options))
            found << QDir(d).relativeFilePath(QString::fromStdString(job.document)) + " > "
                         + QDir(d).relativeFilePath(QString::fromStdString(job.output));
        return found;
    };
    EXPECT_EQ(documents({}), QStringList({"a.idw > a.bmp", "a.ipt > a.ipt.bmp", "b.IPT > b.bmp"}));
    EXPECT_EQ(documents({"-r"}), QStringList({"a.idw > a.bmp", "a.ipt > a.ipt.bmp", "b.IPT > b.bmp",
                                              "sub/c.iam > sub/c.bmp", "sub/z.Ide > sub/z.bmp"}));
    EXPECT_EQ(documents({"-r", "-L"}),
              QStringList({"a.idw > a.bmp", "a.ipt > a.ipt.bmp", "b.IPT > b.bmp", "link/c.iam > link/c.bmp",
                           "link/z.Ide > link/z.bmp", "sub/c.iam > sub/c.bmp", "sub/z.Ide > sub/z.bmp"}));

    // A current folder that is gone takes nothing from paths that need none.
    TempDir gone;
    const CurrentDir inside(gone.path());
    fs::remove(gone.path());
    EXPECT_EQ(documents({}), QStringList({"a.idw > a.bmp", "a.ipt > a.ipt.bmp", "b.IPT > b.bmp"}));
}

// The progress line shows on a terminal only, and not with -q. (Off a
// terminal, the other tests find no more lines on stderr than they expect.)
TEST(Convert, ProgressLineOnATerminal)
{
    GLIMMER_REQUIRE_FIXTURES();
    if (QStandardPaths::findExecutable("script").isEmpty())
        GTEST_SKIP() << "script (util-linux) not found: no terminal to run in";
    TempDir source, out;
    copyFixtures(source.path());
    const auto onTerminal = [&](const QString& flags) {
        QProcess process;
        process.start("script", {"-qec", QStringLiteral("'%1' %2 -r -o '%3' '%4'")
                                             .arg(GLIMMER_CONVERT, flags, qpath(out), qpath(source)),
                                 "/dev/null"});
        EXPECT_TRUE(process.waitForFinished(300000));
        return QString::fromUtf8(process.readAllStandardOutput());
    };
    const QString shown = onTerminal("-f");
    EXPECT_TRUE(shown.contains(QRegularExpression("\r\\d+/18 documents, [0-9.]+/s, \\S+ left"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains("15 written, 0 up to date, 3 without a preview, 0 failed")) << shown.toStdString();
    EXPECT_FALSE(onTerminal("-f -q").contains("documents"));
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
TEST(Convert, ConfinedWorkersCannotOpenCreateStartOrConnect)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir out, elsewhere;
    const QString document = fixtureQPath("kdizon-2P-OPM/AA AOTF subassy.iam");
    const QString outside = qpath(elsewhere) + "/planted";
    struct Row {
        QString probe;
        QString refused;   // after "probe: cannot "
    } rows[] = {
        {"open", "open /etc/passwd"},
        {"create:" + outside, "create " + outside},
        {"exec", "start /bin/true"},
        {"socket", "open a socket"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.probe.toStdString());
        QProcess p;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("GLIMMER_PROBE", r.probe);
        p.setProcessEnvironment(environment);
        p.start(QStringLiteral(GLIMMER_CONVERT_PROBE), {"-v", "-o", qpath(out), document});
        ASSERT_TRUE(p.waitForFinished(60000));
        const QStringList err = lines(QString::fromUtf8(p.readAllStandardError()));
        ASSERT_EQ(err.size(), 3) << err.join('\n').toStdString();
        if (err[0].contains("seccomp alone") && r.probe != "exec" && r.probe != "socket")
            continue;   // a kernel without Landlock: files are not confined, as -v says
        EXPECT_EQ(err[0], "glimmerbox-convert: confined by Landlock and seccomp: reading only under the PATHs, "
                          "writing only where the pictures go; no exec, no sockets");
        EXPECT_TRUE(err[1].startsWith("glimmerbox-convert: " + document + ": probe: cannot " + r.refused + ": "))
            << err[1].toStdString();
        EXPECT_TRUE(err[2].startsWith("0 written, 0 up to date, 0 without a preview, 1 failed")) << err[2].toStdString();
        EXPECT_EQ(p.exitCode(), 1);
        EXPECT_TRUE(filesBelow(qpath(out)).empty());
        EXPECT_FALSE(QFile::exists(outside));
    }
}
