// The window's own Qt dialogs at work: the save dialog answered from the
// keyboard, and the batch's progress dialog.
#include "app/qt/QtForm.h"
#include "platform/qt/QtCommonDialog.h"
#include "tests/support/qt/ModalAnswers.h"
#include "tests/support/qt/QtFixtures.h"
#include "tests/support/qt/QtPixels.h"
#include "tests/support/qt/WindowHarness.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QProgressDialog>

using namespace glimmer;
using namespace glimmer::test;

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
        components.documents[toStd(document)] = {20000, solidPicture(Red), std::nullopt, c.document, c.document};
        QtForm form;
        frmSavePreview window(form, dialog, messages, components);
        dialog.setParent(&form);
        form.show();
        window.open(document.toStdString());
        const WindowControls ui(form);
        ui.FileType->setCurrentIndex(c.listType);

        const auto answer = answerFileDialog(c.answer);
        QTest::mouseClick(ui.cmdSave, Qt::LeftButton);
        EXPECT_TRUE(messages.messages.empty()) << messages.all();
        QStringList written = QDir(qpath(dir)).entryList(QDir::Files | QDir::Hidden);
        written.removeOne(c.document);
        EXPECT_EQ(written, c.written ? QStringList({c.written}) : QStringList());
        if (c.written) {
            EXPECT_EQ(pictureFormat(qpath(dir) + "/" + c.written), c.format);
        }
    }
}

// With the window's own progress dialog: from the first document, it shows,
// modal to the window, and no control of the window takes a click.
TEST_F(QtWindowHarness, FromTheFirstDocumentOnlyTheProgressDialogActs)
{
    TempDir dir;
    for (const char* name : {"a.ipt", "b.ipt"})
        components.documents[toStd(name)] = {20000, solidPicture(Red), std::nullopt, name, name};
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
    dialog.answer(toStd(QStringList{qpath(dir) + "/a.ipt", qpath(dir) + "/b.ipt"}));
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
