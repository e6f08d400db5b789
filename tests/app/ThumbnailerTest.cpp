#include "fuzz/support/CompoundFileEditor.h"
#include "tests/support/qt/QtFixtures.h"
#include "tests/support/qt/QtPixels.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include "preview/Fetch.h"
#include "preview/FileComponents.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace glimmer::test;

namespace {

struct Outcome {
    int status = -1;
    QString stderrText;
    QString stdoutText;
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
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError()),
            QString::fromUtf8(p.readAllStandardOutput())};
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
        const QString out = qpath(dir) + QStringLiteral("/thumb.png");
        QFile::remove(out);
        const Outcome r = thumbnailer({fixtureQPath(doc.path), out});
        if (doc.hasPreview) {
            ASSERT_EQ(r.status, 0) << r.stderrText.toStdString();
            EXPECT_TRUE(r.stderrText.isEmpty()) << r.stderrText.toStdString();
            const QImage written(out, "PNG");
            EXPECT_EQ(written.size(), QSize(doc.previewSize, doc.previewSize));
            EXPECT_EQ(pixelSha256(written), doc.pixelSha256);
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
    const QString input = qpath(dir) + QStringLiteral("/versionless.ipt");
    editor.write(input.toStdString());
    const QString out = qpath(dir) + QStringLiteral("/thumb.png");
    const Outcome r = thumbnailer({input, out});
    ASSERT_EQ(r.status, 0) << r.stderrText.toStdString();
    EXPECT_EQ(pixelSha256(QImage(out, "PNG")), doc.pixelSha256);
}

TEST(Thumbnailer, ScalesDownToFitButNeverUp)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir dir;
    const QString out = qpath(dir) + QStringLiteral("/thumb.png");
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
    const QString d = qpath(dir);
    const QString out = d + "/existing.png";
    writeAll(out, "before");
    writeAll(d + "/not-a-document.ipt", "plain text");
    writeAll(d + "/file", "x");
    QDir(d).mkdir("folder.png");
    for (const char* fifo : {"/in.fifo", "/out.fifo"})
        ASSERT_EQ(::mkfifo((dir.path().string() + fifo).c_str(), 0600), 0);
    const QString good = fixtureQPath("kdizon-2P-OPM/AA AOTF subassy.iam");
    const QString noPreview = fixtureQPath("kdizon-2P-OPM/003550_2.ipt");
    // Clears a terminal, if let through; DEL and a C1 control (CSI) as well.
    const QString hostileName = d + QString::fromUtf8("/\x1b[2J\r\x7f\u009bgone.ipt");
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
    const QString out = qpath(dir) + "/thumb.png";
    const QString input = fixtureQPath("kdizon-2P-OPM/Sapphire laser subassy v2.iam");
    const QString outOfMemory = "glimmerbox-thumbnailer: " + input + ": out of memory\n";
    int outOfMemoryRuns = 0;
    int writtenRuns = 0;
    for (rlim_t kib = 2048; kib <= 40960; kib += 512) {
        SCOPED_TRACE(kib);
        QFile::remove(out);
        QProcess p;
        p.setChildProcessModifier([kib] {
            const rlimit limit{kib << 10, kib << 10};
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
            ++writtenRuns;
            continue;
        }
        EXPECT_TRUE(p.exitCode() == 1 || p.exitCode() == 2) << p.exitCode();
        EXPECT_EQ(lines(err), 1) << err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
        outOfMemoryRuns += err == outOfMemory;
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
    const QString input = fixtureQPath("kdizon-2P-OPM/AA AOTF subassy.iam");
    const QString out = qpath(dir) + "/thumb.png";
    const QString outside = qpath(elsewhere) + "/planted";
    struct Row {
        QString probe;
        QString refused;     // after "probe: cannot "
        QString unconfined;  // after "probe: ", the attempt made
    };
    const Row rows[] = {
        {"open", "open /etc/passwd", "opened /etc/passwd"},
        {"create:" + outside, "create " + outside, "created " + outside},
        {"exec", "start /bin/true", ""},   // unconfined, /bin/true takes over and exits 0
        {"socket", "open a socket", "opened a socket"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.probe.toStdString());
        for (const bool confined : {true, false}) {
            QProcess p;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("GLIMMER_PROBE", r.probe);
            if (!confined)
                environment.insert("GLIMMER_NO_SANDBOX", "1");
            p.setProcessEnvironment(environment);
            p.start(QStringLiteral(GLIMMER_THUMBNAILER_PROBE), {input, out});
            ASSERT_TRUE(p.waitForFinished(30000));
            const QString err = QString::fromUtf8(p.readAllStandardError());
            if (confined) {
                EXPECT_EQ(p.exitCode(), 2);
                EXPECT_EQ(lines(err), 1) << err.toStdString();
                EXPECT_TRUE(err.startsWith("glimmerbox-thumbnailer: " + input + ": cannot be read: probe: cannot " + r.refused + ": "))
                    << err.toStdString();
                EXPECT_TRUE(QDir(qpath(dir)).isEmpty()) << "no picture, no temporary file";
                EXPECT_FALSE(QFile::exists(outside));
            } else if (!r.unconfined.isEmpty()) {
                EXPECT_TRUE(err.contains("probe: " + r.unconfined)) << err.toStdString();
            } else {
                EXPECT_EQ(p.exitCode(), 0);
            }
            QDir(qpath(dir)).removeRecursively();
            QDir().mkpath(qpath(dir));
            QFile::remove(outside);
        }
    }
}

// The thumbnailer opens its document before it confines itself and reads it
// afterwards through the descriptor: the path is not opened again.
TEST(Thumbnailer, AnAdoptedDocumentIsReadFromItsDescriptor)
{
    GLIMMER_REQUIRE_FIXTURES();
    const FixtureDocument& doc = fixtureDocuments()[1];
    const int fd = ::open(fixturePath(doc).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    glimmer::FileComponents components;
    components.adopt("/no/such/folder/document.ipt", fd);
    const glimmer::FetchedPreview fetched = glimmer::fetchPreview(components, "/no/such/folder/document.ipt");
    ASSERT_EQ(fetched.status, glimmer::FetchedPreview::Status::Ok) << fetched.reason;
    EXPECT_FALSE(fetched.picture.size().isEmpty());
    EXPECT_EQ(glimmer::fetchPreview(components, "/no/such/folder/document.ipt").status,
              glimmer::FetchedPreview::Status::Unreadable);   // taken once, then closed
}

TEST(Thumbnailer, HelpGoesToStandardOutput)
{
    const Outcome help = thumbnailer({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.stdoutText.startsWith("Usage: glimmerbox-thumbnailer [-s SIZE] INPUT OUTPUT\n")) << help.stdoutText.toStdString();
    EXPECT_EQ(help.stderrText, "");
}

// Both programs over the engine link no Qt: not directly, not through
// another library. (Built with the sanitizers they load libdeflate; else
// they are static.)
TEST(FrontEnds, LinkNoQt)
{
    const QString ldd = QStandardPaths::findExecutable("ldd");
    if (ldd.isEmpty())
        GTEST_SKIP() << "ldd not found: the libraries cannot be listed";
    for (const char* program : {GLIMMER_THUMBNAILER, GLIMMER_CONVERT}) {
        SCOPED_TRACE(program);
        QProcess p;
        p.start(ldd, {QString::fromUtf8(program)});
        ASSERT_TRUE(p.waitForFinished(30000));
        const QString libraries = QString::fromUtf8(p.readAllStandardOutput());
        ASSERT_EQ(p.exitCode(), 0) << libraries.toStdString();
        EXPECT_TRUE(libraries.contains("libdeflate") || libraries.contains("statically linked"))   // a real answer
            << libraries.toStdString();
        EXPECT_FALSE(libraries.contains("libQt", Qt::CaseInsensitive)) << libraries.toStdString();
    }
}
