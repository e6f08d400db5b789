#include "tests/support/Pixels.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "tests/support/BitmapFiles.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

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
