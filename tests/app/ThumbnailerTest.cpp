#include "tests/support/CompoundFileEditor.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Pixels.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>

#include <fstream>

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

TEST(Thumbnailer, FailuresSayWhyInOneLineAndLeaveTheOutputAlone)
{
    GLIMMER_REQUIRE_FIXTURES();
    TempDir dir;
    const QString out = dir.qpath() + QStringLiteral("/existing.png");
    {
        std::ofstream(out.toStdString()) << "before";
        std::ofstream(dir.path() / "not-a-document.ipt") << "plain text";
        std::ofstream(dir.path() / "file") << "x";
    }
    const QString good = fixtureQPath("kdizon-2P-OPM/AA AOTF subassy.iam");
    struct Row {
        const char* name;
        QStringList args;
        int status;
        const char* text;
    };
    const Row rows[] = {
        {"not a document", {dir.qpath() + "/not-a-document.ipt", out}, 2, "not a compound file"},
        {"a folder", {dir.qpath(), out}, 2, "folder"},
        {"missing", {dir.qpath() + "/missing.ipt", out}, 2, "No such file"},
        {"no preview", {fixtureQPath("kdizon-2P-OPM/003550_2.ipt"), out}, 1, "no preview"},
        {"output folder missing", {good, dir.qpath() + "/missing/thumb.png"}, 3, "cannot be written"},
        {"output under a file", {good, dir.qpath() + "/file/thumb.png"}, 3, "cannot be written"},
        {"bad size", {"-s", "big", good, out}, 3, "bad size"},
        {"no output", {good}, 3, "usage"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Outcome run = thumbnailer(r.args);
        EXPECT_EQ(run.status, r.status);
        EXPECT_EQ(lines(run.stderrText), 1) << run.stderrText.toStdString();
        EXPECT_TRUE(run.stderrText.contains(QString::fromUtf8(r.text))) << run.stderrText.toStdString();
        std::ifstream in(out.toStdString());
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "before");
    }
    EXPECT_FALSE(QFile::exists(dir.qpath() + "/missing"));
}
