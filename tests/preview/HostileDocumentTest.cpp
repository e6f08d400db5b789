#include "formats/CompoundFile.h"
#include "formats/Metafile.h"
#include "formats/MetafileReader.h"
#include "fuzz/support/SeedDocuments.h"
#include "preview/DocumentFile.h"
#include "preview/FileComponents.h"
#include "system/FileSource.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

using namespace glimmer;
using namespace glimmer::test;

namespace {

// Opening the document and asking for its thumbnail fails with exactly this error.
using Subject = FormatError::Subject;

void expectThumbnailError(const std::string& path, Subject subject, const char* text)
{
    FileComponents components;
    const auto server = components.createDocumentServer();
    try {
        server->OpenDocument(path)->Thumbnail();
        ADD_FAILURE() << "no error";
    } catch (const FormatError& e) {
        EXPECT_EQ(e.subject(), subject);
        EXPECT_EQ(e.text(), text);
    }
    server->CloseAll();
}

std::string writeDocument(const TempDir& dir, const std::vector<std::uint8_t>& bytes)
{
    const std::string path = dir.file("hostile.ipt");
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

} // namespace

// The documents the fuzz seeds are made of read as documents: a version and
// a preview of the size they were drawn at, by both ways the window reads them.
TEST(SeedDocuments, GiveTheirVersionAndPreview)
{
    struct Seed {
        const char* name;
        std::vector<std::uint8_t> bytes;
        Size size;
    };
    const Seed seeds[] = {
        {"metafile", seeds::document(seeds::Preview::Metafile), {8, 6}},
        {"dib", seeds::document(seeds::Preview::Dib), {7, 5}},
        {"png", seeds::document(seeds::Preview::Png), {9, 4}},
        {"large metafile", seeds::document(seeds::Preview::LargeMetafile), {48, 40}},
        {"standard set", seeds::document(seeds::Preview::Dib, true), {7, 5}},
        {"4096-byte sectors", seeds::document(seeds::Preview::Png, false, 4096), {9, 4}},
    };
    for (const Seed& seed : seeds) {
        SCOPED_TRACE(seed.name);
        TempDir dir;
        const std::string path = writeDocument(dir, seed.bytes);
        FileComponents components;
        const auto server = components.createDocumentServer();
        const auto document = server->OpenDocument(path);
        EXPECT_EQ(document->VersionNumber(), 8003);
        EXPECT_EQ(document->Thumbnail().toImage().size(), seed.size);
        server->CloseAll();
        const auto sets = components.createPropertyReader()->OpenPropertySets(path);
        EXPECT_EQ(sets->PreviewPicture().toImage().size(), seed.size);
    }
}

// Each hostile document is refused with its own named error by the window's
// components: the file does not open, or the preview is refused.
TEST(HostileDocument, IsRefusedWithANamedError)
{
    struct Case {
        const char* name;
        std::function<std::vector<std::uint8_t>()> make;
        Subject subject;
        const char* text;
    };
    const Case cases[] = {
        {"sector chain cycle", seeds::chainCycleDocument, Subject::Document,
         "hostile.ipt: damaged compound file: the sector chain of stream \"\\x05Zrxrt4arFafyu34gYa3l3ohgHg\" loops"},
        {"4 GiB stream", seeds::hugeStreamDocument, Subject::Document,
         "hostile.ipt: truncated: stream \"\\x05Zrxrt4arFafyu34gYa3l3ohgHg\" is larger than the file"},
        {"billion-record metafile", seeds::billionRecordDocument, Subject::Preview,
         "hostile.ipt: metafile claims 6000000000 bytes, over the limit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = writeDocument(dir, c.make());
        expectThumbnailError(path, c.subject, c.text);
    }
}

// The limits sit well above a real 512-pixel preview and agree with each
// other: whatever one reader lets through, the next one can take.
TEST(ResourceLimits, LeaveRoomForRealPreviewsAndAgree)
{
    Image preview(512, 512, PixelFormat::Xrgb32);
    preview.fill(rgb(128, 128, 128));
    const Bytes metafile = wmf::fromImage(preview);
    EXPECT_LT(std::size_t(metafile.size()) * 16, wmf::Limits::maxBytes);
    EXPECT_LE(wmf::Limits::maxBytes, CompoundFile::MaxStreamSize);
    EXPECT_LE(std::int64_t{512} * 512 * 16, MaxPreviewPixels);
    EXPECT_LE(MaxPreviewPixels, wmf::Limits::maxDibPixels);
    EXPECT_GE(wmf::Limits::maxRecords, std::size_t{1000});
    EXPECT_GE(CompoundFile::MaxEntries, std::size_t{1000});
}

// The inputs the document fuzz target once failed on, each with the error it
// must give now.
TEST(FuzzFinds, DocumentsGiveTheirExactError)
{
    struct Find {
        const char* file;
        Subject subject;
        const char* text;
    };
    const Find finds[] = {
        // The root's sibling field names its child: the reader must not walk
        // that subtree twice (the library we once used read it twice and leaked it).
        {"root-sibling-is-its-child.iam", Subject::Document,
         "root-sibling-is-its-child.iam: damaged compound file: a directory entry refers beyond the directory"},
        // The mini stream's sector lies past the end of the file: a document
        // that cannot be read, not one without a preview.
        {"mini-stream-beyond-the-file.ipt", Subject::Document,
         "mini-stream-beyond-the-file.ipt: truncated: the mini stream runs past the end of the file"},
    };
    for (const Find& f : finds) {
        SCOPED_TRACE(f.file);
        expectThumbnailError(std::string(GLIMMER_SOURCE_DIR "/fuzz/crashers/document/") + f.file, f.subject, f.text);
    }
    // A stream named ESC [2J CR, in place of the version stream: never
    // written to a terminal raw. The preview needs nothing of it; read, it
    // names its looping chain.
    const CompoundFile file(openFileSource(GLIMMER_SOURCE_DIR "/fuzz/crashers/document/control-characters-in-a-name.ipt"));
    try {
        file.read("RSeStorage/V1/\x1b[2J\r");
        ADD_FAILURE() << "no error";
    } catch (const FormatError& e) {
        EXPECT_STREQ(e.what(), "damaged compound file: the sector chain of stream \"\\x1B[2J\\x0D\" loops");
    }
}
