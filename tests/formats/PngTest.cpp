#include "formats/Png.h"
#include "tests/support/PngFiles.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

using namespace glimmer;
using namespace glimmer::test;
using Code = FormatError::Code;

namespace {

Image decodeBytes(const PngBytes& png, std::int64_t maxPixels = 1 << 20)
{
    return png::decode(asBytes(png), maxPixels);
}

} // namespace

// Damage anywhere gives a FormatError of the right kind, never pixels.
TEST(Png, RefusesDamage)
{
    std::mt19937 random(3);
    const PngBytes good = randomPng({"rgb", 2, 8, false, {}}, 20, 20, random);
    const std::size_t idat = 8 + 25;   // the first image data chunk
    const auto with = [&](auto change) {
        PngBytes b = good;
        change(b);
        return b;
    };
    struct Row {
        const char* name;
        PngBytes png;
        Code code;
        std::int64_t maxPixels = 1 << 20;
    };
    const Row rows[] = {
        {"no signature", with([](PngBytes& b) { b[1] = 'Q'; }), Code::BadSignature},
        {"a checksum wrong", with([](PngBytes& b) { b[idat + 9] ^= 1; }), Code::BadValue},
        {"cut in the image data", PngBytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(idat + 20)),
         Code::Truncated},
        {"too large", good, Code::TooLarge, 399},
        {"over the image's own limit", good, Code::TooLarge, std::int64_t{1} << 40},
        {"zero width", with([](PngBytes& b) { b[16] = b[17] = b[18] = b[19] = 0; }), Code::BadValue},
        {"colour type 5", with([](PngBytes& b) { b[25] = 5; }), Code::BadValue},
        {"palette without PLTE", with([](PngBytes& b) { b[25] = 3; }), Code::BadValue},
        {"unknown critical chunk", with([](PngBytes& b) { b[idat + 4] = 'X'; }), Code::Unsupported},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        PngBytes png = r.png;
        if (std::string_view(r.name) == "over the image's own limit") {
            // 32768 x 16384: within what the caller allows, beyond what an image holds.
            png[18] = 0x80;
            png[19] = 0;
            png[22] = 0x40;
            png[23] = 0;
        }
        // Edited chunks get fresh checksums, so that the edit is what is read.
        for (std::size_t at = 8; std::string_view(r.name) != "a checksum wrong" && at + 12 <= png.size();) {
            const std::size_t length = std::size_t{png[at]} << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
            if (at + 12 + length > png.size())
                break;
            const std::uint32_t crc = libdeflate_crc32(0, png.data() + at + 4, length + 4);
            for (std::size_t i = 0; i < 4; ++i)
                png[at + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
            at += 12 + length;
        }
        try {
            decodeBytes(png, r.maxPixels);
            ADD_FAILURE() << "decoded";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), r.code) << e.what();
        }
    }
    // Rows that do not inflate to their size, or name an unknown filter;
    // through the in-place path (RGB) and the other (grey).
    for (const int colour : {0, 2}) {
        PngBytes rawRows(1 + 3, 0);
        rawRows[0] = 5;
        const PngBytes packed = zlib(rawRows, 1);
        for (const auto& [height, code] : {std::pair{1u, Code::BadValue}, std::pair{2u, Code::Truncated}}) {
            SCOPED_TRACE(testing::Message() << "colour " << colour << ", height " << height);
            PngBytes png = pngSignature();
            pngChunk(png, "IHDR", pngHeader(colour == 2 ? 1 : 3, height, 8, colour));
            pngChunk(png, "IDAT", packed);
            try {
                decodeBytes(png);
                ADD_FAILURE() << "decoded";
            } catch (const FormatError& e) {
                EXPECT_EQ(e.code(), code) << e.what();
            }
        }
    }
}

// Whatever the format, we read back the pixels we wrote: RGB, or RGBA when
// the image has alpha.
TEST(Png, EncodesWhatItReadsBack)
{
    const struct {
        PixelFormat format;
        bool alpha;
    } cases[] = {{PixelFormat::Xrgb32, false},
                 {PixelFormat::Argb32, true},
                 {PixelFormat::Rgbx8888, false},
                 {PixelFormat::Rgba8888, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.format));
        Image image(37, 5, c.format);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, argb(unsigned(y * 30 + 100), unsigned(x * 7), unsigned(y * 40), unsigned(x * y)));
        const Bytes file = png::encode(image);
        EXPECT_EQ(std::to_integer<int>(file[25]), c.alpha ? 6 : 2) << "colour type";
        const Image back = png::decode(file, 1 << 20);
        ASSERT_EQ(back.size(), image.size());
        EXPECT_EQ(back.format(), c.alpha ? PixelFormat::Rgba8888 : PixelFormat::Rgbx8888);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ASSERT_EQ(back.pixel(x, y), image.pixel(x, y)) << x << "," << y;
    }
    EXPECT_THROW(png::encode(Image()), FormatError);
}

// A picture whose image data is split over many chunks is joined in scratch
// memory; a large one gives that memory back, whichever way it decodes.
TEST(Png, GivesBackTheScratchOfALargePicture)
{
    std::mt19937 random(5);
    for (const PngShape& shape : {PngShape{"rgb, in place", 2, 8, false, {}}, PngShape{"grey", 0, 8, false, {}},
                                  PngShape{"rgba, in place", 6, 8, false, {}}}) {
        SCOPED_TRACE(shape.name);
        // Random samples: the compressed data is as large as the pixels,
        // over the memory a thread keeps.
        const std::uint32_t width = shape.colour == 0 ? 4400 : 1400;
        const PngBytes png = randomPng(shape, width, 1100, random, 40);
        ASSERT_GT(png.size(), png::KeptScratchBytes);
        const Image image = decodeBytes(png, std::int64_t{1} << 23);
        EXPECT_EQ(image.width(), static_cast<int>(width));
        EXPECT_LE(png::scratchBytesHeld(), png::KeptScratchBytes);
    }
    // A small one keeps it for the next.
    const PngBytes small = randomPng({"rgb", 2, 8, false, {}}, 64, 64, random, 3);
    decodeBytes(small);
    EXPECT_GT(png::scratchBytesHeld(), 0u);
}
