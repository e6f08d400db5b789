// Stays over Qt: the colours a picture box is drawn on are Qt's palette.
// The batch's bytes against glimmerbox-convert's are in tests/app/DocumentsTest.cpp.
#include "app/frmSavePreview.h"
#include "app/qt/QtForm.h"
#include "tests/support/qt/WindowControls.h"
#include "tests/support/window/Doubles.h"

#include <gtest/gtest.h>

#include <QPalette>

using namespace glimmer;
using namespace glimmer::test;

// The converter plays metafiles on white: the window's preview box must too.
TEST(ConvertWindow, ThePreviewBoxIsOnTheConvertersWhite)
{
    EXPECT_EQ(QPalette().color(QPalette::Base), QColor(Qt::white));
    ScriptedDialog dialog;
    RecordingMessageBox messages;
    ScriptedComponents components;
    QtForm form;
    frmSavePreview window(form, dialog, messages, components);
    window.setExitHandler([] {});
    const WindowControls controls(form);
    EXPECT_EQ(controls.picPreview->palette().color(QPalette::Base), QColor(Qt::white));
}
