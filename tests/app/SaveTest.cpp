#include "tests/support/Pixels.h"
#include "tests/support/Fixtures.h"
#include "imaging/IJL.h"
#include "imaging/cDIBSection.h"
#include "platform/RuntimeError.h"
#include "tests/support/WindowHarness.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QTimer>

using namespace glimmer;
using namespace glimmer::test;

namespace {

QSize imageSize(const QString& path)
{
    return QImageReader(path).size();
}

} // namespace

// A window with one scripted document opened from a temporary folder.
class SaveHarness : public WindowHarness {
protected:
    void SetUp() override
    {
        WindowHarness::SetUp();
        document = dir.qpath() + "/part.ipt";
        base = dir.qpath() + "/part";
        components.documents[document] = {20000, solidPicture(Qt::red), std::nullopt, "part.ipt", "part"};
        openDocument(document);
        ASSERT_TRUE(window->cmdSave->isEnabled());
    }

    void chooseType(const QString& type)
    {
        window->FileType->setCurrentIndex(window->FileType->findText(type));
    }

    TempDir dir;
    QString document;
    QString base;
};

TEST_F(SaveHarness, SaveDialogIsConfiguredFromTheTypeAndThePath)
{
    chooseType(".wmf");
    dialog.cancel();
    clickSave();
    const auto& shown = dialog.last();
    EXPECT_TRUE(shown.save);
    EXPECT_EQ(shown.flags, 0x80000);
    EXPECT_EQ(shown.filter, "Wimdows Bitmap(*.bmp)|*.bmp|Windows Meta File(*.wmf)|*.wmf|JPEG(*.jpg)|*.jpg");
    EXPECT_EQ(shown.filterIndex, 2);
    EXPECT_EQ(shown.fileName, base);
    EXPECT_FALSE(shown.cancelError);
    EXPECT_EQ(shown.defaultExt, ".wmf");
}

TEST_F(SaveHarness, CancelledDialogStillSavesToTheBasePathWithTheListType)
{
    pickFromList(window->PicSize, 2);
    dialog.cancel();
    clickSave();
    EXPECT_TRUE(messages.messages.empty()) << messages.texts().join("\n").toStdString();
    EXPECT_EQ(window->msFileType, ".bmp");
    EXPECT_EQ(imageSize(base + ".bmp"), QSize(240, 240));
}

TEST_F(SaveHarness, TheChosenPathAndItsExtensionWin)
{
    const QString other = dir.qpath() + "/elsewhere.wmf";
    dialog.answer(other);
    clickSave();
    EXPECT_EQ(window->msFile, dir.qpath() + "/elsewhere");
    EXPECT_EQ(window->msFileType, ".wmf");
    EXPECT_TRUE(QFile::exists(other));
    EXPECT_FALSE(QFile::exists(base + ".bmp"));
}

TEST_F(SaveHarness, UpperCaseExtensionSavesThePictureItself)
{
    // ".BMP" is not ".bmp": the picture is written in its own form, at its own size.
    pickFromList(window->PicSize, 0);
    dialog.answer(dir.qpath() + "/shout.BMP");
    clickSave();
    EXPECT_EQ(window->msFileType, ".BMP");
    EXPECT_EQ(imageSize(dir.qpath() + "/shout.BMP"), QSize(180, 180));
}

TEST_F(SaveHarness, TypedTypeSelectsNoFilterAndIsStillTheDefault)
{
    window->FileType->lineEdit()->selectAll();
    QTest::keyClicks(window->FileType->lineEdit(), ".bmq");
    dialog.cancel();
    clickSave();
    EXPECT_EQ(dialog.last().filterIndex, 0);
    EXPECT_EQ(dialog.last().defaultExt, ".bmq");
    EXPECT_EQ(window->msFileType, ".bmq");
    // An unknown type takes the third way: the picture in its own form.
    EXPECT_EQ(imageSize(base + ".bmq"), QSize(180, 180));
}

TEST_F(SaveHarness, MultipleModeSavesWithoutADialog)
{
    QTest::mouseClick(window->optMulti, Qt::LeftButton);
    // Save is disabled in this mode; the routine itself needs no dialog.
    window->msFileType = ".bmp";
    window->SavePreviewImage();
    EXPECT_TRUE(dialog.shown().size() == 1u);
    EXPECT_TRUE(QFile::exists(base + ".bmp"));
}

TEST_F(SaveHarness, AFolderInTheWayIsReportedAndNothingIsLost)
{
    ASSERT_TRUE(QDir().mkdir(base + ".bmp"));
    dialog.cancel();
    clickSave();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.contains(QDir::toNativeSeparators(base + ".bmp")));
    EXPECT_TRUE(messages.messages[0].text.contains("folder"));
    EXPECT_TRUE(QFileInfo(base + ".bmp").isDir());
    // The window goes on working.
    dialog.answer(dir.qpath() + "/again.bmp");
    clickSave();
    EXPECT_TRUE(QFile::exists(dir.qpath() + "/again.bmp"));
}

TEST_F(SaveHarness, AMissingFolderIsReportedAndAnExistingFileSurvives)
{
    const QString target = dir.qpath() + "/no such folder/part.bmp";
    dialog.answer(target);
    clickSave();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.startsWith("Path not found"));

    // A failing metafile save (no picture) leaves the old file as it was.
    QFile old(base + ".wmf");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("keep me");
    old.close();
    window->picPreview->setPicture(Picture());
    dialog.answer(base + ".wmf");
    clickSave();
    ASSERT_EQ(messages.messages.size(), 2u);
    QFile again(base + ".wmf");
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), "keep me");
}

TEST_F(SaveHarness, JpegNeedsABasePath)
{
    CurrentDir here(dir.path());
    window->SaveAsJPEG(QString());
    EXPECT_EQ(messages.texts(), QStringList({"You must save your file before outputting to JPEG"}));
    EXPECT_FALSE(QFile::exists(dir.qpath() + "/" + frmSavePreview::TempBitmapName));
    EXPECT_FALSE(window->moDib);
}

// The JPEG export, with the current folder apart from the output folder.
class JpegHarness : public SaveHarness {
protected:
    void SetUp() override
    {
        SaveHarness::SetUp();
        chooseType(".jpg");
    }

    // Saves as JPEG to the base path; the current folder is `cwd` while it runs.
    void exportFrom(const std::filesystem::path& cwd)
    {
        CurrentDir here(cwd);
        window->msFileType = ".jpg";
        window->SavePreviewImage();
    }

    QString tempIn(const TempDir& d) const { return d.qpath() + "/" + frmSavePreview::TempBitmapName; }

    TempDir work;
};

TEST_F(JpegHarness, TheTemporaryBitmapLivesInTheCurrentFolderOnlyWhileItRuns)
{
    bool seenDuringExport = false;
    // The export yields to the event loop after encoding: look then.
    QTimer::singleShot(0, [&] { seenDuringExport = QFile::exists(tempIn(work)); });
    exportFrom(work.path());
    EXPECT_TRUE(seenDuringExport);
    EXPECT_FALSE(QFile::exists(tempIn(work)));
    EXPECT_FALSE(QFile::exists(tempIn(dir)));
    EXPECT_EQ(imageSize(base + ".jpg"), window->picPreview->size());
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(JpegHarness, TheDibIsMadeOnceAndLeftEmpty)
{
    exportFrom(work.path());
    ASSERT_TRUE(window->moDib);
    const cDIBSection* first = window->moDib.get();
    pickFromList(window->PicSize, 0);
    exportFrom(work.path());
    EXPECT_EQ(window->moDib.get(), first);
    EXPECT_FALSE(window->moDib->hDib());
    EXPECT_EQ(imageSize(base + ".jpg"), QSize(96, 96));
}

TEST_F(JpegHarness, ALibraryFailureIsShownAndStillTidiesUp)
{
    IjlFunctions failing = ijlLibrary();
    failing.ijlWrite = [](JPEG_CORE_PROPERTIES*, std::int32_t) { return std::int32_t{-3}; };
    failing.ijlErrorStr = [](std::int32_t) -> const char* { return "broken"; };
    window->setJpegLibrary(failing);
    exportFrom(work.path());
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "IJL ERROR: [-3] - broken - Failed to save to JPG");
    EXPECT_EQ(messages.messages[0].title, "Intel(R) JPEG Library");
    EXPECT_FALSE(QFile::exists(base + ".jpg"));
    EXPECT_FALSE(QFile::exists(tempIn(work)));
    EXPECT_FALSE(window->moDib->hDib());
}

TEST_F(JpegHarness, AMissingOutputFolderIsReportedAndTidiedUp)
{
    CurrentDir here(work.path());
    dialog.answer(dir.qpath() + "/gone/part.jpg");
    clickSave();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.startsWith("Path not found"));
    EXPECT_FALSE(QFile::exists(tempIn(work)));
    // Still usable.
    dialog.answer(base + ".jpg");
    clickSave();
    EXPECT_TRUE(QFile::exists(base + ".jpg"));
}

TEST_F(JpegHarness, ACurrentFolderThatCannotTakeTheTemporaryBitmapIsReported)
{
    auto gone = std::make_unique<TempDir>();
    const std::filesystem::path vanished = gone->path();
    CurrentDir here(vanished);
    gone.reset();   // the current folder no longer exists
    window->msFileType = ".jpg";
    EXPECT_THROW(window->SavePreviewImage(), RuntimeError);
    EXPECT_FALSE(QFile::exists(base + ".jpg"));
    EXPECT_FALSE(window->moDib);
}

TEST_F(JpegHarness, CommandsWaitForARunningExport)
{
    int opened = 0;
    // While the export yields, a click on Open or Save does nothing.
    QTimer::singleShot(0, [&] {
        clickOpen();
        clickSave();
        opened = static_cast<int>(dialog.shown().size());
    });
    const int before = static_cast<int>(dialog.shown().size());
    exportFrom(work.path());
    EXPECT_EQ(opened, before);
}
