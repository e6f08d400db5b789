#include "app/frmSavePreview.h"
#include "app/qt/QtForm.h"
#include "preview/FileComponents.h"
#include "tests/support/qt/QtFixtures.h"
#include "tests/support/window/Doubles.h"
#include "tests/support/window/Doubles.h"
#include "tests/support/qt/WindowControls.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSet>
#include <QTest>

#include <filesystem>

using namespace glimmer;
using namespace glimmer::test;

// All fixture documents copied into one folder (their names have spaces),
// converted in one run, type by type.
class BatchDocuments : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        GLIMMER_REQUIRE_FIXTURES();
        for (const FixtureDocument& doc : fixtureDocuments()) {
            const std::filesystem::path source = fixturePath(doc);
            std::filesystem::copy_file(source, folder.path() / source.filename());
            names << QString::fromStdString(source.filename().string());
        }
        form = std::make_unique<QtForm>();
        window = std::make_unique<frmSavePreview>(*form, dialog, messages, components);
        window->setExitHandler([] {});
        window->setProgress(progress);
        ui.emplace(*form);
        ui->FileType->setCurrentIndex(ui->FileType->findText(GetParam()));
    }

    QString inFolder(const QString& name) const { return qpath(folder) + "/" + name; }
    static QString base(const QString& name) { return name.chopped(4); }

    TempDir folder;
    QStringList names;
    ScriptedDialog dialog;
    RecordingMessageBox messages;
    FileComponents components;
    ScriptedProgress progress;
    std::unique_ptr<QtForm> form;
    std::unique_ptr<frmSavePreview> window;
    std::optional<WindowControls> ui;
};

TEST_P(BatchDocuments, EveryDocumentWithAPreviewGetsItsOwnPicture)
{
    const QString type = GetParam();
    QStringList paths;
    for (const QString& n : names)
        paths << inFolder(n);

    QTest::mouseClick(ui->optMulti, Qt::LeftButton);
    dialog.answer(toStd(paths));
    QTest::mouseClick(ui->cmdOpen, Qt::LeftButton);
    ASSERT_EQ(messages.messages.size(), 2u) << messages.all();
    EXPECT_EQ(messages.messages[0].text, "3 File(s) don't contain a Preview");
    // Cooling_Plate-body.idw and Cooling_Plate-body.ipt share a base name:
    // the second keeps its extension rather than overwrite the first's picture.
    EXPECT_TRUE(QString::fromStdString(messages.messages[1].text).contains("Cooling_Plate-body.ipt" + type));
    EXPECT_FALSE(QFile::exists(inFolder("~TempBmpJpgImage.bmp")));

    // The same documents saved one by one, in single mode, into another folder.
    QTest::mouseClick(ui->optSave, Qt::LeftButton);
    TempDir singles;
    int written = 0;
    QSet<QString> used;
    for (const FixtureDocument& doc : fixtureDocuments()) {
        const QString name = QString::fromStdString(fixturePath(doc).filename().string());
        SCOPED_TRACE(name.toStdString());
        const QString batchOutput = inFolder((used.contains(base(name)) ? name : base(name)) + type);
        if (doc.hasPreview)
            used.insert(base(name));
        if (!doc.hasPreview) {
            EXPECT_FALSE(QFile::exists(batchOutput));
            continue;
        }
        ASSERT_TRUE(QFile::exists(batchOutput));
        ++written;
        dialog.answer(toStd(inFolder(name)));
        QTest::mouseClick(ui->cmdOpen, Qt::LeftButton);
        const QString single = qpath(singles) + "/" + base(name) + type;
        dialog.answer(toStd(single));
        QTest::mouseClick(ui->cmdSave, Qt::LeftButton);
        // The encoders are deterministic: X's picture from the run is exactly X's own.
        EXPECT_EQ(readAll(batchOutput), readAll(single));
    }
    EXPECT_EQ(written, 15);
}

INSTANTIATE_TEST_SUITE_P(EachType, BatchDocuments, ::testing::Values(".bmp", ".wmf", ".jpg"),
                         [](const auto& p) { return std::string(p.param + 1); });
