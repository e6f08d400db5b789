#pragma once

#include "app/frmSavePreview.h"
#include "app/qt/QtForm.h"
#include "tests/support/qt/QtFixtures.h"
#include "tests/support/qt/WindowControls.h"
#include "tests/support/window/Doubles.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QTest>

#include <memory>
#include <optional>

namespace glimmer::test {

// A window over Qt's form wired to scripted dialogs, message boxes and
// components, with its Qt widgets at hand.
class QtWindowHarness : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<QtForm>();
        window = std::make_unique<frmSavePreview>(*form, dialog, messages, components);
        window->setExitHandler([] { FAIL() << "the window tried to end the process"; });
        form->show();
        ui.emplace(*form);
    }

    void clickOpen() { QTest::mouseClick(ui->cmdOpen, Qt::LeftButton); }
    void clickSave() { QTest::mouseClick(ui->cmdSave, Qt::LeftButton); }

    // Answers the next open dialog with `path` and clicks the open button.
    void openDocument(const QString& path)
    {
        dialog.answer(path.toStdString());
        clickOpen();
    }

    // The name the Save dialog proposes (msFile), or nothing when Save only
    // asks for a document. The dialog is cancelled, which changes nothing.
    std::optional<QString> proposedName()
    {
        const std::size_t before = dialog.shown().size();
        clickSave();
        if (dialog.shown().size() == before)
            return std::nullopt;
        return QString::fromStdString(dialog.last().fileName);
    }

    // Picks an entry from a combo box's list as a user would: open it, click the entry.
    static void pickFromList(QComboBox* box, int index)
    {
        box->showPopup();
        QAbstractItemView* view = box->view();
        const QRect r = view->visualRect(view->model()->index(index, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
        if (view->isVisible())
            box->hidePopup();
    }

    CurrentDir keepCurrentDir;   // a confirmed dialog moves it
    ScriptedDialog dialog;
    RecordingMessageBox messages;
    ScriptedComponents components;
    std::unique_ptr<QtForm> form;
    std::unique_ptr<frmSavePreview> window;
    std::optional<WindowControls> ui;
};

} // namespace glimmer::test
