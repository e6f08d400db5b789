#include "tests/support/qt/QtFixtures.h"
#include "platform/RuntimeError.h"
#include "tests/support/window/Doubles.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace glimmer;
using namespace glimmer::test;

TEST(CommonDialog, FilterSplitsIntoDescriptionAndPatternPairs)
{
    const auto pairs = CommonDialog::filterPairs("Bitmap(*.bmp)|*.bmp|JPEG(*.jpg)|*.jpg|dangling");
    ASSERT_EQ(pairs.size(), 2);
    EXPECT_EQ(pairs[1].description, "JPEG(*.jpg)");
    EXPECT_EQ(pairs[1].pattern, "*.jpg");
}

TEST(CommonDialog, ConfirmedDialogReturnsThePathAndMovesToItsFolder)
{
    TempDir dir;
    CurrentDir keep(std::filesystem::temp_directory_path());
    ScriptedDialog dialog;
    dialog.answer(toStd(qpath(dir) + "/a b.ipt"));
    dialog.ShowOpen();
    EXPECT_EQ(QString::fromStdString(dialog.FileName), QDir::toNativeSeparators(qpath(dir) + "/a b.ipt"));
    EXPECT_EQ(QDir::currentPath(), qpath(dir));
}

TEST(CommonDialog, MultipleSelectionIsTheFolderThenBareNamesSeparatedByNul)
{
    TempDir dir;
    CurrentDir keep(std::filesystem::temp_directory_path());
    ScriptedDialog dialog;
    dialog.Flags = CommonDialog::AllowMultiselect;
    dialog.MaxFileSize = 32767;
    dialog.answer(toStd(QStringList{qpath(dir) + "/base plate.ipt", qpath(dir) + "/lid.iam"}));
    dialog.ShowOpen();
    EXPECT_EQ(QString::fromStdString(dialog.FileName).split(QChar(u'\0')),
              QStringList({QDir::toNativeSeparators(qpath(dir)), "base plate.ipt", "lid.iam"}));
}

TEST(CommonDialog, SelectionThatDoesNotFitTheBufferIsRefused)
{
    ScriptedDialog dialog;
    dialog.Flags = CommonDialog::AllowMultiselect;
    dialog.MaxFileSize = 20;
    dialog.FileName = "before";
    dialog.answer(toStd(QStringList{"/tmp/a long name.ipt", "/tmp/another long name.ipt"}));
    try {
        dialog.ShowOpen();
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), CommonDialog::BufferTooSmall);
    }
    EXPECT_TRUE(dialog.FileName.empty());
}

TEST(CommonDialog, CancelEmptiesTheName)
{
    ScriptedDialog dialog;
    dialog.FileName = "/docs/part";
    dialog.cancel();
    dialog.ShowSave();
    EXPECT_TRUE(dialog.FileName.empty());
    EXPECT_EQ(dialog.last().fileName, "/docs/part");
}
