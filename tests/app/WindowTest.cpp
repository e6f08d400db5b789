#include "tests/support/Fixtures.h"
#include "tests/support/Pixels.h"
#include "app/frmSavePreview.h"
#include "tests/support/ScriptedComponents.h"
#include "tests/support/ScriptedDialog.h"
#include "tests/support/WindowHarness.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QLineEdit>
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
    int left, top, width, height, tab;
    const char* caption;   // null where the control has none
};

const Layout designed[] = {
    {"picPreview", 0, 0, 3655, 3655, 0, nullptr},
    {"cmdOpen", 3840, 840, 1215, 495, 1, "File Select"},
    {"cmdSave", 3840, 1440, 1215, 495, 2, "Save"},
    {"cmdExit", 3840, 3240, 1212, 492, 3, "Exit"},
    {"optMulti", 3720, 120, 1575, 372, 4, "Multiple Files"},
    {"optSave", 3720, 480, 1575, 255, 5, "Single File"},
    {"FileType", 4080, 2280, 855, 315, 6, ".bmp"},
    {"Label1", 3960, 2040, 1215, 375, 7, "Image Type"},
    {"FileName", 120, 3840, 4935, 375, 8, "No File Selected"},
    {"PicSize", 4080, 2880, 855, 315, 9, "240"},
    {"Label2", 3960, 2640, 855, 375, 10, "Size"},
    {"Picture1", 480, 4680, 1815, 1815, 11, nullptr},
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

QStringList items(const QComboBox* c)
{
    QStringList list;
    for (int i = 0; i < c->count(); ++i)
        list << c->itemText(i);
    return list;
}

} // namespace

TEST_F(WindowHarness, EveryControlStartsWhereAndAsDesigned)
{
    EXPECT_EQ(window->windowTitle(), "Preview & Save Inventor Images");
    EXPECT_EQ(window->size(), QSize(339, 290));
    for (const Layout& c : designed) {
        SCOPED_TRACE(c.name);
        auto* w = window->findChild<QWidget*>(c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), QRect(px(c.left), px(c.top), px(c.width), px(c.height)));
        EXPECT_EQ(w->property("TabIndex").toInt(), c.tab);
        if (c.caption) {
            EXPECT_EQ(captionOf(w), c.caption);
        }
    }
    EXPECT_TRUE(window->optSave->isChecked());
    EXPECT_FALSE(window->optMulti->isChecked());
    EXPECT_TRUE(window->cmdSave->isEnabled());
    EXPECT_TRUE(window->picPreview->picture().isEmpty());
    EXPECT_EQ(items(window->FileType), QStringList({".bmp", ".wmf", ".jpg"}));
    EXPECT_EQ(items(window->PicSize), QStringList({"96", "120", "240"}));
    EXPECT_TRUE(window->FileType->isEditable());
    EXPECT_TRUE(window->PicSize->isEditable());
    EXPECT_TRUE(window->FileName->wordWrap());
    EXPECT_EQ(window->Picture1->picture().size(), QSize(120, 120));
    EXPECT_TRUE(window->msFile.isEmpty());
    EXPECT_FALSE(window->moDocServer);
    EXPECT_FALSE(window->moDib);
}

TEST_F(WindowHarness, TabGoesThroughTheControlsInTheirOrder)
{
    // Keyboard focus follows the tab order among the controls that take focus.
    // (A combo box's text field is part of its combo box.)
    QList<QWidget*> chain;
    QWidget* w = window->picPreview;
    while (chain.size() < 12) {
        if (w->parentWidget() == window.get() && !chain.contains(w))
            chain << w;
        w = w->nextInFocusChain();
    }
    const QList<QWidget*> expected = {window->picPreview, window->cmdOpen, window->cmdSave, window->cmdExit,
                                      window->optMulti, window->optSave, window->FileType, window->Label1,
                                      window->FileName, window->PicSize, window->Label2, window->Picture1};
    EXPECT_EQ(chain, expected);
}

TEST_F(WindowHarness, ModeSwitchChangesTheOpenCaptionAndLeavesSaveDisabled)
{
    QTest::mouseClick(window->optMulti, Qt::LeftButton);
    EXPECT_TRUE(window->optMulti->isChecked());
    EXPECT_FALSE(window->optSave->isChecked());
    EXPECT_EQ(window->cmdOpen->text(), "Save Mult");
    EXPECT_FALSE(window->cmdSave->isEnabled());

    QTest::mouseClick(window->optSave, Qt::LeftButton);
    EXPECT_TRUE(window->optSave->isChecked());
    EXPECT_EQ(window->cmdOpen->text(), "File Select");
    // Only opening a document with a preview enables Save again.
    EXPECT_FALSE(window->cmdSave->isEnabled());
}

TEST_F(WindowHarness, SaveWithoutADocumentOnlyAsksForOne)
{
    QTest::mouseClick(window->cmdSave, Qt::LeftButton);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Please select a file first");
    EXPECT_EQ(messages.messages[0].title, "Glimmerbox");
    EXPECT_TRUE(dialog.shown().empty());
}

TEST_F(WindowHarness, ExitEndsTheProgram)
{
    bool exited = false;
    window->setExitHandler([&] { exited = true; });
    QTest::mouseClick(window->cmdExit, Qt::LeftButton);
    EXPECT_TRUE(exited);
}

TEST_F(WindowHarness, OpenDialogIsConfiguredForOneDocument)
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

TEST_F(WindowHarness, NewDocumentsShowTheirThumbnail)
{
    components.documents["/docs/new.ipt"] = {6000, solidPicture(Qt::red), solidPicture(Qt::blue), "new.ipt", "new"};
    openDocument("/docs/new.ipt");
    EXPECT_EQ(window->picPreview->picture().image().pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(components.thumbnailCalls, 1);
    EXPECT_EQ(components.propertySetCalls, 0);
    EXPECT_EQ(window->FileName->text(), "new.ipt");
    EXPECT_TRUE(window->cmdSave->isEnabled());
    EXPECT_EQ(window->msFile, "/docs/new");
    // The document is finished: released and closed.
    EXPECT_FALSE(window->moDocument);
    EXPECT_EQ(components.openDocuments, 0);
}

TEST_F(WindowHarness, OldDocumentsShowThePropertySetPicture)
{
    components.documents["/docs/old.ipt"] = {5999, solidPicture(Qt::red), solidPicture(Qt::blue), "old.ipt", "old"};
    openDocument("/docs/old.ipt");
    EXPECT_EQ(window->picPreview->picture().image().pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(components.thumbnailCalls, 0);
    EXPECT_EQ(components.propertySetCalls, 1);
    EXPECT_TRUE(window->cmdSave->isEnabled());
    EXPECT_TRUE(window->moPropSet);
}

TEST_F(WindowHarness, UnreadableVersionTriesTheThumbnail)
{
    components.documents["/docs/odd.iam"] = {std::nullopt, solidPicture(Qt::green), std::nullopt, "odd.iam", "odd"};
    openDocument("/docs/odd.iam");
    EXPECT_EQ(components.thumbnailCalls, 1);
    // The thumbnail read: it is shown and can be saved; the version's error is no reason to hide it.
    const auto* save = window->findChild<QPushButton*>("cmdSave");
    const auto* preview = window->findChild<PictureBox*>("picPreview");
    EXPECT_TRUE(save->isEnabled());
    EXPECT_EQ(preview->image().pixelColor(preview->width() / 2, preview->height() / 2), QColor(Qt::green));
    EXPECT_EQ(window->findChild<QLabel*>("FileName")->text(), "odd.iam");
}

TEST_F(WindowHarness, ADocumentWithoutAPreviewShowsThePlaceholder)
{
    components.documents["/docs/none.ipt"] = {14000, std::nullopt, std::nullopt, "none.ipt", "none"};
    openDocument("/docs/none.ipt");
    EXPECT_EQ(window->picPreview->picture().size(), QSize(120, 120));
    EXPECT_EQ(window->picPreview->picture().image(), window->Picture1->picture().image());
    EXPECT_FALSE(window->cmdSave->isEnabled());
    EXPECT_EQ(window->FileName->text(), "none.ipt");
    // An unsuccessful open keeps the full path.
    EXPECT_EQ(window->msFile, "/docs/none.ipt");
    EXPECT_EQ(components.openDocuments, 0);

    // Switching modes does not enable Save; the next document with a preview does.
    QTest::mouseClick(window->optMulti, Qt::LeftButton);
    QTest::mouseClick(window->optSave, Qt::LeftButton);
    EXPECT_FALSE(window->cmdSave->isEnabled());
    components.documents["/docs/new.ipt"] = {20000, solidPicture(Qt::red), std::nullopt, "new.ipt", "new"};
    openDocument("/docs/new.ipt");
    EXPECT_TRUE(window->cmdSave->isEnabled());
}

TEST_F(WindowHarness, OldDocumentWithoutAPropertySetNeverShowsThePreviousOne)
{
    components.documents["/docs/a.ipt"] = {5001, std::nullopt, solidPicture(Qt::blue), "a.ipt", "a"};
    components.documents["/docs/b.ipt"] = {5001, std::nullopt, std::nullopt, "b.ipt", "b"};
    openDocument("/docs/a.ipt");
    openDocument("/docs/b.ipt");
    EXPECT_EQ(window->picPreview->picture().size(), QSize(120, 120));
    EXPECT_FALSE(window->cmdSave->isEnabled());
}

TEST_F(WindowHarness, EveryOpenMakesANewPropertyReader)
{
    components.documents["/docs/new.ipt"] = {20000, solidPicture(Qt::red), std::nullopt, "new.ipt", "new"};
    openDocument("/docs/new.ipt");
    openDocument("/docs/new.ipt");
    EXPECT_EQ(components.readersCreated, 2);
    EXPECT_EQ(components.serversCreated, 1);
}

TEST_F(WindowHarness, CancelledOpenForgetsThePathButKeepsThePreview)
{
    components.documents["/docs/new.ipt"] = {20000, solidPicture(Qt::red), std::nullopt, "new.ipt", "new"};
    openDocument("/docs/new.ipt");
    dialog.cancel();
    clickOpen();
    EXPECT_TRUE(window->msFile.isEmpty());
    EXPECT_EQ(window->FileName->text(), "new.ipt");
    EXPECT_TRUE(window->cmdSave->isEnabled());
    EXPECT_FALSE(window->picPreview->picture().isEmpty());

    QTest::mouseClick(window->cmdSave, Qt::LeftButton);
    EXPECT_EQ(messages.texts(), QStringList({"Please select a file first"}));
}

TEST_F(WindowHarness, TheExtensionIsCutByLengthAlone)
{
    components.documents["/docs/drawing.idwx"] = {20000, solidPicture(Qt::red), std::nullopt, "d", "d"};
    openDocument("/docs/drawing.idwx");
    EXPECT_EQ(window->msFile, "/docs/drawing.");
}

TEST_F(WindowHarness, ADocumentThatCannotBeOpenedIsNamedAndTreatedAsWithoutPreview)
{
    openDocument("/docs/missing.ipt");
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.contains("missing.ipt"));
    EXPECT_TRUE(messages.messages[0].text.contains("File not found"));
    EXPECT_EQ(window->picPreview->picture().size(), QSize(120, 120));
    EXPECT_FALSE(window->cmdSave->isEnabled());
    EXPECT_EQ(window->FileName->text(), "missing.ipt");
    EXPECT_EQ(window->msFile, "/docs/missing.ipt");
}

TEST_F(WindowHarness, PersistentImageFollowsTheSizeList)
{
    // 3655 twips are 243.67 pixels: the box shows whole pixels, the nearest being 244.
    EXPECT_EQ(window->picPreview->image().size(), QSize(244, 244));
    components.documents["/docs/new.ipt"] = {20000, solidPicture(Qt::red, 512), std::nullopt, "new.ipt", "new"};
    openDocument("/docs/new.ipt");
    for (int index : {0, 1, 2}) {
        const int size = window->PicSize->itemText(index).toInt();
        SCOPED_TRACE(size);
        pickFromList(window->PicSize, index);
        EXPECT_EQ(window->picPreview->widthTwips(), size * 15);
        const QImage shown = window->picPreview->image();
        ASSERT_EQ(shown.size(), QSize(size, size));
        // The 512-pixel preview is scaled to fill the box: no border, nothing clipped.
        EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::red));
        EXPECT_EQ(shown.pixelColor(size - 1, size - 1), QColor(Qt::red));
    }
}

TEST_F(WindowHarness, TypingASizeDoesNothing)
{
    window->PicSize->lineEdit()->selectAll();
    QTest::keyClicks(window->PicSize->lineEdit(), "96");
    QTest::keyClick(window->PicSize->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(window->picPreview->size(), QSize(244, 244));
    QTest::keyClicks(window->PicSize->lineEdit(), "50");
    EXPECT_EQ(window->picPreview->size(), QSize(244, 244));
}
