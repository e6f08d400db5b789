#include "tests/support/qt/QtFixtures.h"
#include "tests/support/qt/QtPixels.h"
#include "app/frmSavePreview.h"
#include "app/qt/QtForm.h"
#include "platform/qt/QtCommonDialog.h"
#include "platform/qt/QtMessageBox.h"
#include "tests/support/window/Doubles.h"
#include "tests/support/window/Doubles.h"
#include "tests/support/qt/ModalAnswers.h"
#include "tests/support/qt/WindowHarness.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QLineEdit>
#include <QMessageBox>
#include <QStyleOptionButton>
#include <QTest>

using namespace glimmer;
using namespace glimmer::test;

namespace {

int px(int twips)
{
    return PictureBox::twipsToPixels(twips);
}

struct Layout {
    const char* name;
    int left, top, width, height;
    const char* caption;   // null where the control has none
};

const Layout designed[] = {
    {"picPreview", 0, 0, 3655, 3655, nullptr},
    {"cmdOpen", 3840, 840, 1215, 495, "File Select"},
    {"cmdSave", 3840, 1440, 1215, 495, "Save"},
    {"cmdExit", 3840, 3240, 1212, 492, "Exit"},
    {"optMulti", 3720, 120, 1575, 372, "Multiple Files"},
    {"optSave", 3720, 480, 1575, 255, "Single File"},
    {"FileType", 4080, 2280, 855, 315, ".bmp"},
    {"Label1", 3960, 2040, 1215, 375, "Image Type"},
    {"FileName", 120, 3840, 4935, 375, "No File Selected"},
    {"PicSize", 4080, 2880, 855, 315, "240"},
    {"Label2", 3960, 2640, 855, 375, "Size"},
    {"Picture1", 480, 4680, 1815, 1815, nullptr},
};

QString captionOf(QWidget* w)
{
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    return {};
}

// The width a control's style leaves for its caption inside the window's
// client area.
int captionRoom(QWidget* w)
{
    QRect room = w->contentsRect();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        QStyleOptionButton option;
        option.initFrom(b);
        option.text = b->text();
        const auto element = qobject_cast<QRadioButton*>(w) ? QStyle::SE_RadioButtonContents
                                                            : QStyle::SE_PushButtonContents;
        room = w->style()->subElementRect(element, &option, w);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        // A line edit keeps 2 pixels free on each side of its text.
        room = c->lineEdit()->geometry().adjusted(2, 0, -2, 0);
    }
    return (room.translated(w->pos()) & w->parentWidget()->rect()).width();
}

// Whether anything darker than mid-grey is drawn in the control's last column.
bool inkAtRightEdge(const QImage& shot)
{
    for (int y = 0; y < shot.height(); ++y)
        if (qGray(shot.pixel(shot.width() - 1, y)) < 128)
            return true;
    return false;
}

QStringList items(const QComboBox* c)
{
    QStringList list;
    for (int i = 0; i < c->count(); ++i)
        list << c->itemText(i);
    return list;
}

} // namespace

TEST_F(QtWindowHarness, EveryControlStartsWhereAndAsDesigned)
{
    EXPECT_EQ(form->windowTitle(), "Preview & Save Inventor Images");
    EXPECT_EQ(form->size(), QSize(339, 290));
    for (const Layout& c : designed) {
        SCOPED_TRACE(c.name);
        auto* w = form->findChild<QWidget*>(c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), QRect(px(c.left), px(c.top), px(c.width), px(c.height)));
        if (c.caption) {
            EXPECT_EQ(captionOf(w), c.caption);
        }
    }
    EXPECT_TRUE(ui->optSave->isChecked());
    EXPECT_FALSE(ui->optMulti->isChecked());
    EXPECT_TRUE(ui->cmdSave->isEnabled());
    EXPECT_TRUE(ui->picPreview->picture().isEmpty());
    EXPECT_EQ(items(ui->FileType), QStringList({".bmp", ".wmf", ".jpg"}));
    EXPECT_EQ(items(ui->PicSize), QStringList({"96", "120", "240"}));
    EXPECT_TRUE(ui->FileType->isEditable());
    EXPECT_TRUE(ui->PicSize->isEditable());
    EXPECT_TRUE(ui->FileName->wordWrap());
    EXPECT_EQ(ui->Picture1->picture().size(), (Size{120, 120}));
}

TEST_F(QtWindowHarness, EveryCaptionFitsItsControl)
{
    const QImage shot = form->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(339, 290));
    const auto check = [&](QWidget* w) {
        SCOPED_TRACE(captionOf(w).toStdString());
        EXPECT_LE(w->fontMetrics().horizontalAdvance(captionOf(w)), captionRoom(w));
        // Buttons and combo boxes have a frame there; labels and option buttons do not.
        if (qobject_cast<QLabel*>(w) || qobject_cast<QRadioButton*>(w)) {
            EXPECT_FALSE(inkAtRightEdge(shot.copy(w->geometry() & form->rect())));
        }
    };
    for (QWidget* w : std::initializer_list<QWidget*>{ui->cmdOpen, ui->cmdSave, ui->cmdExit, ui->optMulti, ui->optSave,
                                                      ui->Label1, ui->FileName, ui->Label2})
        check(w);
    for (ComboBox* box : {ui->FileType, ui->PicSize})
        for (int i = 0; i < box->count(); ++i) {
            box->setCurrentIndex(i);
            check(box);
        }
    QTest::mouseClick(ui->optMulti, Qt::LeftButton);
    check(ui->cmdOpen);   // "Save Mult"
}

TEST_F(QtWindowHarness, TabGoesThroughTheControlsInTheirOrder)
{
    // Keyboard focus follows the tab order among the controls that take focus.
    // (A combo box's text field is part of its combo box.)
    QList<QWidget*> chain;
    QWidget* w = ui->picPreview;
    while (chain.size() < 12) {
        if (w->parentWidget() == form.get() && !chain.contains(w))
            chain << w;
        w = w->nextInFocusChain();
    }
    const QList<QWidget*> expected = {ui->picPreview, ui->cmdOpen, ui->cmdSave, ui->cmdExit,
                                      ui->optMulti, ui->optSave, ui->FileType, ui->Label1,
                                      ui->FileName, ui->PicSize, ui->Label2, ui->Picture1};
    EXPECT_EQ(chain, expected);
}

TEST_F(QtWindowHarness, ModeSwitchChangesTheOpenCaptionAndLeavesSaveDisabled)
{
    QTest::mouseClick(ui->optMulti, Qt::LeftButton);
    EXPECT_TRUE(ui->optMulti->isChecked());
    EXPECT_FALSE(ui->optSave->isChecked());
    EXPECT_EQ(ui->cmdOpen->text(), "Save Mult");
    EXPECT_FALSE(ui->cmdSave->isEnabled());

    QTest::mouseClick(ui->optSave, Qt::LeftButton);
    EXPECT_TRUE(ui->optSave->isChecked());
    EXPECT_EQ(ui->cmdOpen->text(), "File Select");
    // Only opening a document with a preview enables Save again.
    EXPECT_FALSE(ui->cmdSave->isEnabled());
}

TEST_F(QtWindowHarness, SaveWithoutADocumentOnlyAsksForOne)
{
    QTest::mouseClick(ui->cmdSave, Qt::LeftButton);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Please select a file first");
    EXPECT_EQ(messages.messages[0].title, "Glimmerbox");
    EXPECT_EQ(messages.messages[0].icon, MessageBox::Icon::Information);
    EXPECT_TRUE(dialog.shown().empty());
}

TEST(WindowMessages, SitOverTheWindowModalToIt)
{
    // Wired as the program wires it.
    ScriptedDialog dialog;
    QtMessageBox messages;
    ScriptedComponents components;
    QtForm form;
    frmSavePreview window(form, dialog, messages, components);
    messages.setParent(&form);
    form.show();

    bool seen = false;
    const auto answer = whenModalShows<QMessageBox>([&](QMessageBox& box) {
        seen = true;
        EXPECT_EQ(box.parentWidget(), &form);
        EXPECT_EQ(box.windowModality(), Qt::WindowModal);
        EXPECT_EQ(box.text(), "Please select a file first");
        EXPECT_EQ(box.windowTitle(), "Glimmerbox");
        EXPECT_EQ(box.icon(), QMessageBox::Information);
        box.accept();
    });
    QTest::mouseClick(WindowControls(form).cmdSave, Qt::LeftButton);
    EXPECT_TRUE(seen);
}

TEST_F(QtWindowHarness, ExitEndsTheProgram)
{
    bool exited = false;
    window->setExitHandler([&] { exited = true; });
    QTest::mouseClick(ui->cmdExit, Qt::LeftButton);
    EXPECT_TRUE(exited);
}

TEST_F(QtWindowHarness, OpenDialogIsConfiguredForOneDocument)
{
    clickOpen();
    ASSERT_EQ(dialog.shown().size(), 1u);
    const auto& shown = dialog.last();
    EXPECT_FALSE(shown.save);
    EXPECT_EQ(shown.flags, 0x80000);
    EXPECT_EQ(shown.filterIndex, 2);
    EXPECT_EQ(shown.fileName, "");
    EXPECT_FALSE(shown.cancelError);
    const auto pairs = CommonDialog::filterPairs(shown.filter);
    ASSERT_EQ(pairs.size(), 7);
    EXPECT_EQ(pairs[0].description, "All Files(*.*)");
    EXPECT_EQ(pairs[0].pattern, "*.*");
    EXPECT_EQ(pairs[1].description, "Inventor Files(*.ipt,*.iam,*.idw,*.ipn, *.ide)");
    EXPECT_EQ(pairs[1].pattern, "*.ipt;*.iam;*.idw;*.ipn;*.ide");
    EXPECT_EQ(pairs[2].description, "Part Files (*.ipt)");
    EXPECT_EQ(pairs[3].description, "Assembly Files (*.iam)");
    EXPECT_EQ(pairs[4].description, "Drawing Files(*.idw)");
    EXPECT_EQ(pairs[5].description, "Presentation Files (*.ipn)");
    EXPECT_EQ(pairs[6].description, "iFeature Files(*.ide)");
    EXPECT_EQ(pairs[6].pattern, "*.ide");
}

TEST_F(QtWindowHarness, NewDocumentsShowTheirThumbnail)
{
    components.documents["/docs/new.ipt"] = {6000, solidPicture(Red), solidPicture(Blue), "new.ipt", "new"};
    openDocument("/docs/new.ipt");
    EXPECT_EQ(ui->picPreview->picture().image().pixel(0, 0), Red);
    EXPECT_EQ(components.thumbnailCalls, 1);
    EXPECT_EQ(components.propertySetCalls, 0);
    EXPECT_EQ(ui->FileName->text(), "new.ipt");
    EXPECT_TRUE(ui->cmdSave->isEnabled());
    EXPECT_EQ(proposedName(), "/docs/new");
    // The document is finished: released and closed.
    EXPECT_EQ(components.openDocuments, 0);
}

TEST_F(QtWindowHarness, OldDocumentsShowThePropertySetPicture)
{
    components.documents["/docs/old.ipt"] = {5999, solidPicture(Red), solidPicture(Blue), "old.ipt", "old"};
    openDocument("/docs/old.ipt");
    EXPECT_EQ(ui->picPreview->picture().image().pixel(0, 0), Blue);
    EXPECT_EQ(components.thumbnailCalls, 0);
    EXPECT_EQ(components.propertySetCalls, 1);
    EXPECT_TRUE(ui->cmdSave->isEnabled());
}

TEST_F(QtWindowHarness, UnreadableVersionTriesTheThumbnail)
{
    components.documents["/docs/odd.iam"] = {std::nullopt, solidPicture(Green), std::nullopt, "odd.iam", "odd"};
    openDocument("/docs/odd.iam");
    EXPECT_EQ(components.thumbnailCalls, 1);
    // The thumbnail read: it is shown and can be saved; the version's error is no reason to hide it.
    EXPECT_TRUE(ui->cmdSave->isEnabled());
    EXPECT_EQ(ui->picPreview->image().pixel(ui->picPreview->width() / 2, ui->picPreview->height() / 2), Green);
    EXPECT_EQ(ui->FileName->text(), "odd.iam");
}

TEST_F(QtWindowHarness, ADocumentWithoutAPreviewShowsThePlaceholder)
{
    components.documents["/docs/none.ipt"] = {14000, std::nullopt, std::nullopt, "none.ipt", "none"};
    openDocument("/docs/none.ipt");
    EXPECT_EQ(ui->picPreview->picture().size(), (Size{120, 120}));
    EXPECT_EQ(toQImage(ui->picPreview->picture().image()), toQImage(ui->Picture1->picture().image()));
    EXPECT_FALSE(ui->cmdSave->isEnabled());
    EXPECT_EQ(ui->FileName->text(), "none.ipt");
    EXPECT_EQ(components.openDocuments, 0);

    // Switching modes does not enable Save; the next document with a preview does.
    QTest::mouseClick(ui->optMulti, Qt::LeftButton);
    QTest::mouseClick(ui->optSave, Qt::LeftButton);
    EXPECT_FALSE(ui->cmdSave->isEnabled());
    components.documents["/docs/new.ipt"] = {20000, solidPicture(Red), std::nullopt, "new.ipt", "new"};
    openDocument("/docs/new.ipt");
    EXPECT_TRUE(ui->cmdSave->isEnabled());
}

TEST_F(QtWindowHarness, OldDocumentWithoutAPropertySetNeverShowsThePreviousOne)
{
    components.documents["/docs/a.ipt"] = {5001, std::nullopt, solidPicture(Blue), "a.ipt", "a"};
    components.documents["/docs/b.ipt"] = {5001, std::nullopt, std::nullopt, "b.ipt", "b"};
    openDocument("/docs/a.ipt");
    openDocument("/docs/b.ipt");
    EXPECT_EQ(ui->picPreview->picture().size(), (Size{120, 120}));
    EXPECT_FALSE(ui->cmdSave->isEnabled());
}

TEST_F(QtWindowHarness, EveryOpenMakesANewPropertyReader)
{
    components.documents["/docs/new.ipt"] = {20000, solidPicture(Red), std::nullopt, "new.ipt", "new"};
    openDocument("/docs/new.ipt");
    openDocument("/docs/new.ipt");
    EXPECT_EQ(components.readersCreated, 2);
    EXPECT_EQ(components.serversCreated, 1);
}

TEST_F(QtWindowHarness, CancelledOpenForgetsThePathButKeepsThePreview)
{
    components.documents["/docs/new.ipt"] = {20000, solidPicture(Red), std::nullopt, "new.ipt", "new"};
    openDocument("/docs/new.ipt");
    dialog.cancel();
    clickOpen();
    EXPECT_EQ(ui->FileName->text(), "new.ipt");
    EXPECT_TRUE(ui->cmdSave->isEnabled());
    EXPECT_FALSE(ui->picPreview->picture().isEmpty());

    EXPECT_EQ(proposedName(), std::nullopt);
    EXPECT_EQ(messages.texts(), QStringList({"Please select a file first"}));
}

TEST_F(QtWindowHarness, TheExtensionIsCutByLengthAlone)
{
    components.documents["/docs/drawing.idwx"] = {20000, solidPicture(Red), std::nullopt, "d", "d"};
    openDocument("/docs/drawing.idwx");
    EXPECT_EQ(proposedName(), "/docs/drawing.");
}

TEST_F(QtWindowHarness, ADocumentThatCannotBeOpenedIsNamedAndTreatedAsWithoutPreview)
{
    openDocument("/docs/missing.ipt");
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Cannot open \"/docs/missing.ipt\": File not found");
    EXPECT_EQ(messages.messages[0].icon, MessageBox::Icon::Exclamation);
    EXPECT_EQ(ui->picPreview->picture().size(), (Size{120, 120}));
    EXPECT_FALSE(ui->cmdSave->isEnabled());
    EXPECT_EQ(ui->FileName->text(), "missing.ipt");
}

TEST_F(QtWindowHarness, ADocumentNamedOnTheCommandLineOpensAsFromTheDialog)
{
    // A relative name is the document in the current folder, as the dialog gives it: a full path.
    TempDir dir;
    CurrentDir here(dir.path());
    components.documents[toStd(qpath(dir) + "/new.ipt")] = {20000, solidPicture(Red), std::nullopt, "new.ipt", "new"};
    window->open("new.ipt");
    EXPECT_EQ(ui->picPreview->picture().image().pixel(0, 0), Red);
    EXPECT_EQ(ui->FileName->text(), "new.ipt");
    EXPECT_EQ(proposedName(), qpath(dir) + "/new");

    // A path that cannot be opened says what the dialog's would.
    window->open("/docs/missing.ipt");
    EXPECT_EQ(messages.texts(), QStringList({"Cannot open \"/docs/missing.ipt\": File not found"}));
    EXPECT_FALSE(ui->cmdSave->isEnabled());
    EXPECT_EQ(components.opened, QStringList({qpath(dir) + "/new.ipt", "/docs/missing.ipt"}));
}

TEST_F(QtWindowHarness, PersistentImageFollowsTheSizeList)
{
    // 3655 twips are 243.67 pixels: the box shows whole pixels, the nearest being 244.
    EXPECT_EQ(ui->picPreview->image().size(), (Size{244, 244}));
    components.documents["/docs/new.ipt"] = {20000, solidPicture(Red, 512), std::nullopt, "new.ipt", "new"};
    openDocument("/docs/new.ipt");
    for (int index : {0, 1, 2}) {
        const int size = ui->PicSize->itemText(index).toInt();
        SCOPED_TRACE(size);
        pickFromList(ui->PicSize, index);
        EXPECT_EQ(ui->picPreview->widthTwips(), size * 15);
        const Image shown = ui->picPreview->image();
        ASSERT_EQ(shown.size(), (Size{size, size}));
        // The 512-pixel preview is scaled to fill the box: no border, nothing clipped.
        EXPECT_EQ(shown.pixel(0, 0), Red);
        EXPECT_EQ(shown.pixel(size - 1, size - 1), Red);
    }
}

TEST_F(QtWindowHarness, TypingASizeDoesNothing)
{
    ui->PicSize->lineEdit()->selectAll();
    QTest::keyClicks(ui->PicSize->lineEdit(), "96");
    QTest::keyClick(ui->PicSize->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(ui->picPreview->size(), QSize(244, 244));
    QTest::keyClicks(ui->PicSize->lineEdit(), "50");
    EXPECT_EQ(ui->picPreview->size(), QSize(244, 244));
}
