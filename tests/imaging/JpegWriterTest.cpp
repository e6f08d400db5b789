#include "imaging/Helpers.h"
#include "jpeg/IJL.h"
#include "imaging/cDIBSection.h"
#include "formats/BitmapFile.h"
#include "platform/RuntimeError.h"
#include "tests/support/BitmapFiles.h"
#include "tests/support/Fixtures.h"
#include "tests/support/GraphicsLayers.h"
#include "tests/support/JpegFiles.h"
#include "tests/support/Pixels.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/support/ScriptedGdi.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <random>
#include <string_view>
#include <vector>

using namespace glimmer;
using namespace glimmer::test;
namespace fs = std::filesystem;

namespace {

bool startsWith(const std::vector<std::byte>& bytes, std::string_view head)
{
    return bytes.size() >= head.size() && std::equal(head.begin(), head.end(), bytes.begin(),
                                                     [](char c, std::byte b) { return std::byte(c) == b; });
}

bool endsWith(const std::vector<std::byte>& bytes, std::string_view tail)
{
    return bytes.size() >= tail.size() && std::equal(tail.begin(), tail.end(), bytes.end() - std::ptrdiff_t(tail.size()),
                                                     [](char c, std::byte b) { return std::byte(c) == b; });
}

std::size_t filesIn(const fs::path& dir)
{
    std::size_t n = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        n += e.is_regular_file() ? 1 : 0;
    return n;
}

// The real library, counting the instances it makes and gives back and
// remembering the stream length of the last write.
struct Counted {
    int inits = 0;
    int frees = 0;
    std::int32_t length = -1;
    IjlFunctions functions;

    explicit Counted(const IjlFunctions& base = ijlLibrary())
    {
        functions.ijlInit = [this, base](JPEG_CORE_PROPERTIES* r) {
            ++inits;
            return base.ijlInit(r);
        };
        functions.ijlWrite = [this, base](JPEG_CORE_PROPERTIES* r, std::int32_t mode) {
            const std::int32_t result = base.ijlWrite(r, mode);
            length = r->JPGSizeBytes;
            return result;
        };
        functions.ijlFree = [this, base](JPEG_CORE_PROPERTIES* r) {
            ++frees;
            return base.ijlFree(r);
        };
        functions.ijlErrorStr = base.ijlErrorStr;
    }
};

Image noisePicture(int width, int height)
{
    Image image(width, height, PixelFormat::Xrgb32);
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, static_cast<std::uint32_t>(random()) | 0xff000000u);
    return image;
}

// A cDIBSection loaded from a bitmap file of `picture`.
void load(cDIBSection& dib, const test::TempDir& dir, const Image& picture)
{
    writeFile(dir.file("source.bmp"), bmp::encode24(picture));
    ASSERT_TRUE(dib.Load(dir.file("source.bmp")));
}

} // namespace

// Odd widths carry 1 to 3 pad bytes per row; none of them may show, and the
// bottom-up rows must come out upright.
TEST(SaveDibAsJpeg, WritesTheLoadedPictureUprightAtQuality100)
{
    test::TempDir dir;
    for (int width : {96, 97, 98, 99}) {
        SCOPED_TRACE(width);
        const Image picture = test::gradientPicture(width, 61);
        cDIBSection dib;
        load(dib, dir, picture);
        test::RecordingMessageBox box;
        Counted ijl;
        const std::string out = dir.file("part1.jpg");
        ASSERT_TRUE(SaveDibAsJpeg(box, dib, out, ijl.functions));
        EXPECT_TRUE(box.messages.empty());

        const std::vector<std::byte> bytes = readFile(out);
        ASSERT_EQ(bytes.size(), std::size_t(ijl.length));   // exactly the stream, nothing before or after
        EXPECT_TRUE(startsWith(bytes, "\xff\xd8"));
        EXPECT_TRUE(endsWith(bytes, "\xff\xd9"));
        const Image decoded = decodeJpeg(bytes);
        ASSERT_FALSE(decoded.isNull());
        ASSERT_EQ(decoded.width(), picture.width());
        ASSERT_EQ(decoded.height(), picture.height());
        EXPECT_GE(psnr(decoded, picture), 40.0);
        EXPECT_EQ(ijl.inits, 1);
        EXPECT_EQ(ijl.frees, 1);
        // The DIB keeps its picture for its owner to clean up.
        EXPECT_TRUE(dib.hDib());
    }
}

TEST(SaveDibAsJpeg, ALongerFileOfTheSameNameIsReplacedByExactlyTheStream)
{
    test::TempDir dir;
    cDIBSection dib;
    load(dib, dir, test::gradientPicture(96, 96));
    const std::string out = dir.file("part1.jpg");
    writeFile(out, std::vector<std::byte>(300000, std::byte{'x'}));
    test::RecordingMessageBox box;
    Counted ijl;
    ASSERT_TRUE(SaveDibAsJpeg(box, dib, out, ijl.functions));
    const std::vector<std::byte> bytes = readFile(out);
    EXPECT_EQ(bytes.size(), std::size_t(ijl.length));
    EXPECT_TRUE(endsWith(bytes, "\xff\xd9"));
    EXPECT_EQ(filesIn(dir.path()), 2u);   // no temporary file left
}

// The two library failures: the exact message in an exclamation box, false,
// and no output file created or changed.
TEST(SaveDibAsJpeg, LibraryFailuresShowTheirMessageAndTouchNoFile)
{
    struct Case {
        const char* name;
        std::int32_t initResult;
        std::int32_t writeResult;
        const char* message;
        int frees;
    };
    const Case cases[] = {
        {"init fails", IjlOutOfMemory, 0,
         "IJL ERROR: [-12] - Out of memory - Failed to initialise the IJL library", 0},
        {"init fails with a positive code", 3, 0, "IJL ERROR: [3] -  - Failed to initialise the IJL library", 0},
        {"write fails", 0, IjlEncoderFailed, "IJL ERROR: [-11] - The JPEG encoder failed - Failed to save to JPG", 1},
        {"write fails with a code that has no text", 0, 12345, "IJL ERROR: [12345] -  - Failed to save to JPG", 1},
    };
    // The library fails as the case says.
    const auto failAs = [](Counted& ijl, const Case& c) {
        ijl.functions.ijlInit = [&ijl, &c](JPEG_CORE_PROPERTIES* r) {
            ++ijl.inits;
            return c.initResult ? c.initResult : ijlInit(r);
        };
        ijl.functions.ijlWrite = [&c](JPEG_CORE_PROPERTIES* r, std::int32_t mode) {
            return c.writeResult ? c.writeResult : ijlWrite(r, mode);
        };
    };
    test::TempDir dir;
    cDIBSection dib;
    load(dib, dir, test::gradientPicture(96, 96));
    for (const Case& c : cases) {
        for (bool existing : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (existing ? ", file exists" : ", no file"));
            const std::string out = dir.file("out.jpg");
            fs::remove(out);
            if (existing)
                writeFile(out, textBytes("an older picture"));
            Counted ijl;
            failAs(ijl, c);
            test::RecordingMessageBox box;
            EXPECT_FALSE(SaveDibAsJpeg(box, dib, out, ijl.functions));
            ASSERT_EQ(box.messages.size(), 1u);
            EXPECT_EQ(box.messages[0].text, c.message);
            EXPECT_EQ(box.messages[0].title, "Intel(R) JPEG Library");
            EXPECT_EQ(box.messages[0].icon, MessageBox::Icon::Exclamation);
            EXPECT_EQ(ijl.frees, c.frees);
            if (existing)
                EXPECT_EQ(readFile(out), textBytes("an older picture"));
            else
                EXPECT_FALSE(fs::exists(out));
        }
        // The encoding step alone (the converter's) gives the failure back as a value.
        Counted ijl;
        failAs(ijl, c);
        try {
            EncodeDibAsJpeg(dib.DIBSectionBitsPtr(), dib.dib_width(), dib.dib_height(), dib.BytesPerScanLine(),
                            ijl.functions);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const JpegLibraryError& e) {
            EXPECT_EQ(JpegErrorMessage(e.text(), e.code(), ijl.functions), c.message);
        }
        EXPECT_EQ(ijl.frees, c.frees);
    }
}

TEST(SaveDibAsJpeg, AStreamThatDoesNotFitIsAFailureNotAnOverrun)
{
    test::TempDir dir;
    cDIBSection dib;
    load(dib, dir, noisePicture(16, 16));   // 1024 bytes offered; noise needs far more
    const std::string out = dir.file("noise.jpg");
    test::RecordingMessageBox box;
    Counted ijl;
    EXPECT_FALSE(SaveDibAsJpeg(box, dib, out, ijl.functions));
    EXPECT_EQ(box.texts(), std::vector<std::string>{"IJL ERROR: [-10] - The JPEG stream does not fit into the output "
                                                    "buffer - Failed to save to JPG"});
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(ijl.frees, 1);
}

TEST(SaveDibAsJpeg, AnEmptyDibIsALibraryFailure)
{
    test::TempDir dir;
    cDIBSection dib;
    test::RecordingMessageBox box;
    EXPECT_FALSE(SaveDibAsJpeg(box, dib, dir.file("x.jpg")));
    EXPECT_EQ(box.texts(),
              std::vector<std::string>{"IJL ERROR: [-4] - The DIB has no pixel memory - Failed to save to JPG"});
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(SaveDibAsJpeg, FileErrorsRaiseANamedErrorAndStillReleaseTheLibrary)
{
    test::TempDir dir;
    cDIBSection dib;
    load(dib, dir, test::gradientPicture(96, 96));
    writeFile(dir.file("plain"), textBytes("a file, not a folder"));
    fs::create_directory(dir.path() / "taken.jpg");
    struct Case {
        std::string path;
        int number;
    };
    const Case cases[] = {
        {dir.file("missing/part1.jpg"), RuntimeError::PathNotFound},
        {dir.file("plain/part1.jpg"), RuntimeError::PathNotFound},
        {dir.file("taken.jpg"), RuntimeError::PathFileAccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        test::RecordingMessageBox box;
        Counted ijl;
        try {
            SaveDibAsJpeg(box, dib, c.path, ijl.functions);
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), c.number) << e.text();
            EXPECT_NE(e.text().find(c.path), std::string::npos) << e.text();
        }
        EXPECT_TRUE(box.messages.empty());
        EXPECT_EQ(ijl.inits, 1);
        EXPECT_EQ(ijl.frees, 1);
    }
    EXPECT_TRUE(fs::is_directory(dir.path() / "taken.jpg"));
}

TEST(SaveDibAsJpeg, AnOverflowingSizeRaisesAndStillReleasesTheLibrary)
{
    // A section that claims 30000 x 20000 pixels: 4 x width x height leaves 32 bits.
    test::ScriptedGdi gdi;
    gdi.hollowSections = true;
    cDIBSection dib(gdi);
    ASSERT_TRUE(dib.Create(30000, 20000, 3));
    test::TempDir dir;
    test::RecordingMessageBox box;
    Counted ijl;
    EXPECT_THROW(SaveDibAsJpeg(box, dib, dir.file("big.jpg"), ijl.functions), OverflowError);
    EXPECT_EQ(ijl.inits, 1);
    EXPECT_EQ(ijl.frees, 1);
    EXPECT_TRUE(box.messages.empty());
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

namespace {

// The colours of cornerPicture in blocks of 8 x 8 pixels, which JPEG streams keep small.
Image blockPicture(int width, int height, int colours)
{
    const Image corners = test::cornerPicture((width + 7) / 8, (height + 7) / 8, colours);
    Image image(width, height, PixelFormat::Xrgb32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, corners.pixel(x / 8, y / 8));
    return image;
}

template <typename G>
class SaveDibAsJpegOver : public ::testing::Test {
protected:
    G gdi;
};
TYPED_TEST_SUITE(SaveDibAsJpegOver, test::GraphicsLayers, test::GraphicsLayerNames);

} // namespace

// Whichever graphics layer loads the bitmap file, the JPEG file is byte for
// byte the one written over MemoryGdi, and the stream encoded from the
// picture's own rows.
TYPED_TEST(SaveDibAsJpegOver, WritesTheSameFileAsMemoryGdiFromEveryKindOfBitmapFile)
{
    struct Case {
        const char* name;
        BitmapFormat format;
    };
    const Case cases[] = {
        {"1-bit", {1}},
        {"4-bit", {4}},
        {"8-bit top-down", {8, 0, true}},
        {"RLE8", {8, 1}},
        {"RLE4", {4, 2}},
        {"16-bit 5-5-5", {16}},
        {"24-bit", {24}},
        {"24-bit top-down", {24, 0, true}},
        {"32-bit", {32}},
        {"32-bit bit fields", {32, 3, false, 40, 0x00FF0000, 0x0000FF00, 0x000000FF}},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Smooth colours where the depth holds them; blocks of a few exact ones where it does not.
        const Image picture = c.format.bitCount > 16 ? test::gradientPicture(61, 37)
                                                     : blockPicture(61, 37, c.format.bitCount == 1 ? 2 : 8);
        const std::string source = dir.file("source.bmp");
        writeFile(source, test::makeBitmapFile(picture, c.format));

        gdi::MemoryGdi memory;
        cDIBSection reference(memory);
        cDIBSection dib(this->gdi);
        ASSERT_TRUE(reference.Load(source)) << memory.lastError();
        ASSERT_TRUE(dib.Load(source)) << this->gdi.lastError();
        test::RecordingMessageBox box;
        ASSERT_TRUE(SaveDibAsJpeg(box, reference, dir.file("memory.jpg")));
        ASSERT_TRUE(SaveDibAsJpeg(box, dib, dir.file("layer.jpg")));
        const std::vector<std::byte> written = readFile(dir.file("layer.jpg"));
        EXPECT_FALSE(written.empty());
        EXPECT_TRUE(written == readFile(dir.file("memory.jpg"))) << "the two files differ";

        const Bytes rows = bmp::encode24(picture);   // bottom-up 24-bit rows after 54 bytes of headers
        EXPECT_TRUE(written == EncodeDibAsJpeg(rows.data() + 54, picture.width(), picture.height(),
                                               static_cast<std::int32_t>(bmp::strideOf(picture.width(), 24))))
            << "the file is not the picture's own stream";
    }
}

TEST(StringFromAnsiPointer, ReadsNarrowTexts)
{
    const char* none = nullptr;
    EXPECT_EQ(StringFromAnsiPointer(none), "");
    const char* text = "Out of memory";
    EXPECT_EQ(StringFromAnsiPointer(text), "Out of memory");
    const char* utf8 = "Gr\xc3\xb6\xc3\x9f" "e";
    EXPECT_EQ(StringFromAnsiPointer(utf8), "Größe");
}

namespace {

struct Encoded {
    std::int32_t result;
    std::int32_t length;
    std::vector<std::byte> buffer;
};

// Runs the library on rows of `picture` (top-down in memory when `topDown`),
// offering `capacity` bytes followed by a guard zone that must stay untouched.
Encoded encodeWith(const Image& picture, bool topDown, std::int32_t capacity, std::int32_t pad = 1)
{
    const int w = picture.width();
    const int h = picture.height();
    const int stride = 3 * w + pad;
    std::vector<std::byte> rows(static_cast<std::size_t>(stride) * h, std::byte{0xEE});
    for (int y = 0; y < h; ++y) {
        std::byte* row = rows.data() + static_cast<std::ptrdiff_t>(topDown ? y : h - 1 - y) * stride;
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = picture.pixel(x, y);
            row[3 * x] = std::byte(blueOf(c));
            row[3 * x + 1] = std::byte(greenOf(c));
            row[3 * x + 2] = std::byte(redOf(c));
        }
    }
    constexpr std::size_t kGuard = 256;
    Encoded e{0, 0, std::vector<std::byte>(static_cast<std::size_t>(capacity) + kGuard, std::byte{0xAB})};
    JPEG_CORE_PROPERTIES record{};
    EXPECT_EQ(ijlInit(&record), 0);
    record.DIBBytes = rows.data();
    record.DIBWidth = w;
    record.DIBHeight = topDown ? h : -h;
    record.DIBPadBytes = pad;
    record.JPGWidth = w;
    record.JPGHeight = h;
    record.jquality = 100;
    record.JPGBytes = e.buffer.data();
    record.JPGSizeBytes = capacity;
    e.result = ijlWrite(&record, IJL_JBUFF_WRITEWHOLEIMAGE);
    e.length = record.JPGSizeBytes;
    EXPECT_EQ(ijlFree(&record), 0);
    EXPECT_EQ(record.instance, nullptr);
    const bool guardIntact = std::all_of(e.buffer.end() - kGuard, e.buffer.end(),
                                         [](std::byte b) { return b == std::byte{0xAB}; });
    EXPECT_TRUE(guardIntact) << "the library wrote beyond the capacity it was given";
    return e;
}

Image decode(const Encoded& e)
{
    return decodeJpeg(std::span(e.buffer).first(static_cast<std::size_t>(e.length)));
}

} // namespace

TEST(IJL, AStreamFitsExactlyOrFailsWithoutOverrun)
{
    const Image picture = noisePicture(24, 16);
    const Encoded roomy = encodeWith(picture, false, 1 << 20);
    ASSERT_EQ(roomy.result, IjlOk);
    const std::int32_t n = roomy.length;
    const Encoded exact = encodeWith(picture, false, n);
    EXPECT_EQ(exact.result, IjlOk);
    EXPECT_EQ(exact.length, n);
    const Encoded shorter = encodeWith(picture, false, n - 1);
    EXPECT_EQ(shorter.result, IjlBufferTooSmall);
    EXPECT_EQ(shorter.length, n - 1);   // left as it was
    EXPECT_EQ(encodeWith(picture, false, 10).result, IjlBufferTooSmall);
}

// A negative DIB height means bottom-up rows, a positive one top-down rows.
TEST(IJL, TheSignOfTheHeightGivesTheRowOrder)
{
    const Image picture = test::gradientPicture(33, 20);
    for (bool topDown : {false, true}) {
        for (std::int32_t pad : {0, 1, 3}) {
            SCOPED_TRACE(testing::Message() << "top-down " << topDown << ", pad " << pad);
            const Encoded e = encodeWith(picture, topDown, 1 << 20, pad);
            ASSERT_EQ(e.result, IjlOk);
            EXPECT_GE(psnr(decode(e), picture), 40.0);
        }
    }
}

TEST(IJL, BadRecordsGetTheirOwnCodeAndText)
{
    std::vector<std::byte> pixels(64 * 3 * 8);
    std::vector<std::byte> out(100000);
    auto valid = [&] {
        JPEG_CORE_PROPERTIES r{};
        r.DIBBytes = pixels.data();
        r.DIBWidth = 64;
        r.DIBHeight = -8;
        r.JPGWidth = 64;
        r.JPGHeight = 8;
        r.jquality = 100;
        r.JPGBytes = out.data();
        r.JPGSizeBytes = static_cast<std::int32_t>(out.size());
        return r;
    };
    struct Case {
        const char* name;
        std::function<void(JPEG_CORE_PROPERTIES&)> spoil;
        std::int32_t mode;
        std::int32_t code;
    };
    const std::vector<Case> cases = {
        {"valid", [](JPEG_CORE_PROPERTIES&) {}, IJL_JBUFF_WRITEWHOLEIMAGE, IjlOk},
        {"unknown mode", [](JPEG_CORE_PROPERTIES&) {}, 3, IjlBadMode},
        {"no pixels", [](JPEG_CORE_PROPERTIES& r) { r.DIBBytes = nullptr; }, 9, IjlNoPixels},
        {"negative padding", [](JPEG_CORE_PROPERTIES& r) { r.DIBPadBytes = -1; }, 9, IjlBadDibSize},
        {"scaled stream", [](JPEG_CORE_PROPERTIES& r) { r.JPGWidth = 32; }, 9, IjlBadJpegSize},
        {"quality 101", [](JPEG_CORE_PROPERTIES& r) { r.jquality = 101; }, 9, IjlBadQuality},
        {"negative capacity", [](JPEG_CORE_PROPERTIES& r) { r.JPGSizeBytes = -4; }, 9, IjlNoBuffer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JPEG_CORE_PROPERTIES r = valid();
        ASSERT_EQ(ijlInit(&r), IjlOk);
        EXPECT_EQ(r.dibChannels, 3);
        EXPECT_NE(r.instance, nullptr);
        c.spoil(r);
        EXPECT_EQ(ijlWrite(&r, c.mode), c.code);
        EXPECT_NE(ijlErrorStr(c.code), nullptr);
        EXPECT_EQ(ijlFree(&r), IjlOk);
        EXPECT_EQ(r.instance, nullptr);
    }
    JPEG_CORE_PROPERTIES fresh = valid();
    EXPECT_EQ(ijlWrite(&fresh, 9), IjlNotInitialised);
    EXPECT_EQ(ijlWrite(nullptr, 9), IjlNoRecord);
    EXPECT_EQ(ijlFree(&fresh), IjlNotInitialised);   // nothing to give back, nothing breaks
    EXPECT_EQ(ijlRead(&fresh, 0), IjlReadUnsupported);
    EXPECT_EQ(ijlErrorStr(-1000), nullptr);
    EXPECT_STRNE(ijlGetLibVersion()->version, "");
}
