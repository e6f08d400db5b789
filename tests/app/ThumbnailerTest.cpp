#include "tests/support/CompoundFileEditor.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Pixels.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace glimmer::test;

namespace {

struct Outcome {
    int status = -1;
    QString stderrText;
};

Outcome thumbnailer(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(GLIMMER_THUMBNAILER), args);
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
}

int lines(const QString& text)
{
    return static_cast<int>(text.count(u'\n'));
}

} // namespace

TEST(Thumbnailer, WritesEveryFixturePreviewPixelForPixel)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir dir;
    for (const FixtureDocument& doc : fixtureDocuments()) {
        SCOPED_TRACE(doc.path);
        const QString out = dir.qpath() + QStringLiteral("/thumb.png");
        QFile::remove(out);
        const Outcome r = thumbnailer({fixtureQPath(doc.path), out});
        if (doc.hasPreview) {
            ASSERT_EQ(r.status, 0) << r.stderrText.toStdString();
            EXPECT_TRUE(r.stderrText.isEmpty()) << r.stderrText.toStdString();
            const QImage written(out, "PNG");
            EXPECT_EQ(written.size(), QSize(doc.previewSize, doc.previewSize));
            EXPECT_EQ(pixelSha256(written), QByteArray(doc.pixelSha256));
        } else {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(lines(r.stderrText), 1) << r.stderrText.toStdString();
            EXPECT_TRUE(r.stderrText.contains(fixtureQPath(doc.path))) << r.stderrText.toStdString();
            EXPECT_FALSE(QFile::exists(out));
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
    const QString input = dir.qpath() + QStringLiteral("/versionless.ipt");
    editor.write(input.toStdString());
    const QString out = dir.qpath() + QStringLiteral("/thumb.png");
    const Outcome r = thumbnailer({input, out});
    ASSERT_EQ(r.status, 0) << r.stderrText.toStdString();
    EXPECT_EQ(pixelSha256(QImage(out, "PNG")), QByteArray(doc.pixelSha256));
}

TEST(Thumbnailer, ScalesDownToFitButNeverUp)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir dir;
    const QString out = dir.qpath() + QStringLiteral("/thumb.png");
    struct Row {
        const char* document;
        const char* size;
        QSize expected;
    };
    const Row rows[] = {
        {"kdizon-2P-OPM/Sapphire laser subassy v2.iam", "256", {256, 256}},
        {"kdizon-2P-OPM/Sapphire laser subassy v2.iam", "0", {512, 512}},
        {"kdizon-2P-OPM/AA AOTF subassy.iam", "128", {128, 128}},
        {"kdizon-2P-OPM/AA AOTF subassy.iam", "1024", {180, 180}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.document) + " -s " + r.size);
        ASSERT_EQ(thumbnailer({QStringLiteral("-s"), QString::fromLatin1(r.size), fixtureQPath(r.document), out}).status, 0);
        EXPECT_EQ(QImage(out).size(), r.expected);
    }
}

TEST(Thumbnailer, FailuresSayWhyInExactlyOneLineAndLeaveTheOutputAlone)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir dir;
    const QString d = dir.qpath();
    const QString out = d + "/existing.png";
    writeAll(out, "before");
    writeAll(d + "/not-a-document.ipt", "plain text");
    writeAll(d + "/file", "x");
    QDir(d).mkdir("folder.png");
    for (const char* fifo : {"/in.fifo", "/out.fifo"})
        ASSERT_EQ(::mkfifo((dir.path().string() + fifo).c_str(), 0600), 0);
    const QString good = fixtureQPath("kdizon-2P-OPM/AA AOTF subassy.iam");
    const QString noPreview = fixtureQPath("kdizon-2P-OPM/003550_2.ipt");
    const QString hostileName = d + "/\x1b[2J\rgone.ipt";   // clears a terminal, if let through
    struct Row {
        const char* name;
        QStringList args;
        int status;
        QString line;   // after "glimmerbox-thumbnailer: "
    };
    const Row rows[] = {
        {"not a document", {d + "/not-a-document.ipt", out}, 2, d + "/not-a-document.ipt: not a compound file"},
        {"a folder", {d, out}, 2, d + ": is a folder, not a file"},
        {"a FIFO, without blocking", {d + "/in.fifo", out}, 2, d + "/in.fifo: is not a regular file"},
        {"missing", {d + "/missing.ipt", out}, 2, d + "/missing.ipt: cannot be read: No such file or directory"},
        {"control characters written out", {hostileName, out}, 2,
         d + "/\\x1B[2J\\x0Dgone.ipt: cannot be read: No such file or directory"},
        {"no preview", {noPreview, out}, 1, noPreview + ": the document has no preview"},
        {"output folder missing", {good, d + "/missing/thumb.png"}, 3,
         "Path not found: cannot write \"" + d + "/missing/thumb.png\" (No such file or directory)"},
        {"output is a folder", {good, d + "/folder.png"}, 3, "Path/File access error: \"" + d + "/folder.png\" is a folder"},
        {"output is a FIFO", {good, d + "/out.fifo"}, 3, "Path/File access error: \"" + d + "/out.fifo\" is not a regular file"},
        {"bad size", {"-s", "big", good, out}, 3, "bad size \"big\""},
        {"no output", {good}, 3, "usage: glimmerbox-thumbnailer [-s SIZE] INPUT OUTPUT"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Outcome run = thumbnailer(r.args);
        EXPECT_EQ(run.status, r.status);
        EXPECT_EQ(run.stderrText, "glimmerbox-thumbnailer: " + r.line + "\n");
        EXPECT_EQ(readAll(out), "before");
    }
    EXPECT_FALSE(QFile::exists(d + "/missing"));
    EXPECT_TRUE(QFileInfo(d + "/folder.png").isDir());
    EXPECT_EQ(QDir(d).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size(), 6);   // no temporary files
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
    const QString out = dir.qpath() + "/thumb.png";
    const QString input = fixtureQPath("kdizon-2P-OPM/Sapphire laser subassy v2.iam");
    const QString outOfMemory = "glimmerbox-thumbnailer: " + input + ": out of memory\n";
    int outOfMemoryRuns = 0;
    for (rlim_t mib = 40; mib <= 160; mib += 3) {
        SCOPED_TRACE(mib);
        QFile::remove(out);
        QProcess p;
        p.setChildProcessModifier([mib] {
            const rlimit limit{mib << 20, mib << 20};
            ::setrlimit(RLIMIT_AS, &limit);
        });
        p.start(QStringLiteral(GLIMMER_THUMBNAILER), {input, out});
        ASSERT_TRUE(p.waitForFinished(20000)) << "still running";
        ASSERT_EQ(p.exitStatus(), QProcess::NormalExit);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        if (p.exitCode() == 127)
            continue;   // the loader found no room for the libraries, and said so
        if (p.exitCode() == 0) {
            EXPECT_EQ(err, "");
            EXPECT_EQ(QImage(out).size(), QSize(512, 512));
            continue;
        }
        EXPECT_TRUE(p.exitCode() == 1 || p.exitCode() == 2) << p.exitCode();
        EXPECT_EQ(lines(err), 1) << err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
        outOfMemoryRuns += err == outOfMemory;
    }
    EXPECT_GT(outOfMemoryRuns, 0);
}
