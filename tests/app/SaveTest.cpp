#include "jpeg/IJL.h"
#include "platform/Runtime.h"
#include "tests/support/Pixels.h"
#include "tests/support/ScriptedGdi.h"
#include "tests/support/window/PictureFiles.h"
#include "tests/support/window/WindowHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace glimmer;
using namespace glimmer::test;
namespace fs = std::filesystem;

// A window with one scripted document opened from a temporary folder.
class SaveHarness : public WindowHarness {
protected:
    void SetUp() override
    {
        WindowHarness::SetUp();
        document = native(dir.path() / "part.ipt");
        base = native(dir.path() / "part");
        components.documents[document] = {20000, solidPicture(rgb(255, 0, 0)), std::nullopt, "part.ipt", "part"};
        openDocument(document);
        ASSERT_TRUE(ui->isEnabled("cmdSave"));
    }

    void chooseType(const std::string& type)
    {
        const char* types[] = {".bmp", ".wmf", ".jpg"};
        for (int i = 0; i < 3; ++i)
            if (type == types[i])
                ui->pick("FileType", i);
    }

    TempDir dir;
    std::string document;
    std::string base;
};

TEST_F(SaveHarness, SaveDialogIsConfiguredFromTheTypeAndThePath)
{
    chooseType(".wmf");
    dialog.cancel();
    clickSave();
    const auto& shown = dialog.last();
    EXPECT_TRUE(shown.save);
    EXPECT_EQ(shown.flags, 0x80000);
    EXPECT_EQ(shown.filter, "Wimdows Bitmap(*.bmp)|*.bmp|Windows Meta File(*.wmf)|*.wmf|JPEG(*.jpg)|*.jpg");
    EXPECT_EQ(shown.filterIndex, 2);
    EXPECT_EQ(shown.fileName, base);
    EXPECT_FALSE(shown.cancelError);
    EXPECT_EQ(shown.defaultExt, ".wmf");
}

TEST_F(SaveHarness, CancelWritesNothingAndChangesNothing)
{
    writeFile(base + ".bmp", textBytes("keep me"));
    dialog.cancel();
    clickSave();
    EXPECT_TRUE(messages.messages.empty()) << messages.all();
    EXPECT_EQ(readFile(base + ".bmp"), textBytes("keep me"));
    EXPECT_EQ(filesBelow(dir.path()).size(), 1u);
    EXPECT_EQ(ui->text("FileName"), "part.ipt");
    EXPECT_EQ(proposedName(), base);
}

TEST_F(SaveHarness, TheChosenPathAndItsExtensionWin)
{
    const std::string other = native(dir.path() / "elsewhere.wmf");
    dialog.answer(other);
    clickSave();
    EXPECT_TRUE(fs::exists(other));
    EXPECT_FALSE(fs::exists(base + ".bmp"));
    EXPECT_EQ(proposedName(), native(dir.path() / "elsewhere"));
}

TEST_F(SaveHarness, ATypedTypeSelectsNoFilterAndIsTheTypeOfANameWithoutOne)
{
    ui->type("FileType", ".bmq");
    dialog.answer(base);
    clickSave();
    EXPECT_EQ(dialog.last().filterIndex, 0);
    EXPECT_EQ(dialog.last().defaultExt, ".bmq");
    // An unknown type takes the third way: the picture in its own form.
    EXPECT_EQ(pictureSize(base + ".bmq"), (Size{180, 180}));
}

TEST_F(SaveHarness, AFolderInTheWayIsReportedAndNothingIsLost)
{
    ASSERT_TRUE(fs::create_directory(base + ".bmp"));
    dialog.answer(base + ".bmp");
    clickSave();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_NE(messages.messages[0].text.find(base + ".bmp"), std::string::npos) << messages.all();
    EXPECT_NE(messages.messages[0].text.find("folder"), std::string::npos) << messages.all();
    EXPECT_EQ(messages.messages[0].icon, MessageBox::Icon::Exclamation);
    EXPECT_TRUE(fs::is_directory(base + ".bmp"));
    // The window goes on working.
    dialog.answer(native(dir.path() / "again.bmp"));
    clickSave();
    EXPECT_TRUE(fs::exists(dir.path() / "again.bmp"));
}

TEST_F(SaveHarness, AMissingFolderIsReported)
{
    const std::string target = native(dir.path() / "no such folder" / "part.bmp");
    dialog.answer(target);
    clickSave();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.starts_with("Path not found"));
}

// The JPEG export, run as a batch of the one document, with the current
// folder apart from the output folder.
class JpegHarness : public SaveHarness {
protected:
    void SetUp() override
    {
        SaveHarness::SetUp();
        chooseType(".jpg");
        window->setGdi(gdi);
    }

    // Exports the document's preview to the base path; the current folder is
    // `cwd` while it runs.
    void exportFrom(const std::filesystem::path& cwd)
    {
        progress.onAdvance = [&](int) { fs::current_path(cwd); };
        window->setProgress(progress);
        ui->click("optMulti");
        dialog.answer(document);
        clickOpen();
        ui->click("optSave");
    }

    fs::path tempIn(const TempDir& d) const { return d.path() / TempBitmapName; }

    TempDir work;
    ScriptedGdi gdi;
    ScriptedProgress progress;
};

TEST_F(JpegHarness, TheTemporaryBitmapLivesInTheCurrentFolderOnlyWhileItRuns)
{
    bool seenDuringExport = false;
    // The export yields to the event loop while it runs: look then.
    const WhileYielding look([&] { seenDuringExport = seenDuringExport || fs::exists(tempIn(work)); });
    exportFrom(work.path());
    EXPECT_TRUE(seenDuringExport);
    EXPECT_FALSE(fs::exists(tempIn(work)));
    EXPECT_FALSE(fs::exists(tempIn(dir)));
    EXPECT_EQ(pictureSize(base + ".jpg"), ui->pixelSize("picPreview"));
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(JpegHarness, TheDibIsLeftEmptyAfterEveryExport)
{
    exportFrom(work.path());
    EXPECT_EQ(gdi.inner.liveObjects(), 0u);
    ui->pick("PicSize", 0);
    exportFrom(work.path());
    EXPECT_EQ(gdi.inner.liveObjects(), 0u);
    EXPECT_EQ(pictureSize(base + ".jpg"), (Size{96, 96}));
}

TEST_F(JpegHarness, ATemporaryBitmapThatWillNotLoadIsRetriedAWhileThenReported)
{
    // A bitmap that loads on the fourth try is written; one that would load
    // only on the 26th is given up, in at most 20 tries.
    for (const int failures : {3, 25}) {
        SCOPED_TRACE(failures);
        messages.messages.clear();
        fs::remove(base + ".jpg");
        gdi.loadCalls = 0;
        gdi.loadFailures = failures;
        exportFrom(work.path());
        EXPECT_FALSE(fs::exists(tempIn(work)));
        EXPECT_EQ(gdi.inner.liveObjects(), 0u);
        if (failures < 20) {
            EXPECT_EQ(gdi.loadCalls, failures + 1);
            EXPECT_EQ(pictureFormat(base + ".jpg"), "jpg");
            EXPECT_TRUE(messages.messages.empty());
        } else {
            EXPECT_LE(gdi.loadCalls, 20);
            EXPECT_FALSE(fs::exists(base + ".jpg"));
            ASSERT_EQ(messages.messages.size(), 1u);
            EXPECT_NE(messages.messages[0].text.find("could not be read, so no JPEG file was written"), std::string::npos);
            EXPECT_EQ(messages.messages[0].icon, MessageBox::Icon::Exclamation);
        }
    }
}

TEST_F(JpegHarness, ALibraryFailureIsShownAndStillTidiesUp)
{
    IjlFunctions failing = ijlLibrary();
    failing.ijlWrite = [](JPEG_CORE_PROPERTIES*, std::int32_t) { return std::int32_t{-3}; };
    failing.ijlErrorStr = [](std::int32_t) -> const char* { return "broken"; };
    window->setJpegLibrary(failing);
    exportFrom(work.path());
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "IJL ERROR: [-3] - broken - Failed to save to JPG");
    EXPECT_EQ(messages.messages[0].title, "Intel(R) JPEG Library");
    EXPECT_FALSE(fs::exists(base + ".jpg"));
    EXPECT_FALSE(fs::exists(tempIn(work)));
    EXPECT_EQ(gdi.inner.liveObjects(), 0u);
}

TEST_F(JpegHarness, AMissingOutputFolderIsReportedAndTidiedUp)
{
    CurrentDir here(work.path());
    dialog.answer(native(dir.path() / "gone" / "part.jpg"));
    clickSave();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.starts_with("Path not found"));
    EXPECT_FALSE(fs::exists(tempIn(work)));
    // Still usable.
    dialog.answer(base + ".jpg");
    clickSave();
    EXPECT_TRUE(fs::exists(base + ".jpg"));
}

TEST_F(JpegHarness, ATemporaryBitmapNameThatIsALinkIsRefusedAndItsTargetKept)
{
    // The Save dialog leaves the document's folder current.
    const fs::path target = dir.path() / "someone-else.txt";
    writeFile(target, textBytes("keep me"));
    std::error_code linked;
    fs::create_symlink(target, tempIn(dir), linked);
    if (linked)
        GTEST_SKIP() << "no symbolic links here: " << linked.message();
    dialog.answer(base + ".jpg");
    clickSave();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_NE(messages.messages[0].text.find("is a symbolic link"), std::string::npos);
    EXPECT_EQ(readFile(target), textBytes("keep me"));
    EXPECT_TRUE(fs::is_symlink(tempIn(dir)));
    EXPECT_FALSE(fs::exists(base + ".jpg"));
}

TEST_F(JpegHarness, ACurrentFolderThatCannotTakeTheTemporaryBitmapIsReported)
{
    auto gone = std::make_unique<TempDir>();
    const std::filesystem::path vanished = gone->path();
    // The current folder no longer exists when the export starts.
    bool stayed = false;
    progress.onAdvance = [&](int) {
        fs::current_path(vanished);
        gone.reset();
        stayed = fs::exists(vanished);
    };
    window->setProgress(progress);
    ui->click("optMulti");
    dialog.answer(document);
    clickOpen();
    if (stayed)
        GTEST_SKIP() << "this system keeps a process's current folder until it leaves it";
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.messages[0].text.starts_with("1 preview(s) could not be saved:\npart.ipt: "));
    EXPECT_FALSE(fs::exists(base + ".jpg"));
    EXPECT_EQ(gdi.inner.liveObjects(), 0u);
}

TEST_F(JpegHarness, CommandsWaitForARunningExport)
{
    int opened = 0;
    // While the export yields, a click on Open or Save does nothing.
    bool clicked = false;
    const WhileYielding click([&] {
        if (std::exchange(clicked, true))
            return;
        clickOpen();
        clickSave();
        opened = static_cast<int>(dialog.shown().size());
    });
    dialog.answer(base + ".jpg");
    clickSave();
    EXPECT_EQ(opened, 2);   // the first open and this save
    EXPECT_EQ(pictureFormat(base + ".jpg"), "jpg");
}
