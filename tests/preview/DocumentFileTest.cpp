#include "formats/BitmapFile.h"
#include "formats/Metafile.h"
#include "formats/Png.h"
#include "fuzz/support/SeedDocuments.h"
#include "preview/DocumentFile.h"
#include "preview/Fetch.h"
#include "preview/FileComponents.h"
#include "fuzz/support/CompoundFileEditor.h"
#include "fuzz/support/PaddedDocument.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Pixels.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include <functional>

using namespace glimmer;
using namespace glimmer::test;

namespace {

const char* const CadSet = "\x05Zrxrt4arFafyu34gYa3l3ohgHg";
const char* const WmfDocument = "kdizon-2P-OPM/9061 micro translation stage 25 mm platform.iam";
const char* const PngDocument = "jessedusty-2014-15-Robotux-CAD-Files/switch Holder.ipt";
const char* const OldDocument = "kdizon-2P-OPM/AA AOTF subassy.iam";

using Subject = FormatError::Subject;

// Property 17 of a fixture as stored: format tag, clipboard format, payload.
std::vector<std::byte> storedPreview(const char* document, const KnownPropertySet& set)
{
    const DocumentFile file(fixtureFile(document));
    return *previewIn(*file.propertySetStream(set), set);
}

// Clipboard data of a Windows clipboard format around `payload`.
std::vector<std::byte> clipboard(std::uint32_t format, std::span<const std::byte> payload, bool metafilePict = true)
{
    const std::size_t head = metafilePict ? 16 : 8;
    std::vector<std::byte> b(head + payload.size(), std::byte{0});
    for (std::size_t i = 0; i < 4; ++i) {
        b[i] = std::byte{0xFF};
        b[4 + i] = std::byte((format >> (8 * i)) & 0xFF);
    }
    std::copy(payload.begin(), payload.end(), b.begin() + static_cast<std::ptrdiff_t>(head));
    return b;
}

std::uint32_t crc32(const std::vector<std::byte>& data, std::size_t from)
{
    std::uint32_t c = 0xFFFFFFFF;
    for (std::size_t i = from; i < data.size(); ++i) {
        c ^= std::to_integer<std::uint32_t>(data[i]);
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

// The start of a PNG file, its pixels missing, that claims `width` × `height` pixels.
std::vector<std::byte> pngHeader(std::uint32_t width, std::uint32_t height)
{
    std::vector<std::byte> b;
    const auto be32 = [&](std::uint32_t v) {
        for (int i = 3; i >= 0; --i)
            b.push_back(std::byte((v >> (8 * i)) & 0xFF));
    };
    for (unsigned v : {0x89u, 0x50u, 0x4Eu, 0x47u, 0x0Du, 0x0Au, 0x1Au, 0x0Au})
        b.push_back(std::byte(v));
    be32(13);
    const std::size_t chunk = b.size();
    for (char c : {'I', 'H', 'D', 'R'})
        b.push_back(std::byte(c));
    be32(width);
    be32(height);
    for (unsigned v : {8u, 2u, 0u, 0u, 0u})
        b.push_back(std::byte(v));
    be32(crc32(b, chunk));
    // An empty first data chunk: the header is complete, the pixels missing.
    be32(0);
    const std::size_t data = b.size();
    for (char c : {'I', 'D', 'A', 'T'})
        b.push_back(std::byte(c));
    be32(crc32(b, data));
    return b;
}

std::vector<std::byte> plainText()
{
    const std::string_view text = "plain text";
    return {reinterpret_cast<const std::byte*>(text.data()), reinterpret_cast<const std::byte*>(text.data()) + text.size()};
}

// What this process writes to stderr while it lives.
class StderrCapture {
public:
    StderrCapture() : file_(std::tmpfile()), saved_(::dup(2))
    {
        std::fflush(stderr);
        ::dup2(::fileno(file_), 2);
    }
    ~StderrCapture()
    {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        std::fclose(file_);
    }
    std::string text() const
    {
        std::fflush(stderr);
        std::string out;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;)
            out += static_cast<char>(c);
        return out;
    }

private:
    std::FILE* file_;
    int saved_;
};

} // namespace

TEST(FileComponents, EveryFixtureGivesItsVersionAndPreviewPixels)
{
    GLIMMER_REQUIRE_FIXTURES();
    FileComponents components;
    const auto server = components.createDocumentServer();
    const auto reader = components.createPropertyReader();
    for (const FixtureDocument& doc : fixtureDocuments()) {
        SCOPED_TRACE(doc.path);
        const std::string path = fixtureFile(doc.path);
        const std::string name = fileNameOf(path);
        const auto document = server->OpenDocument(path);
        EXPECT_EQ(document->VersionNumber(), doc.version);
        EXPECT_EQ(document->DisplayName(), name);
        EXPECT_EQ(document->Name(), name);
        // Both ways to the preview find the same one, wherever it is kept.
        for (const bool thumbnail : {true, false}) {
            try {
                const Picture p = thumbnail ? document->Thumbnail() : reader->OpenPropertySets(path)->PreviewPicture();
                ASSERT_TRUE(doc.hasPreview) << "a preview where none was expected";
                // A PNG stays pixels; a metafile stays a metafile.
                EXPECT_EQ(p.kind(), p.format() == "png" ? Picture::Kind::Raster : Picture::Kind::Metafile);
                EXPECT_EQ(p.source(), doc.standardSummarySet ? "standard summary set" : "CAD summary set");
                EXPECT_EQ(p.size(), (Size{doc.previewSize, doc.previewSize}));
                EXPECT_EQ(pixelSha256(p.toImage()), doc.pixelSha256);
            } catch (const FormatError& e) {
                EXPECT_FALSE(doc.hasPreview) << e.what();
                EXPECT_EQ(e.subject(), Subject::Preview);
                EXPECT_EQ(e.file(), name);
                EXPECT_EQ(std::string(e.what()).find(name), std::string::npos) << e.what();
            }
        }
        server->CloseAll();
    }
}

namespace {

// A version stream of `release`.`update`: update at byte 20, release at byte 22.
std::vector<std::byte> versionStream(int release, int update)
{
    std::vector<std::byte> b(32, std::byte{0});
    b[20] = std::byte(update & 0xFF);
    b[21] = std::byte(update >> 8);
    b[22] = std::byte(release);
    return b;
}

} // namespace

TEST(DocumentFile, TheNewestRevisionsVersionCounts)
{
    struct Case {
        const char* what;
        std::vector<seeds::Stream> streams;
        std::int32_t version;
    };
    const Case cases[] = {
        {"two revisions", {{"RSeStorage/V1/RSeDb", versionStream(8, 3)}, {"RSeStorage/V2/RSeDb", versionStream(11, 0)}},
         11000},
        {"stored newest first", {{"RSeStorage/V2/RSeDb", versionStream(11, 0)}, {"RSeStorage/V1/RSeDb", versionStream(8, 3)}},
         11000},
        {"by number, not by name", {{"RSeStorage/V9/RSeDb", versionStream(8, 3)}, {"RSeStorage/V10/RSeDb", versionStream(14, 2)}},
         14002},
        {"the newest without a version stream",
         {{"RSeStorage/V1/RSeDb", versionStream(8, 3)}, {"RSeStorage/V2/Other", versionStream(11, 0)}}, 8003},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::uint8_t> bytes = seeds::compoundFile(c.streams);
        const std::string path = dir.file("revisions.ipt");
        writeFile(path, {reinterpret_cast<const std::byte*>(bytes.data()), reinterpret_cast<const std::byte*>(bytes.data()) + bytes.size()});
        EXPECT_EQ(DocumentFile(path).versionNumber(), c.version);
    }
}

TEST(FetchPreview, EveryFixtureGivesItsPreviewVersionNameAndOrigin)
{
    GLIMMER_REQUIRE_FIXTURES();
    FileComponents components;
    for (const FixtureDocument& doc : fixtureDocuments()) {
        SCOPED_TRACE(doc.path);
        const std::string path = fixtureFile(doc.path);
        const FetchedPreview f = fetchPreview(components, path);
        EXPECT_EQ(f.version, doc.version);
        EXPECT_EQ(f.displayName, fileNameOf(path));
        if (!doc.hasPreview) {
            EXPECT_EQ(f.status, FetchedPreview::Status::NoPreview);
            EXPECT_EQ(f.reason, "the document has no preview");
            EXPECT_TRUE(f.picture.isEmpty());
            continue;
        }
        ASSERT_EQ(f.status, FetchedPreview::Status::Ok) << f.reason;
        EXPECT_EQ(f.source, doc.standardSummarySet ? "standard summary set" : "CAD summary set");
        EXPECT_EQ(f.format, f.picture.kind() == Picture::Kind::Raster ? "png" : "metafile");
        EXPECT_EQ(pixelSha256(f.picture.toImage()), doc.pixelSha256);
    }

    TempDir dir;
    const std::string text = dir.file("text.ipt");
    writeFile(text, plainText());
    const FetchedPreview unreadable = fetchPreview(components, text);
    EXPECT_EQ(unreadable.status, FetchedPreview::Status::Unreadable);
    EXPECT_EQ(unreadable.reason, "not a compound file");
    EXPECT_EQ(unreadable.version, std::nullopt);
    EXPECT_TRUE(unreadable.displayName.empty());
}

TEST(FetchPreview, ThreadsWithTheirOwnComponentsFetchAtOnce)
{
    GLIMMER_REQUIRE_FIXTURES();
    std::atomic<int> wrong = 0;
    const auto fetchAll = [&] {
        FileComponents components;
        for (int pass = 0; pass < 3; ++pass)
            for (const FixtureDocument& doc : fixtureDocuments()) {
                const FetchedPreview f = fetchPreview(components, fixtureFile(doc.path));
                const bool right = doc.hasPreview ? pixelSha256(f.picture.toImage()) == doc.pixelSha256
                                                  : f.status == FetchedPreview::Status::NoPreview;
                wrong += !right;
            }
    };
    std::thread a(fetchAll);
    std::thread b(fetchAll);
    a.join();
    b.join();
    EXPECT_EQ(wrong, 0);
}

TEST(FileComponents, AMetafilePreviewIsKeptAsItStands)
{
    GLIMMER_REQUIRE_FIXTURES();
    const auto stored = storedPreview(WmfDocument, CadSummarySet);
    const Picture p = DocumentFile(fixtureFile(WmfDocument)).preview({CadSummarySet});
    ASSERT_EQ(p.metafile().size(), stored.size() - 16);
    EXPECT_TRUE(std::equal(stored.begin() + 16, stored.end(), p.metafile().begin()));
}

TEST(FileComponents, PreviewsWrittenAsPlaceableMetafilesReadBackToTheSamePixels)
{
    GLIMMER_REQUIRE_FIXTURES();
    for (const FixtureDocument& doc : fixtureDocuments()) {
        if (!doc.hasPreview)
            continue;
        SCOPED_TRACE(doc.path);
        const Picture p = DocumentFile(fixtureFile(doc.path)).preview({CadSummarySet, StandardSummarySet});
        const Bytes file = p.placeableMetafile();
        const Picture back = Picture::fromMetafile(file, wmf::naturalSize(file));
        EXPECT_EQ(back.size(), p.size());
        EXPECT_EQ(pixelSha256(back.toImage()), doc.pixelSha256);
    }
}

TEST(FileComponents, CloseAllLeavesNoFileOpen)
{
    GLIMMER_REQUIRE_FIXTURES();
    FileComponents components;
    const int before = openDescriptors();
    if (before == 0)
        GTEST_SKIP() << "open files are not counted here (Wine counts no handles)";
    const auto server = components.createDocumentServer();
    const auto a = server->OpenDocument(fixtureFile(PngDocument));
    const auto b = server->OpenDocument(fixtureFile(OldDocument));
    EXPECT_EQ(openDescriptors(), before + 2);
    server->CloseAll();
    EXPECT_EQ(openDescriptors(), before);
    // A document kept past CloseAll answers with an error, not with a crash.
    EXPECT_THROW(a->Thumbnail(), FormatError);
    // The property reader keeps nothing open: its set is read at once.
    const auto set = components.createPropertyReader()->OpenPropertySets(fixtureFile(OldDocument));
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_EQ(set->PreviewPicture().size(), (Size{180, 180}));

    // While the server has a document open, the reader reads that same file,
    // even if another has taken its name since; once closed, the file by the name.
#ifdef _WIN32
    GTEST_SKIP() << "an open file's name is not freed for another file (Wine, Windows before 10)";
#endif
    TempDir dir;
    const std::string path = dir.file("doc.iam");
    std::filesystem::copy_file(fixtureFile(OldDocument), path);
    const auto open = server->OpenDocument(path);
    ASSERT_TRUE(std::filesystem::remove(path));
    writeFile(path, plainText());
    EXPECT_EQ(components.createPropertyReader()->OpenPropertySets(path)->PreviewPicture().size(), (Size{180, 180}));
    server->CloseAll();
    EXPECT_THROW(components.createPropertyReader()->OpenPropertySets(path), FormatError);
}

// decodePreview over payloads that are not the usual ones.
TEST(DecodePreview, OtherPicturesAreDecodedOrNamed)
{
    Image rgba(4, 3, PixelFormat::Argb32);
    rgba.fill(rgb(255, 0, 0));
    rgba.setPixel(0, 0, argb(0, 0, 0, 255));   // transparent blue stands on white

    const Picture fromPng = decodePreview(clipboard(3, png::encode(rgba)));
    EXPECT_EQ(fromPng.kind(), Picture::Kind::Raster);
    EXPECT_EQ(fromPng.format(), "png");
    EXPECT_EQ(fromPng.size(), (Size{4, 3}));
    EXPECT_EQ(fromPng.toImage().pixel(0, 0), White);
    EXPECT_EQ(fromPng.toImage().pixel(3, 2), rgb(255, 0, 0));

    // A device-independent bitmap (CF_DIB): a bitmap file without its file header.
    const Bytes bmp = bmp::encode24(rgba);
    const Picture fromDib = decodePreview(clipboard(8, std::span(bmp).subspan(14), false));
    EXPECT_EQ(fromDib.format(), "dib");
    EXPECT_EQ(fromDib.size(), (Size{4, 3}));
    EXPECT_EQ(fromDib.toImage().pixel(3, 2), rgb(255, 0, 0));

    // The start of a JFIF file.
    const std::vector<std::byte> jpeg = {std::byte{0xFF}, std::byte{0xD8}, std::byte{0xFF}, std::byte{0xE0},
                                         std::byte{0x00}, std::byte{0x10}, std::byte{'J'},  std::byte{'F'}};
    struct Row {
        const char* name;
        std::vector<std::byte> data;
        FormatError::Code code;
        const char* text;
    };
    const std::byte junk[] = {std::byte{1}, std::byte{2}, std::byte{3}, std::byte{4}, std::byte{5}};
    const Row rows[] = {
        {"enhanced metafile", clipboard(14, junk, false), FormatError::Code::Unsupported, "enhanced metafile"},
        {"unknown bytes", clipboard(3, junk), FormatError::Code::Unsupported, "cannot be read"},
        // Formats Qt would guess from the content are no preview.
        {"a bitmap file", clipboard(3, bmp), FormatError::Code::Unsupported, "cannot be read"},
        {"a JPEG file", clipboard(3, jpeg), FormatError::Code::Unsupported, "cannot be read"},
        {"no payload", clipboard(3, {}), FormatError::Code::Truncated, "empty"},
        {"huge picture", clipboard(3, pngHeader(5000, 5000)), FormatError::Code::TooLarge, "too large"},
        {"picture without pixels", clipboard(3, pngHeader(180, 180)), FormatError::Code::BadValue, "damaged"},
        {"no clipboard format", {std::byte{0xFF}, std::byte{0xFF}}, FormatError::Code::Truncated, "ends early"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const StderrCapture stderrText;
        try {
            decodePreview(r.data);
            ADD_FAILURE() << "decoded";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), r.code) << e.what();
            EXPECT_NE(std::string(e.what()).find(r.text), std::string::npos) << e.what();
        }
        // The error is ours to word: no decoder prints its own ("libpng error: ...").
        EXPECT_EQ(stderrText.text(), "");
    }
}

// A fixture damaged in one place, through the components as the window uses
// them: the operation that fails, its error number and words of its text.
struct DocumentDamage {
    const char* name;
    const char* document;
    std::function<void(CompoundFileEditor&)> apply;
    FormatError::Subject subject;
    const char* text;
};

class DamagedDocument : public ::testing::TestWithParam<DocumentDamage> {};

namespace {

// Offsets inside the CAD summary set of a fixture: its one section starts at 48.
std::size_t propertyEntry(const CompoundFileEditor& e, std::uint32_t id)
{
    const auto entry = e.entry(CadSet);
    const std::uint32_t count = e.u32(e.streamOffset(entry, 52));
    for (std::uint32_t i = 0; i < count; ++i)
        if (e.u32(e.streamOffset(entry, 56 + 8 * i)) == id)
            return 56 + 8 * i;
    throw std::runtime_error("no such property");
}

std::size_t propertyValue(const CompoundFileEditor& e, std::uint32_t id)
{
    return 48 + e.u32(e.streamOffset(e.entry(CadSet), propertyEntry(e, id) + 4));
}

void patchStream(CompoundFileEditor& e, std::size_t at, std::uint32_t value)
{
    e.setU32(e.streamOffset(e.entry(CadSet), at), value);
}

} // namespace

TEST_P(DamagedDocument, GivesANamedErrorAndNoPicture)
{
    GLIMMER_REQUIRE_FIXTURES();
    const DocumentDamage& d = GetParam();
    CompoundFileEditor editor(*fixturesDir() / d.document);
    d.apply(editor);
    TempDir dir;
    const std::string path = dir.file("damaged.ipt");
    editor.write(path);

    FileComponents components;
    const auto server = components.createDocumentServer();
    try {
        const auto document = server->OpenDocument(path);
        if (d.subject == Subject::Version)
            document->VersionNumber();
        else
            document->Thumbnail();
        FAIL() << "no error";
    } catch (const FormatError& e) {
        EXPECT_EQ(e.subject(), d.subject) << e.what();
        EXPECT_EQ(e.file(), "damaged.ipt");
        EXPECT_NE(std::string(e.what()).find(d.text), std::string::npos) << e.what();
    }
    server->CloseAll();
}

INSTANTIATE_TEST_SUITE_P(
    Table, DamagedDocument,
    ::testing::Values(
        DocumentDamage{"NotACompoundFile", PngDocument, [](auto& e) { e.bytes[3] = 0; }, Subject::Document,
                       "not a compound file"},
        DocumentDamage{"EmptyFile", PngDocument, [](auto& e) { e.bytes.clear(); }, Subject::Document, "empty"},
        DocumentDamage{"PropertyOffsetBeyondItsStream", PngDocument,
                       [](auto& e) { patchStream(e, propertyEntry(e, 17) + 4, 0x00FFFFF0); },
                       Subject::Preview, "property 17 lies beyond"},
        DocumentDamage{"ClipboardSizeBeyondItsStream", WmfDocument,
                       [](auto& e) { patchStream(e, propertyValue(e, 17) + 4, 0x7FFFFFF0); }, Subject::Preview,
                       "clipboard data larger"},
        DocumentDamage{"PngCutShort", PngDocument,
                       [](auto& e) {
                           const std::size_t at = propertyValue(e, 17) + 4;
                           patchStream(e, at, e.u32(e.streamOffset(e.entry(CadSet), at)) / 2);
                       },
                       Subject::Preview, "damaged"},
                       // The bitmap record claims more words than the metafile holds.
        DocumentDamage{"MetafileRecordSizeLies", WmfDocument,
                       [](auto& e) {
                           // Header 18 bytes, then SETWINDOWORG (10) and SETWINDOWEXT (10): the bitmap record.
                           patchStream(e, propertyValue(e, 17) + 24 + 18 + 20, 0x00FFFFFF);
                       },
                       Subject::Preview, "metafile"},
        DocumentDamage{"NoVersionStream", PngDocument,
                       [](auto& e) { e.bytes[e.entryOffset(e.entry("RSeDb")) + 0] = 'X'; }, Subject::Version,
                       "no version stream"}),
    [](const auto& row) { return std::string(row.param.name); });

// A storage may bear a property set's name (a non-simple property set is
// kept in one): it is passed over, and the preview in the other set found.
TEST(DocumentFile, AStorageNamedLikeAPropertySetHidesNoPreview)
{
    Image red(6, 4, PixelFormat::Xrgb32);
    red.fill(rgb(255, 0, 0));
    const std::vector<seeds::Stream> base = {
        {"RSeStorage/V1/RSeDb", versionStream(3, 0)},   // an old document: the property sets are read
        {StandardSummarySet.streamName, seeds::propertySet(StandardSummarySet.fmtid, clipboard(3, png::encode(red)))},
    };
    const struct {
        const char* what;
        std::string storage;
    } cases[] = {
        {"a storage by the CAD summary set's own name", std::string(CadSummarySet.streamName) + "/Contents"},
        {"another storage named like a property set", "\x05Rbcdef/Contents"},
    };
    TempDir dir;
    FileComponents components;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto streams = base;
        streams.push_back({c.storage, versionStream(1, 1)});
        const std::vector<std::uint8_t> bytes = seeds::compoundFile(streams);
        const std::string path = dir.file("storage.ipt");
        writeFile(path, {reinterpret_cast<const std::byte*>(bytes.data()),
                         reinterpret_cast<const std::byte*>(bytes.data()) + bytes.size()});
        EXPECT_EQ(DocumentFile(path).preview({CadSummarySet, StandardSummarySet}).size(), (Size{6, 4}));
        const FetchedPreview f = fetchPreview(components, path);
        ASSERT_EQ(f.status, FetchedPreview::Status::Ok) << f.reason;
        EXPECT_EQ(f.source, "standard summary set");
        EXPECT_EQ(f.picture.toImage().pixel(5, 3), rgb(255, 0, 0));
    }
}

// However much of the file lies before its streams, a document's preview and
// version cost the same reads but for the links between the allocation
// table's extension sectors: the table is read where the chains followed
// need it.
TEST(DocumentFile, ALargeDocumentCostsWhatItsPreviewNeeds)
{
    GLIMMER_REQUIRE_FIXTURES();
    const char* const document = "Rou7e-typhlogyroscope/SOLID_10.ipt";
    const std::vector<std::byte> fixture = readFile(fixtureFile(document));
    const auto* first = reinterpret_cast<const std::uint8_t*>(fixture.data());
    const std::string pixels = pixelSha256(DocumentFile(fixtureFile(document)).preview({CadSummarySet}).toImage());
    TempDir dir;
    std::uint64_t read[2] = {};
    const std::uint64_t paddings[2] = {std::uint64_t{1} << 20, std::uint64_t{64} << 20};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(paddings[i]);
        const std::string path = dir.file("large.ipt");
        writePaddedDocument(path, {first, first + fixture.size()}, paddings[i]);
        const DocumentFile file(path);
        EXPECT_EQ(file.versionNumber(), 25000);
        EXPECT_EQ(pixelSha256(file.preview({CadSummarySet}).toImage()), pixels);
        read[i] = file.file().bytesRead();
        EXPECT_LT(read[i], fixture.size());
    }
    // 64 MiB more: 1,034 table sectors, 8 extension sectors listing 925 of
    // them; read are the links of the first 7 and the last one whole.
    EXPECT_EQ(read[1], read[0] + 7 * 4 + 512);
}
