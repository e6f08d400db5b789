#include "tests/support/qt/QtPixels.h"
#include "tests/support/qt/QtFixtures.h"
#include "jpeg/IJL.h"
#include "tests/support/qt/ModalAnswers.h"
#include "tests/support/qt/ScriptedGdi.h"
#include "tests/support/qt/ScriptedProgress.h"
#include "tests/support/qt/WindowHarness.h"
#include "platform/qt/QtCommonDialog.h"

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
        document = qpath(dir) + "/part.ipt";
        base = qpath(dir) + "/part";
        components.documents[document] = {20000, solidPicture(Red), std::nullopt, "part.ipt", "part"};
        openDocument(document);
        ASSERT_TRUE(ui->cmdSave->isEnabled());
    }

    void chooseType(const QString& type) { ui->FileType->setCurrentIndex(ui->FileType->findText(type)); }

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

TEST_F(SaveHarness, CancelWritesNothingAndChangesNothing)
{
    writeAll(base + ".bmp", "keep me");
    dialog.cancel();
    clickSave();
    EXPECT_TRUE(messages.messages.empty()) << messages.texts().join("\n").toStdString();
    EXPECT_EQ(readAll(base + ".bmp"), "keep me");
    EXPECT_EQ(QDir(qpath(dir)).entryList(QDir::Files), QStringList({"part.bmp"}));
    EXPECT_EQ(ui->FileName->text(), "part.ipt");
    EXPECT_EQ(proposedName(), base);
}

TEST_F(SaveHarness, TheChosenPathAndItsExtensionWin)
{
    const QString other = qpath(dir) + "/elsewhere.wmf";
    dialog.answer(other);
    clickSave();
    EXPECT_TRUE(QFile::exists(other));
    EXPECT_FALSE(QFile::exists(base + ".bmp"));
    EXPECT_EQ(proposedName(), qpath(dir) + "/elsewhere");
}

// Through Qt's own dialog, answered from the keyboard as a user would.
TEST(SaveDialog, TheNameOrElseTheTypePickedInTheDialogDecidesTheFormat)
{
    struct Case {
        const char* what;
        const char* document;
        int listType;                     // the FileType entry chosen before Save
        FileDialogAnswer answer;
        const char* written;              // null: nothing
        const char* format;
    };
    const Case cases[] = {
        {"a dotted name, as proposed", "Multi-Cat.0004.iam", 2, {}, "Multi-Cat.0004.jpg", "jpg"},
        {"a dotted name, another type picked", "name.0004.ipt", 0, {std::nullopt, 2}, "name.0004.jpg", "jpg"},
        {"no extension, JPEG picked", "part.ipt", 0, {"plain", 2}, "plain.jpg", "jpg"},
        {"upper-case bitmap", "part.ipt", 2, {"part.BMP"}, "part.BMP", "bmp"},
        {"upper-case JPEG", "part.ipt", 0, {"part.JPG"}, "part.JPG", "jpg"},
        {"cancel", "part.ipt", 0, {"other.bmp", -1, false}, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        CurrentDir keep;
        QtCommonDialog dialog;
        RecordingMessageBox messages;
        ScriptedComponents components;
        const QString document = qpath(dir) + "/" + c.document;
        components.documents[document] = {20000, solidPicture(Red), std::nullopt, c.document, c.document};
        QtForm form;
        frmSavePreview window(form, dialog, messages, components);
        dialog.setParent(&form);
        form.show();
        window.open(document.toStdString());
        const WindowControls ui(form);
        ui.FileType->setCurrentIndex(c.listType);

        const auto answer = answerFileDialog(c.answer);
        QTest::mouseClick(ui.cmdSave, Qt::LeftButton);
        EXPECT_TRUE(messages.messages.empty()) << messages.texts().join("\n").toStdString();
        QStringList written = QDir(qpath(dir)).entryList(QDir::Files | QDir::Hidden);
        written.removeOne(c.document);
        EXPECT_EQ(written, c.written ? QStringList({c.written}) : QStringList());
        if (c.written) {
            EXPECT_EQ(pictureFormat(qpath(dir) + "/" + c.written), c.format);
        }
    }
}

TEST_F(SaveHarness, ATypedTypeSelectsNoFilterAndIsTheTypeOfANameWithoutOne)
{
    ui->FileType->lineEdit()->selectAll();
    QTest::keyClicks(ui->FileType->lineEdit(), ".bmq");
    dialog.answer(base);
    clickSave();
    EXPECT_EQ(dialog.last().filterIndex, 0);
    EXPECT_EQ(dialog.last().defaultExt, ".bmq");
    // An unknown type takes the third way: the picture in its own form.
    EXPECT_EQ(imageSize(base + ".bmq"), QSize(180, 180));
}

TEST_F(SaveHarness, AFolderInTheWayIsReportedAndNothingIsLost)
{
    ASSERT_TRUE(QDir().mkdir(base + ".bmp"));
    dialog.answer(base + ".bmp");
    clickSave();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.contains(QDir::toNativeSeparators(base + ".bmp")));
    EXPECT_TRUE(messages.messages[0].text.contains("folder"));
    EXPECT_EQ(messages.messages[0].icon, MessageBox::Icon::Exclamation);
    EXPECT_TRUE(QFileInfo(base + ".bmp").isDir());
    // The window goes on working.
    dialog.answer(qpath(dir) + "/again.bmp");
    clickSave();
    EXPECT_TRUE(QFile::exists(qpath(dir) + "/again.bmp"));
}

TEST_F(SaveHarness, AMissingFolderIsReported)
{
    const QString target = qpath(dir) + "/no such folder/part.bmp";
    dialog.answer(target);
    clickSave();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.startsWith("Path not found"));
}

// The JPEG export, run as a batch of the one document, with the current
// folder apart from the output folder.
class JpegHarness : public SaveHarness {
protected:
    void SetUp() override
    {
        SaveHarness::SetUp();
        chooseType(".jpg");
        window->setGdi(gdi);
    }

    // Exports the document's preview to the base path; the current folder is
    // `cwd` while it runs.
    void exportFrom(const std::filesystem::path& cwd)
    {
        progress.onAdvance = [&](int) { QDir::setCurrent(QString::fromStdString(cwd.string())); };
        window->setProgress(progress);
        QTest::mouseClick(ui->optMulti, Qt::LeftButton);
        dialog.answer(document);
        clickOpen();
        QTest::mouseClick(ui->optSave, Qt::LeftButton);
    }

    QString tempIn(const TempDir& d) const { return qpath(d) + "/" + TempBitmapName; }

    TempDir work;
    ScriptedGdi gdi;
    ScriptedProgress progress;
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
    EXPECT_EQ(imageSize(base + ".jpg"), ui->picPreview->size());
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(JpegHarness, TheDibIsLeftEmptyAfterEveryExport)
{
    exportFrom(work.path());
    EXPECT_EQ(gdi.inner.liveObjects(), 0u);
    pickFromList(ui->PicSize, 0);
    exportFrom(work.path());
    EXPECT_EQ(gdi.inner.liveObjects(), 0u);
    EXPECT_EQ(imageSize(base + ".jpg"), QSize(96, 96));
}

TEST_F(JpegHarness, ATemporaryBitmapThatWillNotLoadIsRetriedAWhileThenReported)
{
    // A bitmap that loads on the fourth try is written; one that would load
    // only on the 26th is given up, in at most 20 tries.
    for (const int failures : {3, 25}) {
        SCOPED_TRACE(failures);
        messages.messages.clear();
        QFile::remove(base + ".jpg");
        gdi.loadCalls = 0;
        gdi.loadFailures = failures;
        exportFrom(work.path());
        EXPECT_FALSE(QFile::exists(tempIn(work)));
        EXPECT_EQ(gdi.inner.liveObjects(), 0u);
        if (failures < 20) {
            EXPECT_EQ(gdi.loadCalls, failures + 1);
            EXPECT_EQ(pictureFormat(base + ".jpg"), "jpg");
            EXPECT_TRUE(messages.messages.empty());
        } else {
            EXPECT_LE(gdi.loadCalls, 20);
            EXPECT_FALSE(QFile::exists(base + ".jpg"));
            ASSERT_EQ(messages.messages.size(), 1u);
            EXPECT_TRUE(messages.messages[0].text.contains("could not be read, so no JPEG file was written"));
            EXPECT_EQ(messages.messages[0].icon, MessageBox::Icon::Exclamation);
        }
    }
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
    EXPECT_EQ(gdi.inner.liveObjects(), 0u);
}

TEST_F(JpegHarness, AMissingOutputFolderIsReportedAndTidiedUp)
{
    CurrentDir here(work.path());
    dialog.answer(qpath(dir) + "/gone/part.jpg");
    clickSave();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.startsWith("Path not found"));
    EXPECT_FALSE(QFile::exists(tempIn(work)));
    // Still usable.
    dialog.answer(base + ".jpg");
    clickSave();
    EXPECT_TRUE(QFile::exists(base + ".jpg"));
}

TEST_F(JpegHarness, ATemporaryBitmapNameThatIsALinkIsRefusedAndItsTargetKept)
{
    // The Save dialog leaves the document's folder current.
    const QString target = qpath(dir) + "/someone-else.txt";
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    ASSERT_TRUE(QFile::link(target, tempIn(dir)));
    dialog.answer(base + ".jpg");
    clickSave();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.contains("is a symbolic link"));
    EXPECT_EQ(readAll(target), QByteArray("keep me"));
    EXPECT_TRUE(QFileInfo(tempIn(dir)).isSymLink());
    EXPECT_FALSE(QFile::exists(base + ".jpg"));
}

TEST_F(JpegHarness, ACurrentFolderThatCannotTakeTheTemporaryBitmapIsReported)
{
    auto gone = std::make_unique<TempDir>();
    const std::filesystem::path vanished = gone->path();
    // The current folder no longer exists when the export starts.
    progress.onAdvance = [&](int) {
        QDir::setCurrent(QString::fromStdString(vanished.string()));
        gone.reset();
    };
    window->setProgress(progress);
    QTest::mouseClick(ui->optMulti, Qt::LeftButton);
    dialog.answer(document);
    clickOpen();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.startsWith("1 preview(s) could not be saved:\npart.ipt: "));
    EXPECT_FALSE(QFile::exists(base + ".jpg"));
    EXPECT_EQ(gdi.inner.liveObjects(), 0u);
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
    dialog.answer(base + ".jpg");
    clickSave();
    EXPECT_EQ(opened, 2);   // the first open and this save
    EXPECT_EQ(pictureFormat(base + ".jpg"), "jpg");
}
