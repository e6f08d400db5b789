#pragma once

#include "app/frmSavePreview.h"
#include "tests/support/ScriptedComponents.h"
#include "tests/support/ScriptedDialog.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QTest>

#include <memory>

namespace glimmer::test {

// A window wired to scripted dialogs, message boxes and components.
class WindowHarness : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<frmSavePreview>(dialog, messages, components);
        window->setExitHandler([] { FAIL() << "the window tried to end the process"; });
        window->show();
    }

    void clickOpen() { QTest::mouseClick(window->cmdOpen, Qt::LeftButton); }
    void clickSave() { QTest::mouseClick(window->cmdSave, Qt::LeftButton); }

    // Answers the next open dialog with `path` and clicks the open button.
    void openDocument(const QString& path)
    {
        dialog.answer(path);
        clickOpen();
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

    ScriptedDialog dialog;
    RecordingMessageBox messages;
    ScriptedComponents components;
    std::unique_ptr<frmSavePreview> window;
};

} // namespace glimmer::test
