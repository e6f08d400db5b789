#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "tests/support/BitmapFiles.h"
#include "tests/support/qt/QtFixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>

using namespace glimmer;
using namespace glimmer::test;

TEST(SavePicture, ReplacesALongerFileWhole)
{
    test::TempDir dir;
    const QString path = qpath(dir) + QStringLiteral("/p.bmp");
    writeAll(path, QByteArray(100000, 'x'));
    SavePicture(test::cornerPicture(4, 4), path.toStdString());
    EXPECT_EQ(readAll(path).size(), 54 + 12 * 4);
    EXPECT_EQ(QDir(qpath(dir)).entryList(QDir::Files), QStringList{QStringLiteral("p.bmp")});
}

// The file layer's errors reach the window as its run-time numbers, with the
// same text naming the path.
TEST(SavePicture, FailuresNameThePathAndLoseNothing)
{
    test::TempDir dir;
    writeAll(qpath(dir) + QStringLiteral("/plain"), "a file");
    writeAll(qpath(dir) + QStringLiteral("/kept.bmp"), "the older picture");
    QDir(qpath(dir)).mkdir(QStringLiteral("folder.bmp"));
    struct Case {
        const char* name;
        Image image;
        QString path;
        int number;
    };
    const Image picture = test::cornerPicture(3, 3);
    const Case cases[] = {
        {"missing folder", picture, qpath(dir) + QStringLiteral("/missing/p.bmp"), RuntimeError::PathNotFound},
        {"folder is a file", picture, qpath(dir) + QStringLiteral("/plain/p.bmp"), RuntimeError::PathNotFound},
        {"target is a folder", picture, qpath(dir) + QStringLiteral("/folder.bmp"), RuntimeError::PathFileAccess},
        {"no picture", Image(), qpath(dir) + QStringLiteral("/kept.bmp"), RuntimeError::InvalidPicture},
        {"empty path", picture, QString(), RuntimeError::BadFileName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            SavePicture(c.image, c.path.toStdString());
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), c.number) << e.text();
            EXPECT_NE(e.text().find(c.path.toStdString()), std::string::npos) << e.text();
        }
    }
    EXPECT_EQ(readAll(qpath(dir) + QStringLiteral("/kept.bmp")), QByteArray("the older picture"));
    EXPECT_EQ(QDir(qpath(dir)).entryList(QDir::Files).size(), 2);   // no temporary files left
}

TEST(RuntimeErrorOf, GivesEachKindOfFileErrorItsNumber)
{
    const struct {
        FileError::Kind kind;
        int number;
    } cases[] = {
        {FileError::Kind::BadFileName, RuntimeError::BadFileName},
        {FileError::Kind::PathNotFound, RuntimeError::PathNotFound},
        {FileError::Kind::PermissionDenied, RuntimeError::PermissionDenied},
        {FileError::Kind::Access, RuntimeError::PathFileAccess},
    };
    for (const auto& c : cases) {
        const RuntimeError e = runtimeErrorOf(FileError(c.kind, 0, "Größe \"x\""));
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.text(), "Größe \"x\"");
    }
}

TEST(Kill, DeletesFilesAndNamesWhatItCannotDelete)
{
    test::TempDir dir;
    const QString file = qpath(dir) + QStringLiteral("/~TempBmpJpgImage.bmp");
    writeAll(file, "x");
    Kill(file.toStdString());
    EXPECT_FALSE(QFile::exists(file));

    QDir(qpath(dir)).mkdir(QStringLiteral("sub"));
    struct Case {
        QString path;
        int number;
    };
    for (const Case& c : {Case{file, RuntimeError::FileNotFound}, Case{QString(), RuntimeError::FileNotFound},
                          Case{qpath(dir) + QStringLiteral("/sub"), RuntimeError::PathFileAccess}}) {
        SCOPED_TRACE(c.path.toStdString());
        try {
            Kill(c.path.toStdString());
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), c.number);
            EXPECT_NE(e.text().find(c.path.toStdString()), std::string::npos) << e.text();
        }
    }
    EXPECT_TRUE(QDir(qpath(dir) + QStringLiteral("/sub")).exists());
}
