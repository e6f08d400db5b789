#include "tests/support/Pixels.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "tests/support/BitmapFiles.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace glimmer;
using namespace glimmer::test;

namespace {

} // namespace

TEST(SavePicture, ReplacesALongerFileWhole)
{
    test::TempDir dir;
    const QString path = dir.qpath() + QStringLiteral("/p.bmp");
    writeAll(path, QByteArray(100000, 'x'));
    SavePicture(test::cornerPicture(4, 4), path);
    EXPECT_EQ(readAll(path).size(), 54 + 12 * 4);
    EXPECT_EQ(QDir(dir.qpath()).entryList(QDir::Files), QStringList{QStringLiteral("p.bmp")});
}

TEST(SavePicture, FailuresNameThePathAndLoseNothing)
{
    test::TempDir dir;
    writeAll(dir.qpath() + QStringLiteral("/plain"), "a file");
    writeAll(dir.qpath() + QStringLiteral("/kept.bmp"), "the older picture");
    QDir(dir.qpath()).mkdir(QStringLiteral("folder.bmp"));
    struct Case {
        const char* name;
        QImage image;
        QString path;
        int number;
    };
    const QImage picture = test::cornerPicture(3, 3);
    const Case cases[] = {
        {"missing folder", picture, dir.qpath() + QStringLiteral("/missing/p.bmp"), RuntimeError::PathNotFound},
        {"folder is a file", picture, dir.qpath() + QStringLiteral("/plain/p.bmp"), RuntimeError::PathNotFound},
        {"target is a folder", picture, dir.qpath() + QStringLiteral("/folder.bmp"), RuntimeError::PathFileAccess},
        {"no picture", QImage(), dir.qpath() + QStringLiteral("/kept.bmp"), RuntimeError::InvalidPicture},
        {"empty path", picture, QString(), RuntimeError::BadFileName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            SavePicture(c.image, c.path);
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), c.number) << e.text().toStdString();
            EXPECT_TRUE(e.text().contains(c.path)) << e.text().toStdString();
        }
    }
    EXPECT_EQ(readAll(dir.qpath() + QStringLiteral("/kept.bmp")), QByteArray("the older picture"));
    EXPECT_EQ(QDir(dir.qpath()).entryList(QDir::Files).size(), 2);   // no temporary files left
}

// Only a regular file is replaced; a symbolic link is written through to a
// regular target and stays a link; anything else is refused and left alone.
TEST(WriteFileAtomically, ReplacesOnlyRegularFilesAndWritesThroughLinks)
{
    test::TempDir dir;
    const std::string d = dir.path().string();
    writeAll(dir.qpath() + "/regular", "old");
    writeAll(dir.qpath() + "/target", "old");
    QDir(dir.qpath()).mkdir("folder");
    ASSERT_EQ(::mkfifo((d + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("target", (d + "/to-regular").c_str()), 0);
    ASSERT_EQ(::symlink("fifo", (d + "/to-fifo").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (d + "/dangling").c_str()), 0);
    struct Case {
        const char* name;
        QString path;
        QString written;   // the file that then holds "new"; empty when refused
        QString refusal;
    };
    const Case cases[] = {
        {"regular", dir.qpath() + "/regular", dir.qpath() + "/regular", {}},
        {"missing", dir.qpath() + "/missing", dir.qpath() + "/missing", {}},
        {"symlink to regular", dir.qpath() + "/to-regular", dir.qpath() + "/target", {}},
        {"folder", dir.qpath() + "/folder", {}, "is a folder"},
        {"FIFO", dir.qpath() + "/fifo", {}, "is not a regular file"},
        {"symlink to FIFO", dir.qpath() + "/to-fifo", {}, "is not a regular file"},
        {"dangling symlink", dir.qpath() + "/dangling", {}, "is a symbolic link that leads nowhere"},
        {"device", "/dev/null", {}, "is not a regular file"},
    };
    const QByteArray bytes = "new";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            writeFileAtomically(c.path, std::as_bytes(std::span(bytes.constData(), 3)));
            EXPECT_EQ(readAll(c.written), bytes);
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), RuntimeError::PathFileAccess);
            EXPECT_EQ(e.text(), "Path/File access error: \"" + c.path + "\" " + c.refusal
                                    + (c.refusal.contains("nowhere") ? " (No such file or directory)" : ""));
            EXPECT_TRUE(c.written.isEmpty()) << e.text().toStdString();
        }
    }
    EXPECT_TRUE(QFileInfo(dir.qpath() + "/to-regular").isSymLink());
    EXPECT_TRUE(QFileInfo(dir.qpath() + "/folder").isDir());
    struct stat st {};
    ASSERT_EQ(::lstat((d + "/fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_FALSE(QFile::exists(dir.qpath() + "/nowhere"));
    EXPECT_EQ(QDir(dir.qpath()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size(), 8);   // nothing more, no temporary file
}

// A staged file lands whole or not at all: whatever goes wrong before its
// commit, the old file stays and no temporary file is left.
TEST(StagedFile, CommitsWholeOrLeavesTheOldFile)
{
    const auto temporaries = [](const QString& dir) { return QDir(dir).entryList({"*.part-*"}, QDir::Files | QDir::Hidden); };
    struct Case {
        const char* name;
        std::function<void(const QString& path)> meddle;   // between stage and commit
        bool commit;
        const char* left;   // what the path then holds; empty: a folder
        const char* error;
    };
    const Case cases[] = {
        {"committed", [](const QString&) {}, true, "new", nullptr},
        {"never committed", [](const QString&) {}, false, "old", nullptr},
        {"temporary file gone", [&](const QString& path) { QFile::remove(QFileInfo(path).path() + "/" + temporaries(QFileInfo(path).path())[0]); },
         true, "old", "(No such file or directory)"},
        {"a folder in the way", [](const QString& path) {
             QFile::remove(path);
             QDir().mkdir(path);
         }, true, "", "\" is a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const QString path = dir.qpath() + "/p.bmp";
        writeAll(path, "old");
        ::chmod(QFile::encodeName(path).constData(), 0640);
        {
            StagedFile staged = StagedFile::stage(path, std::as_bytes(std::span("new", 3)));
            EXPECT_EQ(temporaries(dir.qpath()).size(), 1);
            EXPECT_EQ(readAll(path), "old");
            c.meddle(path);
            try {
                if (c.commit)
                    staged.commit();
                EXPECT_EQ(c.error, nullptr);
            } catch (const RuntimeError& e) {
                ASSERT_NE(c.error, nullptr) << e.text().toStdString();
                EXPECT_TRUE(e.text().contains(path) && e.text().contains(c.error)) << e.text().toStdString();
            }
        }
        if (*c.left) {
            EXPECT_EQ(readAll(path), c.left);
            struct stat st {};
            ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0640u);   // a replaced file keeps its permissions
        } else {
            EXPECT_TRUE(QFileInfo(path).isDir());
        }
        EXPECT_EQ(temporaries(dir.qpath()), QStringList());
    }
}

TEST(Printable, WritesControlCharactersOut)
{
    EXPECT_EQ(printable(QString::fromUtf8("a\x1b[2J\r\n\x7f\u0085\u009b b\\x05 \u00e9")),
              QString::fromUtf8("a\\x1B[2J\\x0D\\x0A\\x7F\\x85\\x9B b\\x05 \u00e9"));
}

TEST(Kill, DeletesFilesAndNamesWhatItCannotDelete)
{
    test::TempDir dir;
    const QString file = dir.qpath() + QStringLiteral("/~TempBmpJpgImage.bmp");
    writeAll(file, "x");
    Kill(file);
    EXPECT_FALSE(QFile::exists(file));

    QDir(dir.qpath()).mkdir(QStringLiteral("sub"));
    struct Case {
        QString path;
        int number;
    };
    for (const Case& c : {Case{file, RuntimeError::FileNotFound}, Case{QString(), RuntimeError::FileNotFound},
                          Case{dir.qpath() + QStringLiteral("/sub"), RuntimeError::PathFileAccess}}) {
        SCOPED_TRACE(c.path.toStdString());
        try {
            Kill(c.path);
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), c.number);
            EXPECT_TRUE(e.text().contains(c.path));
        }
    }
    EXPECT_TRUE(QDir(dir.qpath() + QStringLiteral("/sub")).exists());
}
