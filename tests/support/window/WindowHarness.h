#pragma once

#include "app/frmSavePreview.h"
#include "tests/support/Fixtures.h"
#include "tests/support/window/Doubles.h"
#include "tests/support/window/FormDriver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace glimmer::test {

// The temporary bitmap of the JPEG export, in the current folder.
inline const std::string TempBitmapName = "~TempBmpJpgImage.bmp";

// A window wired to scripted dialogs, message boxes and components, over
// the form of the toolkit the tests are built with.
class WindowHarness : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui = makeFormDriver();
        window = std::make_unique<frmSavePreview>(ui->form(), dialog, messages, components);
        window->setExitHandler([] { FAIL() << "the window tried to end the process"; });
        ui->show();
    }
    void TearDown() override
    {
        window.reset();
        ui.reset();
    }

    void clickOpen() { ui->click("cmdOpen"); }
    void clickSave() { ui->click("cmdSave"); }

    // Answers the next open dialog with `path` and clicks the open button.
    void openDocument(const std::string& path)
    {
        dialog.answer(path);
        clickOpen();
    }

    // The name the Save dialog proposes (msFile), or nothing when Save only
    // asks for a document. The dialog is cancelled, which changes nothing.
    std::optional<std::string> proposedName()
    {
        const std::size_t before = dialog.shown().size();
        clickSave();
        if (dialog.shown().size() == before)
            return std::nullopt;
        return dialog.last().fileName;
    }

    CurrentDir keepCurrentDir;   // a confirmed dialog moves it
    ScriptedDialog dialog;
    RecordingMessageBox messages;
    ScriptedComponents components;
    std::unique_ptr<FormDriver> ui;
    std::unique_ptr<frmSavePreview> window;
};

// A path as the window shows it and the dialog returns it.
inline std::string native(const std::filesystem::path& path)
{
    const std::u8string text = std::filesystem::path(path).make_preferred().u8string();
    return std::string(text.begin(), text.end());
}

} // namespace glimmer::test
