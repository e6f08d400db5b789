#include "formats/CompoundFile.h"
#include "fuzz/support/CompoundFileWriter.h"
#include "fuzz/support/CompoundFileEditor.h"
#include "fuzz/support/PaddedDocument.h"
#include "system/FileSource.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

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

std::vector<std::byte> bytesOf(const std::string& text)
{
    const auto* p = reinterpret_cast<const std::byte*>(text.data());
    return {p, p + text.size()};
}

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A compound file with `sectorSize`-byte sectors: a mini stream, a big
// stream of `bigBytes` and a stream inside a storage.
std::vector<std::uint8_t> compoundFileBytes(std::size_t sectorSize, std::size_t bigBytes = 10000)
{
    return seeds::compoundFile({{"Small", bytesOf("hello")},
                                {"Big", bytesOf(std::string(bigBytes, 'b'))},
                                {"Store/Inner", bytesOf("abc")}},
                               sectorSize);
}

void writeCompoundFile(const std::filesystem::path& path, std::size_t sectorSize, std::size_t bigBytes = 10000)
{
    writeFile(path, compoundFileBytes(sectorSize, bigBytes));
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
        // Large enough not to be read whole at once.
        writeCompoundFile(dir.path() / "file.cfb", sectorSize, 300000);
        const CompoundFile file(openFileSource((dir.path() / "file.cfb").string()));
        // The header, the one table sector the directory's chain needs and
        // the directory; then what is asked for and the mini table's sector.
        const std::uint64_t opened = 512 + sectorSize + (sectorSize == 512 ? 1024 : 4096);
        EXPECT_EQ(file.bytesRead(), opened);
        EXPECT_EQ(text(file.read("Small")), "hello");
        EXPECT_EQ(file.bytesRead(), opened + sectorSize + 5);
        // A chain followed in part, then on from where it stopped.
        EXPECT_EQ(text(file.read("Big", 3)), "bbb");
        EXPECT_EQ(text(file.read("Big")), std::string(300000, 'b'));
        EXPECT_EQ(text(file.read("Store/Inner")), "abc");
        EXPECT_EQ(file.names("Store"), std::vector<std::string>{"Inner"});
        // In the directory's order: shorter names first.
        EXPECT_EQ(file.names(), (std::vector<std::string>{"Big", "Small", "Store"}));
        EXPECT_TRUE(file.contains("Store/Inner"));
        EXPECT_FALSE(file.contains("Small/Inner"));
        EXPECT_TRUE(file.isStream("Store/Inner"));
        EXPECT_FALSE(file.isStream("Store"));
        EXPECT_FALSE(file.isStream("Nothing"));
        EXPECT_THROW(file.names("Small"), FormatError);

        // From memory, the same reads through the same source interface.
        const auto bytes = readFile(dir.path() / "file.cfb");
        const CompoundFile inMemory(std::make_unique<MemorySource>(bytes));
        EXPECT_EQ(inMemory.fileSize(), bytes.size());
        EXPECT_EQ(text(inMemory.read("Store/Inner")), "abc");
        EXPECT_EQ(inMemory.bytesRead(), opened + sectorSize + 3);
    }
}

TEST(CompoundFile, OpensEveryFixtureAndKnowsItsType)
{
    GLIMMER_REQUIRE_FIXTURES();
    for (const FixtureDocument& doc : fixtureDocuments()) {
        SCOPED_TRACE(doc.path);
        const CompoundFile file(openFileSource(fixturePath(doc).string()));
        EXPECT_EQ(guidToString(file.rootClsid()), documentType(fixturePath(doc)));
        const auto names = file.names();
        EXPECT_NE(std::find(names.begin(), names.end(), "RSeStorage"), names.end());
        EXPECT_FALSE(file.names("RSeStorage").empty());
    }
}

TEST(CompoundFile, ReadsStreamsWholeOrInPartAndOnlyWhatItNeeds)
{
    GLIMMER_REQUIRE_FIXTURES();
    const CompoundFile file(openFileSource(fixtureFile(BigDocument)));
    const auto whole = file.read(CadSet);
    ASSERT_EQ(whole.size(), 97592u);
    EXPECT_EQ(whole[0], std::byte{0xFE});
    const auto head = file.read(CadSet, 48);
    ASSERT_EQ(head.size(), 48u);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), whole.begin()));
    // A file this small is read whole, once, when it is opened.
    EXPECT_EQ(file.bytesRead(), file.fileSize());
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
#ifdef _WIN32
    GTEST_SKIP() << "counts the descriptors in /proc/self/fd";
#else
    GLIMMER_REQUIRE_FIXTURES();
    const int before = openDescriptors();
    {
        CompoundFile file(openFileSource(fixtureFile(MiniDocument)));
        file.read(CadSet);
        EXPECT_GT(openDescriptors(), before);
        file.close();
        EXPECT_EQ(openDescriptors(), before);
        EXPECT_THROW(file.read(CadSet), FormatError);
    }
    {
        const CompoundFile file(openFileSource(fixtureFile(MiniDocument)));
        file.read(CadSet);
    }
    // A descriptor handed over is closed, even when it is refused.
    EXPECT_THROW(fileSourceFromDescriptor(::open(fixturesDir()->c_str(), O_RDONLY | O_CLOEXEC)), FormatError);
    EXPECT_EQ(openDescriptors(), before);
#endif
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
        const CompoundFile file(openFileSource((dir.path() / "damaged.ipt").string()));
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
        // The root has no siblings; its sibling fields are checked all the same.
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
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((dir.path() / "fifo.ipt").c_str(), 0600), 0);
#endif
    struct Row {
        std::filesystem::path path;
        FormatError::Code code;
        const char* text;
    };
    const Row rows[] = {
        {dir.path() / "empty.ipt", FormatError::Code::Truncated, "empty"},
        {dir.path(), FormatError::Code::Io, "folder"},
#ifdef _WIN32
        // A device rather than a FIFO; Windows' own texts.
        {"NUL", FormatError::Code::Io, "is not a regular file"},
        {dir.path() / "missing.ipt", FormatError::Code::Io, "cannot be read: "},
        {dir.path() / "file" / "under.ipt", FormatError::Code::Io, "cannot be read: "},
#else
        {dir.path() / "fifo.ipt", FormatError::Code::Io, "is not a regular file"},
        {dir.path() / "missing.ipt", FormatError::Code::Io, "No such file"},
        // Root reads anything; a path through a regular file cannot be read by anyone.
        {dir.path() / "file" / "under.ipt", FormatError::Code::Io, "Not a directory"},
#endif
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path.string());
        try {
            CompoundFile file(openFileSource(r.path.string()));
            ADD_FAILURE() << "opened";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), r.code);
            EXPECT_NE(std::string(e.what()).find(r.text), std::string::npos) << e.what();
        }
    }
}

namespace {

// The small file of writeCompoundFile(), with `damage` done to it.
void damaged(const std::filesystem::path& path, const std::function<void(CompoundFileEditor&)>& damage)
{
    writeCompoundFile(path, 512);
    CompoundFileEditor editor(path);
    damage(editor);
    editor.write(path);
}

// A header of `fatSectors` allocation table sectors, the first 109 listed in
// it, in a sparse file of `size` bytes.
void sparseHeader(const std::filesystem::path& path, std::uint32_t fatSectors, std::uint64_t size,
                  const std::function<void(CompoundFileEditor&)>& list)
{
    damaged(path, [&](CompoundFileEditor& e) {
        e.bytes.resize(1024, 0);
        e.setU32(44, fatSectors);
        list(e);
    });
    std::filesystem::resize_file(path, size);
}

// The small file of writeCompoundFile() after 48 MiB of padding, whose
// table needs 6 extension sectors; `edit` sets entries of them, given their
// offsets.
void padded(const std::filesystem::path& path,
            const std::function<void(const std::function<void(std::uint64_t, std::uint32_t)>&,
                                     const std::vector<std::uint64_t>&)>& edit)
{
    writePaddedDocument(path, compoundFileBytes(512), std::uint64_t{48} << 20);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    const auto get = [&](std::uint64_t offset) {
        unsigned char b[4] = {};
        file.seekg(static_cast<std::streamoff>(offset));
        file.read(reinterpret_cast<char*>(b), 4);
        return b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t{b[3]} << 24;
    };
    const auto set = [&](std::uint64_t offset, std::uint32_t v) {
        const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                    static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        file.seekp(static_cast<std::streamoff>(offset));
        file.write(reinterpret_cast<const char*>(b), 4);
    };
    std::vector<std::uint64_t> extension;
    for (std::uint32_t d = get(68); extension.size() < get(72); d = get(extension.back() + 508))
        extension.push_back((std::uint64_t{d} + 1) * 512);
    ASSERT_EQ(extension.size(), 6u);
    edit(set, extension);
}

// Entries 1..n all in the root, as a chain of right siblings.
void degenerateTree(const std::filesystem::path& path, std::uint32_t n)
{
    std::vector<seeds::Stream> streams;
    for (std::uint32_t i = 0; i < n; ++i)
        streams.push_back({"s" + std::to_string(i), bytesOf("x")});
    writeFile(path, seeds::compoundFile(streams));
    CompoundFileEditor e(path);
    e.setU32(e.entryOffset(0) + 76, 1);
    for (std::uint32_t i = 1; i <= n; ++i) {
        e.setU32(e.entryOffset(i) + 68, 0xFFFFFFFF);
        e.setU32(e.entryOffset(i) + 72, i < n ? i + 1 : 0xFFFFFFFF);
    }
    e.write(path);
}

} // namespace

// Structures no writer makes, each refused with exactly its error before
// anything is allocated from what it claims: memory follows the file's real
// size, and every walk is linear.
TEST(CompoundFile, HostileStructuresGiveTheirExactError)
{
    struct Row {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        FormatError::Code code;
        const char* text;
    };
    const Row rows[] = {
        {"one table sector listed 262,144 times, 260 MiB sparse",
         [](const auto& p) {
             sparseHeader(p, 262144, std::uint64_t{260} << 20, [](CompoundFileEditor& e) {
                 for (std::size_t i = 0; i < 109; ++i)
                     e.setU32(76 + 4 * i, 0);
                 e.setU32(68, 1);
                 e.setU32(72, 2064);
             });
         },
         FormatError::Code::Truncated, "truncated: the allocation table is larger than the file"},
        {"a table sector listed twice in the extension sector",
         [](const auto& p) {
             sparseHeader(p, 110, std::uint64_t{110 * 128 + 1} * 512, [](CompoundFileEditor& e) {
                 // Sector 0 is the extension sector; the header lists 1 to 109.
                 for (std::uint32_t i = 0; i < 109; ++i)
                     e.setU32(76 + 4 * i, i + 1);
                 e.setU32(68, 0);
                 e.setU32(72, 1);
                 // The directory's chain needs table sector 109, the one the extension sector lists.
                 e.setU32(48, 109 * 128);
                 for (std::uint32_t i = 0; i < 128; ++i)
                     e.setU32(512 + 4 * i, i == 0 ? 5 : i == 127 ? 0xFFFFFFFE : 0xFFFFFFFF);
             });
         },
         FormatError::Code::BadValue, "damaged compound file: the allocation table's sector list names sector 5 twice"},
        // Met as the padding's chain is followed, where it needs the table's sector listed there.
        {"extension sectors that loop",
         [](const auto& p) { padded(p, [](const auto& set, const auto& at) { set(at[0] + 508, static_cast<std::uint32_t>(at[0] / 512 - 1)); }); },
         FormatError::Code::Loop, "damaged compound file: the allocation table's sector list loops"},
        {"extension sectors that end early",
         [](const auto& p) { padded(p, [](const auto& set, const auto& at) { set(at[2] + 508, 0xFFFFFFFE); }); },
         FormatError::Code::Truncated, "truncated: the allocation table's sector list ends early"},
        {"a table sector missing in the last extension sector",
         [](const auto& p) { padded(p, [](const auto& set, const auto& at) { set(at[5] + 4, 0xFFFFFFFF); }); },
         FormatError::Code::BadValue, "damaged compound file: allocation table sector missing"},
        {"a table sector listed twice in the header",
         [](const auto& p) {
             damaged(p, [](CompoundFileEditor& e) {
                 e.bytes.resize(200 * 512, 0);
                 e.setU32(44, 2);
                 e.setU32(80, e.u32(76));
             });
         },
         FormatError::Code::BadValue, "damaged compound file: the allocation table's sector list names sector 24 twice"},
        {"more extension sectors than the table needs",
         [](const auto& p) { damaged(p, [](CompoundFileEditor& e) { e.setU32(72, 1); }); }, FormatError::Code::BadValue,
         "bad compound file header: more extension sectors than the allocation table needs"},
        {"more sectors than a version 3 file may hold",
         [](const auto& p) {
             writeCompoundFile(p, 512);
             std::filesystem::resize_file(p, (CompoundFile::MaxSectors + 2) * 512);
         },
         FormatError::Code::TooLarge, "the compound file is too large"},
        {"mini stream beyond the end of the file",
         [](const auto& p) {
             damaged(p, [](CompoundFileEditor& e) {
                 e.setU32(e.entryOffset(0) + 116, 100);
                 e.setU32(e.fatEntryOffset(100), 0xFFFFFFFE);
             });
         },
         FormatError::Code::Truncated, "truncated: the mini stream runs past the end of the file"},
        {"mini sector beyond the mini stream",
         [](const auto& p) {
             damaged(p, [](CompoundFileEditor& e) {
                 e.setU32(e.entryOffset(e.entry("Small")) + 116, 100);
                 e.setU32(e.miniFatEntryOffset(100), 0xFFFFFFFE);
             });
         },
         FormatError::Code::Truncated, "truncated: stream \"Small\" lies beyond the mini stream"},
        {"control characters in a stream name",
         [](const auto& p) {
             writeFile(p, seeds::compoundFile({{"\x1b[2J\r\x7f\x85", bytesOf("x")}}));
             CompoundFileEditor e(p);
             const auto s = e.startSector(e.entry("\x1b[2J\r\x7f\x85"));
             e.setU32(e.miniFatEntryOffset(s), s);
             e.write(p);
         },
         FormatError::Code::Loop, "damaged compound file: the sector chain of stream \"\\x1B[2J\\x0D\\x7F\\x85\" loops"},
        {"a directory one entry over the limit",
         [](const auto& p) {
             std::vector<seeds::Stream> streams;
             for (std::size_t i = 0; i < CompoundFile::MaxEntries; ++i)
                 streams.push_back({"s" + std::to_string(i), bytesOf("x")});
             writeFile(p, seeds::compoundFile(streams));
         },
         FormatError::Code::TooLarge, "the compound file's directory is too large"},
        {"a tree one link too deep",
         [](const auto& p) { degenerateTree(p, CompoundFile::MaxTreeDepth + 1); }, FormatError::Code::TooLarge,
         "damaged compound file: the directory tree is too deep"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TempDir dir;
        const auto path = dir.path() / "hostile.ipt";
        r.make(path);
        try {
            const CompoundFile file(openFileSource(path.string()));
            for (const std::string& name : file.names())
                if (file.isStream(name))
                    file.read(name);
            ADD_FAILURE() << "opened";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), r.code);
            EXPECT_STREQ(e.what(), r.text);
        }
    }
}

// An empty stream's first sector means nothing, even one another stream holds.
TEST(CompoundFile, AnEmptyStreamHasNoChain)
{
    TempDir dir;
    const auto path = dir.path() / "empty.cfb";
    writeFile(path, seeds::compoundFile({{"Empty", {}}, {"Small", bytesOf("hello")}}));
    CompoundFileEditor e(path);
    e.setU32(e.entryOffset(e.entry("Empty")) + 116, e.startSector(e.entry("Small")));
    e.write(path);
    const CompoundFile file(openFileSource(path.string()));
    EXPECT_TRUE(file.read("Empty").empty());
    EXPECT_EQ(text(file.read("Small")), "hello");
}

// At the limits a directory still opens, and every name in it is found.
TEST(CompoundFile, DirectoriesAtTheLimitsOpen)
{
    TempDir dir;
    const auto wide = dir.path() / "wide.cfb";
    std::vector<seeds::Stream> streams;
    for (std::size_t i = 0; i + 1 < CompoundFile::MaxEntries; ++i)
        streams.push_back({"s" + std::to_string(i), bytesOf(std::to_string(i))});
    writeFile(wide, seeds::compoundFile(streams, 4096));
    const CompoundFile file(openFileSource(wide.string()));
    const auto names = file.names();
    ASSERT_EQ(names.size(), CompoundFile::MaxEntries - 1);
    for (const std::string& name : names)
        ASSERT_EQ("s" + text(file.read(name)), name);

    const auto deep = dir.path() / "deep.cfb";
    degenerateTree(deep, CompoundFile::MaxTreeDepth);
    EXPECT_EQ(CompoundFile(openFileSource(deep.string())).names().size(), CompoundFile::MaxTreeDepth);
}
