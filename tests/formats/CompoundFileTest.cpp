#include "tests/support/Pixels.h"
#include "formats/CompoundFile.h"
#include "tests/support/CompoundFileEditor.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

#include <dirent.h>

#include <fstream>
#include <functional>

using namespace glimmer;
using namespace glimmer::test;

namespace {

const char* const CadSet = "\x05Zrxrt4arFafyu34gYa3l3ohgHg";
// A preview in big sectors, and one in the mini stream.
const char* const BigDocument = "kdizon-2P-OPM/9061 micro translation stage 25 mm platform.iam";
const char* const MiniDocument = "jessedusty-2014-15-Robotux-CAD-Files/tetrix spacer.ipt";

std::string documentType(const std::filesystem::path& p)
{
    const auto ext = p.extension().string();
    if (ext == ".ipt")
        return "4D29B490-49B2-11D0-93C3-7E0706000000";
    if (ext == ".iam")
        return "E60F81E1-49B3-11D0-93C3-7E0706000000";
    if (ext == ".idw")
        return "BBF9FDF1-52DC-11D0-8C04-0800090BE8EC";
    return "?";
}

// A small compound file written by libgsf with `sectorSize`-byte sectors:
// a mini stream, a big stream and a stream inside a storage.
void writeCompoundFile(const std::filesystem::path& path, std::size_t sectorSize)
{
    gsf_init();
    GsfOutput* sink = gsf_output_stdio_new(path.c_str(), nullptr);
    ASSERT_NE(sink, nullptr);
    GsfOutfile* root = gsf_outfile_msole_new_full(sink, sectorSize, 64);
    const auto put = [](GsfOutfile* dir, const char* name, const std::string& data) {
        GsfOutput* s = gsf_outfile_new_child(dir, name, FALSE);
        gsf_output_write(s, data.size(), reinterpret_cast<const guint8*>(data.data()));
        gsf_output_close(s);
        g_object_unref(s);
    };
    put(root, "Small", "hello");
    put(root, "Big", std::string(10000, 'b'));
    auto* storage = GSF_OUTFILE(gsf_outfile_new_child(root, "Store", TRUE));
    put(storage, "Inner", "abc");
    gsf_output_close(GSF_OUTPUT(storage));
    g_object_unref(storage);
    gsf_output_close(GSF_OUTPUT(root));
    g_object_unref(root);
    g_object_unref(sink);
}

std::string text(const std::vector<std::byte>& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

} // namespace

TEST(CompoundFile, ReadsBothSectorSizes)
{
    for (const std::size_t sectorSize : {512u, 4096u}) {
        SCOPED_TRACE(sectorSize);
        TempDir dir;
        writeCompoundFile(dir.path() / "file.cfb", sectorSize);
        const CompoundFile file((dir.path() / "file.cfb").string());
        EXPECT_EQ(text(file.read("Small")), "hello");
        EXPECT_EQ(text(file.read("Big")), std::string(10000, 'b'));
        EXPECT_EQ(text(file.read("Store/Inner")), "abc");
        EXPECT_EQ(text(file.read("Big", 3)), "bbb");
        EXPECT_EQ(file.names("Store"), std::vector<std::string>{"Inner"});
    }
}

TEST(CompoundFile, OpensEveryFixtureAndKnowsItsType)
{
    GLIMMER_REQUIRE_FIXTURES();
    for (const FixtureDocument& doc : fixtureDocuments()) {
        SCOPED_TRACE(doc.path);
        const CompoundFile file(fixturePath(doc).string());
        EXPECT_EQ(guidToString(file.rootClsid()), documentType(fixturePath(doc)));
        const auto names = file.names();
        EXPECT_NE(std::find(names.begin(), names.end(), "RSeStorage"), names.end());
        EXPECT_FALSE(file.names("RSeStorage").empty());
    }
}

TEST(CompoundFile, ReadsStreamsWholeOrInPartAndOnlyWhatItNeeds)
{
    GLIMMER_REQUIRE_FIXTURES();
    const CompoundFile file(fixtureQPath(BigDocument).toStdString());
    const auto whole = file.read(CadSet);
    ASSERT_EQ(whole.size(), 97592u);
    EXPECT_EQ(whole[0], std::byte{0xFE});
    const auto head = file.read(CadSet, 48);
    ASSERT_EQ(head.size(), 48u);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), whole.begin()));
    // The directory, the tables and one stream: far less than the file.
    EXPECT_LT(file.bytesRead(), file.fileSize());
    EXPECT_TRUE(file.contains("RSeStorage"));
    EXPECT_FALSE(file.contains("NoSuchStream"));
    try {
        file.read("RSeStorage");
        FAIL() << "a storage read as a stream";
    } catch (const FormatError& e) {
        EXPECT_EQ(e.code(), FormatError::Code::NotFound);
    }
}

TEST(CompoundFile, CloseAndDestructionReleaseTheFile)
{
    GLIMMER_REQUIRE_FIXTURES();
    const int before = openDescriptors();
    {
        CompoundFile file(fixtureQPath(MiniDocument).toStdString());
        file.read(CadSet);
        EXPECT_GT(openDescriptors(), before);
        file.close();
        EXPECT_EQ(openDescriptors(), before);
        EXPECT_THROW(file.read(CadSet), FormatError);
    }
    {
        const CompoundFile file(fixtureQPath(MiniDocument).toStdString());
        file.read(CadSet);
    }
    EXPECT_EQ(openDescriptors(), before);
}

// A fixture damaged in one place, and the error it must give.
struct FileDamage {
    const char* name;
    const char* document;
    std::function<void(CompoundFileEditor&)> apply;
    FormatError::Code code;
    const char* text;
};

class CompoundFileDamage : public ::testing::TestWithParam<FileDamage> {};

TEST_P(CompoundFileDamage, GivesANamedErrorNeverAHangOrCrash)
{
    GLIMMER_REQUIRE_FIXTURES();
    const FileDamage& d = GetParam();
    CompoundFileEditor editor(*fixturesDir() / d.document);
    d.apply(editor);
    TempDir dir;
    editor.write(dir.path() / "damaged.ipt");
    try {
        const CompoundFile file((dir.path() / "damaged.ipt").string());
        file.read(CadSet);
        FAIL() << "read without complaint";
    } catch (const FormatError& e) {
        EXPECT_EQ(e.code(), d.code) << e.what();
        EXPECT_NE(std::string(e.what()).find(d.text), std::string::npos) << e.what();
    }
}

namespace {

std::uint32_t cadEntry(const CompoundFileEditor& e)
{
    return e.entry(CadSet);
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Table, CompoundFileDamage,
    ::testing::Values(
        FileDamage{"BadSignature", BigDocument, [](auto& e) { e.bytes[0] = 0x50; }, FormatError::Code::BadSignature,
               "not a compound file"},
        FileDamage{"GitLfsPointer", BigDocument,
               [](auto& e) {
                   const std::string text = "version https://git-lfs.example/v1\noid sha256:0\nsize 155136\n";
                   e.bytes.assign(text.begin(), text.end());
               },
               FormatError::Code::BadSignature, "not a compound file"},
        FileDamage{"TruncatedInHeader", BigDocument, [](auto& e) { e.bytes.resize(300); }, FormatError::Code::Truncated,
               "ends inside its header"},
        FileDamage{"TruncatedAfterHeader", BigDocument, [](auto& e) { e.bytes.resize(512); }, FormatError::Code::Truncated,
               "allocation table is larger than the file"},
        FileDamage{"TruncatedInTheMiddle", BigDocument, [](auto& e) { e.bytes.resize(e.bytes.size() / 2); },
               FormatError::Code::Truncated, "truncated"},
        FileDamage{"TruncatedInsideThePreview", BigDocument,
               [](auto& e) { e.bytes.resize(e.streamOffset(cadEntry(e), 50000)); }, FormatError::Code::Truncated,
               "truncated"},
        FileDamage{"UnsupportedSectorSize", BigDocument, [](auto& e) { e.bytes[30] = 10; }, FormatError::Code::Unsupported,
               "sector size"},
        FileDamage{"StreamChainLoopsOnItself", BigDocument,
               [](auto& e) {
                   const auto s = e.startSector(cadEntry(e));
                   e.setU32(e.fatEntryOffset(s), s);
               },
               FormatError::Code::Loop, "loops"},
        FileDamage{"StreamChainLoopsBack", BigDocument,
               [](auto& e) {
                   const auto s = e.startSector(cadEntry(e));
                   auto last = s;
                   for (int i = 0; i < 20; ++i)
                       last = e.u32(e.fatEntryOffset(last));
                   e.setU32(e.fatEntryOffset(last), s);
               },
               FormatError::Code::Loop, "loops"},
        FileDamage{"DirectoryChainLoops", BigDocument,
               [](auto& e) {
                   const auto s = e.u32(48);
                   e.setU32(e.fatEntryOffset(s), s);
               },
               FormatError::Code::Loop, "the directory loops"},
        FileDamage{"MiniStreamChainLoops", MiniDocument,
               [](auto& e) {
                   const auto s = e.startSector(cadEntry(e));
                   e.setU32(e.miniFatEntryOffset(s), s);
               },
               FormatError::Code::Loop, "loops"},
        FileDamage{"StreamRunsIntoTheDirectory", BigDocument,
               [](auto& e) { e.setU32(e.entryOffset(cadEntry(e)) + 116, e.u32(48)); }, FormatError::Code::BadValue,
               "runs into another one"},
        FileDamage{"EntryIsItsOwnSibling", BigDocument, [](auto& e) { e.setU32(e.entryOffset(cadEntry(e)) + 68, cadEntry(e)); },
               FormatError::Code::Loop, "refers back"},
        // libgsf follows the root's sibling fields and leaked what it read twice.
        FileDamage{"RootsSiblingIsItsChild", BigDocument, [](auto& e) { e.setU32(e.entryOffset(0) + 68, e.u32(e.entryOffset(0) + 76)); },
               FormatError::Code::Loop, "refers back"},
        FileDamage{"RootIsItsOwnChild", BigDocument, [](auto& e) { e.setU32(e.entryOffset(0) + 76, 0); },
               FormatError::Code::Loop, "refers back"},
        FileDamage{"EntryBeyondTheDirectory", BigDocument,
               [](auto& e) { e.setU32(e.entryOffset(cadEntry(e)) + 72, 0x00100000); }, FormatError::Code::BadValue,
               "refers beyond the directory"},
        FileDamage{"StreamSizeFarBeyondTheFile", BigDocument,
               [](auto& e) { e.setU32(e.entryOffset(cadEntry(e)) + 120, 0x7FFFFFF0); }, FormatError::Code::Truncated,
               "is larger than the file"},
        FileDamage{"StreamLongerThanItsChain", BigDocument,
               [](auto& e) { e.setU32(e.entryOffset(cadEntry(e)) + 120, e.streamSize(cadEntry(e)) + 40000); },
               FormatError::Code::Truncated, "shorter than its size"},
        FileDamage{"StreamStartsBeyondTheTable", BigDocument,
               [](auto& e) { e.setU32(e.entryOffset(cadEntry(e)) + 116, 0x00FFFFFF); }, FormatError::Code::Truncated,
               "runs beyond the allocation table"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CompoundFile, ThingsThatAreNotDocumentFilesAreNamed)
{
    TempDir dir;
    std::ofstream(dir.path() / "empty.ipt").close();
    std::ofstream(dir.path() / "file").put('x');
    struct Row {
        std::filesystem::path path;
        FormatError::Code code;
        const char* text;
    };
    const Row rows[] = {
        {dir.path() / "empty.ipt", FormatError::Code::Truncated, "empty"},
        {dir.path(), FormatError::Code::Io, "folder"},
        {dir.path() / "missing.ipt", FormatError::Code::Io, "No such file"},
        // Root reads anything; a path through a regular file cannot be read by anyone.
        {dir.path() / "file" / "under.ipt", FormatError::Code::Io, "Not a directory"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path.string());
        try {
            CompoundFile file(r.path.string());
            ADD_FAILURE() << "opened";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), r.code);
            EXPECT_NE(std::string(e.what()).find(r.text), std::string::npos) << e.what();
        }
    }
}
