#include "app/frmSavePreview.h"
#include "app/qt/QtForm.h"
#include "preview/FileComponents.h"
#include "tests/support/qt/QtFixtures.h"
#include "tests/support/qt/QtPixels.h"
#include "tests/support/window/Doubles.h"
#include "tests/support/qt/WindowControls.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTest>

#include <fstream>

using namespace glimmer;
using namespace glimmer::test;

namespace {

// The real window over the real document files.
class DocumentsWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<QtForm>();
        window = std::make_unique<frmSavePreview>(*form, dialog, messages, components);
        window->setExitHandler([] { FAIL() << "the window tried to end the process"; });
        form->show();
        ui.emplace(*form);
    }

    void open(const QString& path)
    {
        dialog.answer(toStd(path));
        QTest::mouseClick(ui->cmdOpen, Qt::LeftButton);
    }

    // The placeholder itself, not a picture that looks like it.
    bool showsPlaceholder() const
    {
        return ui->picPreview->picture().image().row(0) == ui->Picture1->picture().image().row(0);
    }

    ScriptedDialog dialog;
    RecordingMessageBox messages;
    FileComponents components;
    std::unique_ptr<QtForm> form;
    std::unique_ptr<frmSavePreview> window;
    std::optional<WindowControls> ui;
};

} // namespace

TEST_F(DocumentsWindow, EveryFixtureShowsItsPreviewOrThePlaceholder)
{
    GLIMMER_REQUIRE_FIXTURES();
    for (const FixtureDocument& doc : fixtureDocuments()) {
        SCOPED_TRACE(doc.path);
        const QString path = fixtureQPath(doc.path);
        open(path);
        EXPECT_EQ(ui->FileName->text(), QFileInfo(path).fileName());
        EXPECT_EQ(ui->cmdSave->isEnabled(), doc.hasPreview);
        EXPECT_EQ(showsPlaceholder(), !doc.hasPreview);
        if (doc.hasPreview) {
            EXPECT_EQ(pixelSha256(ui->picPreview->picture().toImage()), doc.pixelSha256);
            // The Save dialog proposes the document without its extension.
            QTest::mouseClick(ui->cmdSave, Qt::LeftButton);
            EXPECT_EQ(dialog.last().fileName, path.chopped(4));
        }
    }
    EXPECT_TRUE(messages.messages.empty()) << messages.all();
}

TEST_F(DocumentsWindow, AFileThatIsNotADocumentIsNamedInAMessage)
{
    GLIMMER_REQUIRE_FIXTURES();
    open(fixtureQPath(fixtureDocuments()[1].path));
    ASSERT_TRUE(ui->cmdSave->isEnabled());

    TempDir dir;
    const auto lfs = dir.path() / "Part2.ipt";
    std::ofstream(lfs) << "version https://git-lfs.example/v1\n";
    open(QString::fromStdString(lfs.string()));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(QString::fromStdString(messages.messages[0].text).contains(QStringLiteral("Part2.ipt\": not a compound file")))
        << messages.messages[0].text;
    EXPECT_TRUE(showsPlaceholder());
    EXPECT_FALSE(ui->cmdSave->isEnabled());
    EXPECT_EQ(ui->FileName->text(), QStringLiteral("Part2.ipt"));
}
