// The window's batch and glimmerbox-convert over the same documents write
// the same bytes.
#include "app/frmSavePreview.h"
#include "app/qt/QtForm.h"
#include "preview/FileComponents.h"
#include "tests/support/Process.h"
#include "tests/support/qt/QtFixtures.h"
#include "tests/support/window/Doubles.h"
#include "tests/support/window/Doubles.h"
#include "tests/support/qt/WindowControls.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QPalette>
#include <QTest>

#include <map>

using namespace glimmer;
using namespace glimmer::test;

class ConvertWindow : public ::testing::TestWithParam<const char*> {};

TEST_P(ConvertWindow, WritesTheBytesTheWindowsBatchWrites)
{
    GLIMMER_REQUIRE_FIXTURES();
    const std::string type = GetParam();
    const QString extension = QString::fromStdString("." + type);
    TempDir source, out, window;
    copyFixtures(source.path());
    const ProcessResult run = runProcess(GLIMMER_CONVERT, {"-q", "-r", "-t", type, "-o", out.file(), source.file()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto written = filesBelow(out.path());
    ASSERT_EQ(written.size(), 15u);

    // The window's batch over the same documents, folder by folder.
    EXPECT_EQ(QPalette().color(QPalette::Base), QColor(Qt::white));
    ScriptedDialog dialog;
    RecordingMessageBox messages;
    FileComponents components;
    ScriptedProgress progress;
    QtForm form;
    frmSavePreview batch(form, dialog, messages, components);
    batch.setExitHandler([] {});
    batch.setProgress(progress);
    const WindowControls controls(form);
    EXPECT_EQ(controls.picPreview->palette().color(QPalette::Base), QColor(Qt::white));
    controls.FileType->setCurrentIndex(controls.FileType->findText(extension));
    // The box starts at 244 pixels (3655 twips); picking "240" makes it the converter's default.
    controls.PicSize->setCurrentIndex(controls.PicSize->findText("240"));
    emit controls.PicSize->Click();
    ASSERT_EQ(controls.picPreview->image().size(), (Size{240, 240}));
    QTest::mouseClick(controls.optMulti, Qt::LeftButton);
    copyFixtures(window.path());
    std::map<QString, QStringList> byFolder;
    for (const FixtureDocument& doc : fixtureDocuments())
        byFolder[QFileInfo(QString::fromUtf8(doc.path)).path()] << qpath(window) + "/" + doc.path;
    for (const auto& [folder, documents] : byFolder) {
        dialog.answer(toStd(documents));
        QTest::mouseClick(controls.cmdOpen, Qt::LeftButton);
    }
    for (const auto& [name, bytes] : written)
        EXPECT_TRUE(bytes == readFile(window.path() / name)) << name;
}

INSTANTIATE_TEST_SUITE_P(EachType, ConvertWindow, ::testing::Values("bmp", "jpg", "wmf"),
                         [](const auto& p) { return std::string(p.param); });
