// The window over the real documents, whatever toolkit draws it: what it
// shows of each, what it saves of it, one by one and in a batch, and that
// its batch writes what glimmerbox-convert writes.
#include "app/frmSavePreview.h"
#include "formats/BitmapFile.h"
#include "formats/Metafile.h"
#include "formats/MetafileReader.h"
#include "formats/Scale.h"
#include "preview/FileComponents.h"
#include "tests/support/JpegFiles.h"
#include "tests/support/Pixels.h"
#include "tests/support/Process.h"
#include "tests/support/window/PictureFiles.h"
#include "tests/support/window/WindowHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string_view>

using namespace glimmer;
using namespace glimmer::test;
namespace fs = std::filesystem;

namespace {

const FixtureDocument& fixture(const char* path)
{
    for (const FixtureDocument& doc : fixtureDocuments())
        if (std::string_view(doc.path) == path)
            return doc;
    throw std::logic_error("no such fixture");
}

// A metafile file played at the size its header gives; null when there is no file.
Image playAtNaturalSize(const fs::path& wmfPath)
{
    Bytes bytes = readFile(wmfPath);
    if (bytes.empty())
        return {};
    wmf::read(bytes);   // raises on anything malformed
    const Size size = wmf::naturalSize(bytes);
    return Picture::fromMetafile(std::move(bytes), size).toImage();
}

// A bitmap file's picture; null when it is not one.
Image decodeBitmap(const fs::path& path)
{
    try {
        return bmp::decode(readFile(path));
    } catch (const FormatError&) {
        return {};
    }
}

unsigned littleEndian(const Bytes& bytes, std::size_t at, int count)
{
    unsigned value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | std::to_integer<unsigned>(bytes.at(at + std::size_t(i)));
    return value;
}

// A fixture document's full path as an open dialog returns it: with its
// drive, where the fixtures are found by a path without one.
std::string dialogPath(const FixtureDocument& doc)
{
    return native(fs::absolute(fixturePath(doc)));
}

fs::path utf8Path(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

// The index of a picture type in the type list.
int typeIndex(std::string_view type)
{
    if (type.starts_with('.'))
        type.remove_prefix(1);
    return type == "bmp" ? 0 : type == "wmf" ? 1 : 2;
}

// The name of a file, as the window shows it.
std::string nameOf(const fs::path& path)
{
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

} // namespace

// The real window and the real document reader, over the form of the
// toolkit the tests are built with.
class DocumentsHarness : public ::testing::Test {
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

    void open(const std::string& path)
    {
        dialog.answer(path);
        ui->click("cmdOpen");
    }

    // The placeholder itself, not a picture that looks like it.
    bool showsPlaceholder()
    {
        const Picture shown = ui->picture("picPreview");
        const Picture placeholder = ui->picture("Picture1");
        EXPECT_EQ(placeholder.kind(), Picture::Kind::Raster) << "the form has no placeholder";
        return shown.kind() == placeholder.kind() && shown.image().row(0) == placeholder.image().row(0);
    }

    CurrentDir keepCurrentDir;   // a confirmed dialog moves it
    ScriptedDialog dialog;
    RecordingMessageBox messages;
    FileComponents components;
    std::unique_ptr<FormDriver> ui;
    std::unique_ptr<frmSavePreview> window;
};

using DocumentsWindow = DocumentsHarness;

TEST_F(DocumentsWindow, EveryFixtureShowsItsPreviewOrThePlaceholder)
{
    GLIMMER_REQUIRE_FIXTURES();
    for (const FixtureDocument& doc : fixtureDocuments()) {
        SCOPED_TRACE(doc.path);
        const std::string path = dialogPath(doc);
        open(path);
        EXPECT_EQ(ui->text("FileName"), nameOf(path));
        EXPECT_EQ(ui->isEnabled("cmdSave"), doc.hasPreview);
        EXPECT_EQ(showsPlaceholder(), !doc.hasPreview);
        if (doc.hasPreview) {
            EXPECT_EQ(pixelSha256(ui->picture("picPreview").toImage()), doc.pixelSha256);
            // The Save dialog proposes the document without its extension.
            ui->click("cmdSave");
            EXPECT_EQ(dialog.last().fileName, path.substr(0, path.size() - 4));
        }
    }
    EXPECT_TRUE(messages.messages.empty()) << messages.all();
}

TEST_F(DocumentsWindow, AFileThatIsNotADocumentIsNamedInAMessage)
{
    GLIMMER_REQUIRE_FIXTURES();
    open(dialogPath(fixtureDocuments()[1]));
    ASSERT_TRUE(ui->isEnabled("cmdSave"));

    TempDir dir;
    const fs::path lfs = dir.path() / "Part2.ipt";
    std::ofstream(lfs) << "version https://git-lfs.example/v1\n";
    open(native(lfs));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_NE(messages.messages[0].text.find("Part2.ipt\": not a compound file"), std::string::npos)
        << messages.messages[0].text;
    EXPECT_TRUE(showsPlaceholder());
    EXPECT_FALSE(ui->isEnabled("cmdSave"));
    EXPECT_EQ(ui->text("FileName"), "Part2.ipt");
}

// One real document opened; saves go to a temporary folder, which is current.
class SaveDocuments : public DocumentsHarness, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        GLIMMER_REQUIRE_FIXTURES();
        DocumentsHarness::SetUp();
        window->setExitHandler([] {});
        open(dialogPath(fixture(GetParam())));
        ASSERT_TRUE(ui->isEnabled("cmdSave")) << messages.all();
        here = std::make_unique<CurrentDir>(dir.path());
    }
    void TearDown() override
    {
        here.reset();
        DocumentsHarness::TearDown();
    }

    // Saves through the Save dialog, which returns `name` in the temporary folder.
    fs::path saveAs(const std::string& name)
    {
        const fs::path path = dir.path() / name;
        dialog.answer(native(path));
        ui->click("cmdSave");
        return path;
    }

    TempDir dir;
    std::unique_ptr<CurrentDir> here;
};

TEST_P(SaveDocuments, BitmapIsTheBoxAtItsSizeShowingThePreview)
{
    ui->pick("PicSize", 2);
    const fs::path path = saveAs("preview.bmp");
    EXPECT_TRUE(messages.messages.empty()) << messages.all();
    const Bytes file = readFile(path);
    ASSERT_GE(file.size(), 54u);
    EXPECT_EQ(littleEndian(file, 0, 2), 0x4D42u);   // "BM"
    EXPECT_EQ(littleEndian(file, 28, 2), 24u);      // bits per pixel
    EXPECT_EQ(littleEndian(file, 30, 4), 0u);       // uncompressed
    const Image saved = decodeBitmap(path);
    ASSERT_EQ(saved.size(), (Size{240, 240}));
    EXPECT_EQ(pixelSha256(saved), pixelSha256(ui->image("picPreview")));
    // The preview is scaled to fill the square box: its corners are preview, not background.
    const Image expected = scaled(ui->picture("picPreview").toImage(), {240, 240});
    EXPECT_GT(psnr(saved, expected), 40.0);
}

TEST_P(SaveDocuments, MetafileReadsBackToThePreviewsExactPixels)
{
    ui->pick("PicSize", 0);   // the metafile does not depend on the box
    const fs::path path = saveAs("preview.wmf");
    EXPECT_TRUE(messages.messages.empty()) << messages.all();
    const Image played = playAtNaturalSize(path);
    ASSERT_FALSE(played.isNull());
    EXPECT_EQ(pixelSha256(played), fixture(GetParam()).pixelSha256);
}

TEST_P(SaveDocuments, JpegIsTheBoxAtItsSizeCloseToTheBitmap)
{
    ui->pick("PicSize", 1);
    const fs::path bmp = saveAs("preview.bmp");
    const fs::path jpg = saveAs("preview.jpg");
    EXPECT_TRUE(messages.messages.empty()) << messages.all();
    const Image jpeg = decodeJpeg(readFile(jpg));
    const Image bitmap = decodeBitmap(bmp);
    ASSERT_EQ(jpeg.size(), (Size{120, 120}));
    ASSERT_EQ(bitmap.size(), jpeg.size());
    EXPECT_GT(psnr(jpeg, bitmap), 35.0);
    // The dialog left the current folder at the output folder: no temporary bitmap stays there.
    EXPECT_FALSE(fs::exists(dir.path() / TempBitmapName));
    EXPECT_FALSE(fs::exists(fs::current_path() / TempBitmapName));
}

INSTANTIATE_TEST_SUITE_P(OldAndNew, SaveDocuments,
                         ::testing::Values("kdizon-2P-OPM/AA AOTF subassy.iam",        // standard summary set, metafile
                                           "Rou7e-typhlogyroscope/SOLID_10.ipt",       // PNG, 512 pixels
                                           "Rou7e-typhlogyroscope/Part3.ipt"));        // PNG, 180 pixels

// All fixture documents copied into one folder (their names have spaces),
// converted in one run, type by type.
class BatchDocuments : public DocumentsHarness, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        GLIMMER_REQUIRE_FIXTURES();
        for (const FixtureDocument& doc : fixtureDocuments()) {
            const fs::path source = fixturePath(doc);
            fs::copy_file(source, folder.path() / source.filename());
            names.push_back(nameOf(source));
        }
        DocumentsHarness::SetUp();
        window->setExitHandler([] {});
        window->setProgress(progress);
        ui->pick("FileType", typeIndex(GetParam()));
    }

    std::string inFolder(const std::string& name) const { return native(folder.path() / utf8Path(name)); }
    static std::string base(const std::string& name) { return name.substr(0, name.size() - 4); }

    TempDir folder;
    std::vector<std::string> names;
    ScriptedProgress progress;
};

TEST_P(BatchDocuments, EveryDocumentWithAPreviewGetsItsOwnPicture)
{
    const std::string type = GetParam();
    std::vector<std::string> paths;
    for (const std::string& n : names)
        paths.push_back(inFolder(n));

    ui->click("optMulti");
    dialog.answer(paths);
    ui->click("cmdOpen");
    ASSERT_EQ(messages.messages.size(), 2u) << messages.all();
    EXPECT_EQ(messages.messages[0].text, "3 File(s) don't contain a Preview");
    // Cooling_Plate-body.idw and Cooling_Plate-body.ipt share a base name:
    // the second keeps its extension rather than overwrite the first's picture.
    EXPECT_NE(messages.messages[1].text.find("Cooling_Plate-body.ipt" + type), std::string::npos) << messages.all();
    EXPECT_FALSE(fs::exists(folder.path() / TempBitmapName));

    // The same documents saved one by one, in single mode, into another folder.
    ui->click("optSave");
    TempDir singles;
    int written = 0;
    std::set<std::string> used;
    for (const FixtureDocument& doc : fixtureDocuments()) {
        const std::string name = nameOf(fixturePath(doc));
        SCOPED_TRACE(name);
        const std::string batchOutput = inFolder((used.contains(base(name)) ? name : base(name)) + type);
        if (doc.hasPreview)
            used.insert(base(name));
        if (!doc.hasPreview) {
            EXPECT_FALSE(fs::exists(utf8Path(batchOutput)));
            continue;
        }
        ASSERT_TRUE(fs::exists(utf8Path(batchOutput)));
        ++written;
        open(inFolder(name));
        const fs::path single = singles.path() / utf8Path(base(name) + type);
        dialog.answer(native(single));
        ui->click("cmdSave");
        // The encoders are deterministic: X's picture from the run is exactly X's own.
        EXPECT_EQ(readFile(utf8Path(batchOutput)), readFile(single));
    }
    EXPECT_EQ(written, 15);
}

INSTANTIATE_TEST_SUITE_P(EachType, BatchDocuments, ::testing::Values(".bmp", ".wmf", ".jpg"),
                         [](const auto& p) { return std::string(p.param + 1); });

// The window's batch and glimmerbox-convert over the same documents write
// the same bytes.
class ConvertWindow : public DocumentsHarness, public ::testing::WithParamInterface<const char*> {};

TEST_P(ConvertWindow, WritesTheBytesTheWindowsBatchWrites)
{
    GLIMMER_REQUIRE_FIXTURES();
    const std::string type = GetParam();
    TempDir source, out, copies;
    copyFixtures(source.path());
    const ProcessResult run = runProcess(GLIMMER_CONVERT, {"-q", "-r", "-t", type, "-o", out.file(), source.file()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto written = filesBelow(out.path());
    ASSERT_EQ(written.size(), 15u);

    // The window's batch over the same documents, folder by folder.
    ScriptedProgress progress;
    window->setExitHandler([] {});
    window->setProgress(progress);
    ui->pick("FileType", typeIndex(type));
    // The box starts at 244 pixels (3655 twips); picking "240" makes it the converter's default.
    ui->pick("PicSize", 2);
    ASSERT_EQ(ui->text("PicSize"), "240");
    ASSERT_EQ(ui->image("picPreview").size(), (Size{240, 240}));
    ui->click("optMulti");
    copyFixtures(copies.path());
    std::map<std::string, std::vector<std::string>> byFolder;
    for (const FixtureDocument& doc : fixtureDocuments())
        byFolder[fs::path(doc.path).parent_path().generic_string()].push_back(native(copies.path() / doc.path));
    for (const auto& [folder, documents] : byFolder) {
        dialog.answer(documents);
        ui->click("cmdOpen");
    }
    for (const auto& [name, bytes] : written)
        EXPECT_TRUE(bytes == readFile(copies.path() / utf8Path(name))) << name;
}

INSTANTIATE_TEST_SUITE_P(EachType, ConvertWindow, ::testing::Values("bmp", "jpg", "wmf"),
                         [](const auto& p) { return std::string(p.param); });
