#include "tests/support/qt/QtPixels.h"
#include "tests/support/qt/QtFixtures.h"
#include "tests/support/qt/ScriptedProgress.h"
#include "tests/support/qt/ModalAnswers.h"
#include "tests/support/qt/WindowHarness.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QProgressDialog>

using namespace glimmer;
using namespace glimmer::test;

// A window in "Multiple Files" mode over a temporary folder of scripted documents.
class BatchHarness : public WindowHarness {
protected:
    void SetUp() override
    {
        WindowHarness::SetUp();
        window->setProgress(progress);
        QTest::mouseClick(ui->optMulti, Qt::LeftButton);
        here = std::make_unique<CurrentDir>(dir.path());
    }
    void TearDown() override { here.reset(); }

    // A scripted document: pieces of a multiple selection are bare names,
    // resolved in the current folder.
    void addDocument(const QString& name, std::optional<Picture> thumbnail, std::int32_t version = 20000)
    {
        components.documents[name] = {version, thumbnail, thumbnail, name, name};
        QFile f(qpath(dir) + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }

    // Answers the open dialog with these names in the temporary folder and runs the batch.
    void run(const QStringList& names)
    {
        QStringList paths;
        for (const QString& n : names)
            paths << qpath(dir) + "/" + n;
        dialog.answer(paths);
        clickOpen();
    }

    std::uint32_t colourAt(const QString& file) { return QImage(qpath(dir) + "/" + file).pixel(5, 5); }

    TempDir dir;
    std::unique_ptr<CurrentDir> here;
    ScriptedProgress progress;
};

TEST_F(BatchHarness, DialogIsConfiguredForManyDocuments)
{
    dialog.cancel();
    clickOpen();
    const auto& shown = dialog.last();
    EXPECT_EQ(shown.flags, CommonDialog::AllowMultiselect | CommonDialog::Explorer);
    EXPECT_EQ(shown.filterIndex, 2);
    EXPECT_EQ(CommonDialog::filterPairs(shown.filter.toStdString()).size(), 7);
    EXPECT_EQ(shown.fileName, "");
    EXPECT_EQ(shown.maxFileSize, 32767);
    EXPECT_FALSE(shown.cancelError);
    // Cancel: nothing happens, no message.
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(components.opened.isEmpty());
}

TEST_F(BatchHarness, EachDocumentGetsItsOwnPictureBesideIt)
{
    addDocument("red part.ipt", solidPicture(Red));
    addDocument("blue assembly.IAM", solidPicture(Blue));
    addDocument("green old.idw", solidPicture(Green), 5001);
    run({"red part.ipt", "blue assembly.IAM", "green old.idw"});
    EXPECT_TRUE(messages.messages.empty()) << messages.texts().join("\n").toStdString();
    EXPECT_EQ(colourAt("red part.bmp"), Red);
    EXPECT_EQ(colourAt("blue assembly.bmp"), Blue);
    EXPECT_EQ(colourAt("green old.bmp"), Green);
    EXPECT_EQ(components.openDocuments, 0);
    // The label and Save are left alone.
    EXPECT_EQ(ui->FileName->text(), "No File Selected");
    EXPECT_FALSE(ui->cmdSave->isEnabled());
}

TEST_F(BatchHarness, ASingleDocumentIsAFullPath)
{
    addDocument("only.ipt", solidPicture(Red));
    components.documents[qpath(dir) + "/only.ipt"] = components.documents["only.ipt"];
    run({"only.ipt"});
    EXPECT_EQ(components.opened, QStringList({qpath(dir) + "/only.ipt"}));
    EXPECT_EQ(colourAt("only.bmp"), Red);
}

TEST_F(BatchHarness, DocumentsWithoutAPreviewGetNoPictureAndAreCounted)
{
    addDocument("a.ipt", solidPicture(Red));
    addDocument("b.ipt", std::nullopt);
    addDocument("c.ipt", std::nullopt, 5001);
    run({"a.ipt", "b.ipt", "c.ipt"});
    EXPECT_EQ(messages.texts(), QStringList({"2 File(s) don't contain a Preview"}));
    EXPECT_EQ(messages.messages[0].icon, MessageBox::Icon::Information);
    EXPECT_TRUE(QFile::exists("a.bmp"));
    // Never the previous document's picture under this one's name.
    EXPECT_FALSE(QFile::exists("b.bmp"));
    EXPECT_FALSE(QFile::exists("c.bmp"));
}

TEST_F(BatchHarness, OtherFilesAreSkippedAndNotCounted)
{
    addDocument("a.ipt", solidPicture(Red));
    QFile notes(qpath(dir) + "/notes.txt");
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    run({"a.ipt", "notes.txt"});
    EXPECT_TRUE(messages.messages.empty());
    // The folder piece and the text file are never opened.
    EXPECT_EQ(components.opened, QStringList({"a.ipt"}));
    EXPECT_FALSE(QFile::exists("notes.bmp"));
}

TEST_F(BatchHarness, DocumentsThatCannotBeOpenedAreCountedAndTheRunGoesOn)
{
    QFile broken(qpath(dir) + "/broken.ipt");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    addDocument("z.ipt", solidPicture(Red));
    run({"broken.ipt", "z.ipt"});
    EXPECT_EQ(messages.texts(), QStringList({"1 File(s) don't contain a Preview"}));
    EXPECT_TRUE(QFile::exists("z.bmp"));
}

TEST_F(BatchHarness, TheTypeIsTakenOnceAtTheStart)
{
    ui->FileType->setCurrentIndex(1);
    addDocument("a.ipt", solidPicture(Red));
    addDocument("b.ipt", solidPicture(Red));
    progress.onAdvance = [this](int) { ui->FileType->setCurrentIndex(0); };
    run({"a.ipt", "b.ipt"});
    EXPECT_TRUE(QFile::exists("a.wmf"));
    EXPECT_TRUE(QFile::exists("b.wmf"));
    EXPECT_FALSE(QFile::exists("b.bmp"));
}

TEST_F(BatchHarness, FailedSavesAreCountedAndReportedAfterThePreviewMessage)
{
    addDocument("a.ipt", solidPicture(Red));
    addDocument("b.ipt", solidPicture(Red));
    addDocument("c.ipt", std::nullopt);
    ASSERT_TRUE(QDir().mkdir("a.bmp"));   // a folder where the picture should go
    run({"a.ipt", "b.ipt", "c.ipt"});
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[0].text, "1 File(s) don't contain a Preview");
    EXPECT_TRUE(messages.messages[1].text.startsWith("1 preview(s) could not be saved:"));
    EXPECT_TRUE(messages.messages[1].text.contains("a.ipt"));
    EXPECT_EQ(messages.messages[1].icon, MessageBox::Icon::Exclamation);
    EXPECT_TRUE(QFileInfo("a.bmp").isDir());
    EXPECT_TRUE(QFile::exists("b.bmp"));
}

TEST_F(BatchHarness, ASelectionTooLongForTheBufferConvertsNothing)
{
    QStringList names;
    for (int i = 0; i < 1200; ++i) {
        const QString name = QStringLiteral("a rather long document name number %1.ipt").arg(i);
        names << name;
    }
    QStringList paths;
    for (const QString& n : names)
        paths << qpath(dir) + "/" + n;
    dialog.answer(paths);
    clickOpen();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.contains("too long"));
    EXPECT_TRUE(components.opened.isEmpty());
}

TEST_F(BatchHarness, CancelStopsAfterTheCurrentDocumentAndKeepsWhatWasWritten)
{
    addDocument("a.ipt", solidPicture(Red));
    addDocument("b.ipt", solidPicture(Red));
    addDocument("c.ipt", solidPicture(Red));
    progress.stopAt = 2;   // the folder piece, then a.ipt
    run({"a.ipt", "b.ipt", "c.ipt"});
    EXPECT_TRUE(progress.started);
    EXPECT_TRUE(progress.finished);
    EXPECT_TRUE(QFile::exists("a.bmp"));
    EXPECT_FALSE(QFile::exists("b.bmp"));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.startsWith("Stopped"));
}

TEST_F(BatchHarness, DocumentsOfOneNameDoNotOverwriteEachOthersPicture)
{
    addDocument("lid.ipt", solidPicture(Red));
    addDocument("lid.idw", solidPicture(Blue));
    run({"lid.ipt", "lid.idw"});
    EXPECT_EQ(colourAt("lid.bmp"), Red);
    EXPECT_EQ(colourAt("lid.idw.bmp"), Blue);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.contains("lid.idw.bmp"));
    EXPECT_EQ(messages.messages[0].icon, MessageBox::Icon::Information);

    // A second run writes over its own earlier pictures, as a re-export should.
    messages.messages.clear();
    QFile notes(qpath(dir) + "/notes.txt");
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    run({"lid.ipt", "notes.txt"});
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_FALSE(QFile::exists("lid.ipt.bmp"));
}

TEST_F(BatchHarness, ADocumentWithAnEmptyBaseNameGivesNoJpegAndNoTemporaryBitmap)
{
    ui->FileType->setCurrentIndex(2);
    addDocument("a.ipt", solidPicture(Red));
    addDocument(".ipt", solidPicture(Blue));
    run({"a.ipt", ".ipt"});
    EXPECT_EQ(messages.texts(), QStringList({"You must save your file before outputting to JPEG"}));
    EXPECT_EQ(pictureFormat("a.jpg"), "jpg");
    EXPECT_FALSE(QFile::exists(".jpg"));
    EXPECT_FALSE(QFile::exists(TempBitmapName));
}

// With the window's own progress dialog: from the first document, it shows,
// modal to the window, and no control of the window takes a click.
TEST_F(WindowHarness, FromTheFirstDocumentOnlyTheProgressDialogActs)
{
    TempDir dir;
    for (const char* name : {"a.ipt", "b.ipt"})
        components.documents[name] = {20000, solidPicture(Red), std::nullopt, name, name};
    bool exited = false;
    window->setExitHandler([&] { exited = true; });
    QTest::mouseClick(ui->optMulti, Qt::LeftButton);
    const std::initializer_list<QWidget*> controls = {ui->cmdOpen, ui->cmdSave, ui->cmdExit, ui->optMulti,
                                                      ui->optSave, ui->FileType, ui->PicSize};
    const auto answer = whenModalShows<QProgressDialog>([&](QProgressDialog& progress) {
        EXPECT_EQ(progress.parentWidget(), form.get());
        EXPECT_EQ(progress.windowModality(), Qt::WindowModal);
        for (QWidget* w : controls)
            QTest::mouseClick(w, Qt::LeftButton);
        QTest::keyClicks(ui->FileType->lineEdit(), "x");
    });
    dialog.answer(QStringList{qpath(dir) + "/a.ipt", qpath(dir) + "/b.ipt"});
    clickOpen();
    EXPECT_FALSE(exited);
    EXPECT_EQ(dialog.shown().size(), 1u);
    EXPECT_TRUE(ui->optMulti->isChecked());
    EXPECT_EQ(ui->FileType->currentText(), ".bmp");
    EXPECT_EQ(pictureFormat(qpath(dir) + "/b.bmp"), "bmp");
    // Afterwards each control is as it was before: Save stays disabled in this mode.
    for (QWidget* w : controls)
        EXPECT_EQ(w->isEnabled(), w != ui->cmdSave) << w->objectName().toStdString();
}
