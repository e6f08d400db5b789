#include "app/frmSavePreview.h"
#include "tests/support/ScriptedComponents.h"
#include "tests/support/ScriptedDialog.h"

#include <gtest/gtest.h>

#include <QTest>

using namespace glimmer;
using namespace glimmer::test;

TEST(Window, StartsInItsDesignedState)
{
    ScriptedDialog dialog;
    RecordingMessageBox messages;
    ScriptedComponents components;
    frmSavePreview w(dialog, messages, components);
    EXPECT_EQ(w.windowTitle(), "Preview & Save Inventor Images");
    EXPECT_EQ(w.cmdOpen->text(), "File Select");
    EXPECT_TRUE(w.cmdSave->isEnabled());
}
