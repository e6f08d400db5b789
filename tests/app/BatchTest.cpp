#include "formats/BitmapFile.h"
#include "tests/support/Pixels.h"
#include "tests/support/window/PictureFiles.h"
#include "tests/support/window/WindowHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace glimmer;
using namespace glimmer::test;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t Red = rgb(255, 0, 0);
constexpr std::uint32_t Green = rgb(0, 255, 0);
constexpr std::uint32_t Blue = rgb(0, 0, 255);

void touch(const fs::path& path)
{
    std::ofstream file(path);
    ASSERT_TRUE(file) << path;
}

} // namespace

// A window in "Multiple Files" mode over a temporary folder of scripted documents.
class BatchHarness : public WindowHarness {
protected:
    void SetUp() override
    {
        WindowHarness::SetUp();
        window->setProgress(progress);
        ui->click("optMulti");
        here = std::make_unique<CurrentDir>(dir.path());
    }
    void TearDown() override { here.reset(); }

    // A scripted document: pieces of a multiple selection are bare names,
    // resolved in the current folder.
    void addDocument(const std::string& name, std::optional<Picture> thumbnail, std::int32_t version = 20000)
    {
        components.documents[name] = {version, thumbnail, thumbnail, name, name};
        touch(dir.path() / name);
    }

    // Answers the open dialog with these names in the temporary folder and runs the batch.
    void run(const std::vector<std::string>& names)
    {
        std::vector<std::string> paths;
        for (const std::string& n : names)
            paths.push_back(dir.file(n));
        dialog.answer(paths);
        clickOpen();
    }

    std::uint32_t colourAt(const std::string& file)
    {
        const std::vector<std::byte> bytes = readFile(dir.path() / file);
        const Image image = bmp::decode(bytes);
        return image.pixel(5, 5) | 0xFF000000u;
    }

    TempDir dir;
    std::unique_ptr<CurrentDir> here;
    ScriptedProgress progress;
};

TEST_F(BatchHarness, DialogIsConfiguredForManyDocuments)
{
    dialog.cancel();
    clickOpen();
    const auto& shown = dialog.last();
    EXPECT_EQ(shown.flags, CommonDialog::AllowMultiselect | CommonDialog::Explorer);
    EXPECT_EQ(shown.filterIndex, 2);
    EXPECT_EQ(CommonDialog::filterPairs(shown.filter).size(), 7);
    EXPECT_EQ(shown.fileName, "");
    EXPECT_EQ(shown.maxFileSize, 32767);
    EXPECT_FALSE(shown.cancelError);
    // Cancel: nothing happens, no message.
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(components.opened.empty());
}

TEST_F(BatchHarness, EachDocumentGetsItsOwnPictureBesideIt)
{
    addDocument("red part.ipt", solidPicture(Red));
    addDocument("blue assembly.IAM", solidPicture(Blue));
    addDocument("green old.idw", solidPicture(Green), 5001);
    run({"red part.ipt", "blue assembly.IAM", "green old.idw"});
    EXPECT_TRUE(messages.messages.empty()) << messages.all();
    EXPECT_EQ(colourAt("red part.bmp"), Red);
    EXPECT_EQ(colourAt("blue assembly.bmp"), Blue);
    EXPECT_EQ(colourAt("green old.bmp"), Green);
    EXPECT_EQ(components.openDocuments, 0);
    // The label and Save are left alone.
    EXPECT_EQ(ui->text("FileName"), "No File Selected");
    EXPECT_FALSE(ui->isEnabled("cmdSave"));
}

TEST_F(BatchHarness, ASingleDocumentIsAFullPath)
{
    addDocument("only.ipt", solidPicture(Red));
    components.documents[dir.file("only.ipt")] = components.documents["only.ipt"];
    run({"only.ipt"});
    EXPECT_EQ(components.opened, std::vector<std::string>{native(dir.path() / "only.ipt")});
    EXPECT_EQ(colourAt("only.bmp"), Red);
}

TEST_F(BatchHarness, DocumentsWithoutAPreviewGetNoPictureAndAreCounted)
{
    addDocument("a.ipt", solidPicture(Red));
    addDocument("b.ipt", std::nullopt);
    addDocument("c.ipt", std::nullopt, 5001);
    run({"a.ipt", "b.ipt", "c.ipt"});
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"2 File(s) don't contain a Preview"});
    EXPECT_EQ(messages.messages[0].icon, MessageBox::Icon::Information);
    EXPECT_TRUE(fs::exists("a.bmp"));
    // Never the previous document's picture under this one's name.
    EXPECT_FALSE(fs::exists("b.bmp"));
    EXPECT_FALSE(fs::exists("c.bmp"));
}

TEST_F(BatchHarness, OtherFilesAreSkippedAndNotCounted)
{
    addDocument("a.ipt", solidPicture(Red));
    touch(dir.path() / "notes.txt");
    run({"a.ipt", "notes.txt"});
    EXPECT_TRUE(messages.messages.empty());
    // The folder piece and the text file are never opened.
    EXPECT_EQ(components.opened, std::vector<std::string>{"a.ipt"});
    EXPECT_FALSE(fs::exists("notes.bmp"));
}

TEST_F(BatchHarness, DocumentsThatCannotBeOpenedAreCountedAndTheRunGoesOn)
{
    touch(dir.path() / "broken.ipt");
    addDocument("z.ipt", solidPicture(Red));
    run({"broken.ipt", "z.ipt"});
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"1 File(s) don't contain a Preview"});
    EXPECT_TRUE(fs::exists("z.bmp"));
}

TEST_F(BatchHarness, TheTypeIsTakenOnceAtTheStart)
{
    ui->pick("FileType", 1);
    addDocument("a.ipt", solidPicture(Red));
    addDocument("b.ipt", solidPicture(Red));
    progress.onAdvance = [this](int) { ui->pick("FileType", 0); };
    run({"a.ipt", "b.ipt"});
    EXPECT_TRUE(fs::exists("a.wmf"));
    EXPECT_TRUE(fs::exists("b.wmf"));
    EXPECT_FALSE(fs::exists("b.bmp"));
}

TEST_F(BatchHarness, FailedSavesAreCountedAndReportedAfterThePreviewMessage)
{
    addDocument("a.ipt", solidPicture(Red));
    addDocument("b.ipt", solidPicture(Red));
    addDocument("c.ipt", std::nullopt);
    ASSERT_TRUE(fs::create_directory("a.bmp"));   // a folder where the picture should go
    run({"a.ipt", "b.ipt", "c.ipt"});
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[0].text, "1 File(s) don't contain a Preview");
    EXPECT_TRUE(messages.messages[1].text.starts_with("1 preview(s) could not be saved:"));
    EXPECT_NE(messages.messages[1].text.find("a.ipt"), std::string::npos);
    EXPECT_EQ(messages.messages[1].icon, MessageBox::Icon::Exclamation);
    EXPECT_TRUE(fs::is_directory("a.bmp"));
    EXPECT_TRUE(fs::exists("b.bmp"));
}

TEST_F(BatchHarness, ASelectionTooLongForTheBufferConvertsNothing)
{
    std::vector<std::string> names;
    for (int i = 0; i < 1200; ++i)
        names.push_back("a rather long document name number " + std::to_string(i) + ".ipt");
    run(names);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_NE(messages.messages[0].text.find("too long"), std::string::npos);
    EXPECT_TRUE(components.opened.empty());
}

TEST_F(BatchHarness, CancelStopsAfterTheCurrentDocumentAndKeepsWhatWasWritten)
{
    addDocument("a.ipt", solidPicture(Red));
    addDocument("b.ipt", solidPicture(Red));
    addDocument("c.ipt", solidPicture(Red));
    progress.stopAt = 2;   // the folder piece, then a.ipt
    run({"a.ipt", "b.ipt", "c.ipt"});
    EXPECT_TRUE(progress.started);
    EXPECT_TRUE(progress.finished);
    EXPECT_TRUE(fs::exists("a.bmp"));
    EXPECT_FALSE(fs::exists("b.bmp"));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.starts_with("Stopped"));
}

TEST_F(BatchHarness, DocumentsOfOneNameDoNotOverwriteEachOthersPicture)
{
    addDocument("lid.ipt", solidPicture(Red));
    addDocument("lid.idw", solidPicture(Blue));
    run({"lid.ipt", "lid.idw"});
    EXPECT_EQ(colourAt("lid.bmp"), Red);
    EXPECT_EQ(colourAt("lid.idw.bmp"), Blue);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_NE(messages.messages[0].text.find("lid.idw.bmp"), std::string::npos);
    EXPECT_EQ(messages.messages[0].icon, MessageBox::Icon::Information);

    // A second run writes over its own earlier pictures, as a re-export should.
    messages.messages.clear();
    touch(dir.path() / "notes.txt");
    run({"lid.ipt", "notes.txt"});
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_FALSE(fs::exists("lid.ipt.bmp"));
}

TEST_F(BatchHarness, ADocumentWithAnEmptyBaseNameGivesNoJpegAndNoTemporaryBitmap)
{
    ui->pick("FileType", 2);
    addDocument("a.ipt", solidPicture(Red));
    addDocument(".ipt", solidPicture(Blue));
    run({"a.ipt", ".ipt"});
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"You must save your file before outputting to JPEG"});
    EXPECT_EQ(pictureFormat("a.jpg"), "jpg");
    EXPECT_FALSE(fs::exists(".jpg"));
    EXPECT_FALSE(fs::exists(TempBitmapName));
}

