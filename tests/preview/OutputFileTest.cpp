#include "preview/OutputFile.h"

#include "formats/BitmapFile.h"
#include "formats/FormatError.h"
#include "formats/Png.h"

#include <gtest/gtest.h>

using namespace glimmer;

namespace {

constexpr std::uint32_t Red = rgb(255, 0, 0);
constexpr std::uint32_t Blue = rgb(0, 0, 255);

// 190 × 95: red above, blue below.
Picture twoBands()
{
    Image image(190, 95, PixelFormat::Xrgb32);
    image.fill(Red);
    for (int y = 48; y < 95; ++y)
        for (int x = 0; x < 190; ++x)
            image.row32(y)[x] = Blue;
    return Picture::fromImage(image);
}

} // namespace

TEST(OutputFile, EachTypeHasItsBoxAndForm)
{
    const Picture picture = twoBands();
    const struct {
        OutputType type;
        int size;
        Size expected;
        std::uint32_t top, bottom;   // the middle of the first and the last row
    } cases[] = {
        {OutputType::Bmp, 95, {95, 95}, White, White},   // the box, the picture fitted in
        {OutputType::Bmp, 0, {190, 95}, Red, Blue},      // the picture's own size
        {OutputType::Png, 95, {95, 47}, Red, Blue},      // shrunk to fit, its shape kept
        {OutputType::Png, 400, {190, 95}, Red, Blue},    // never grown
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type) * 1000 + c.size);
        const Bytes file = outputFile(picture, c.type, c.size);
        const Image image = c.type == OutputType::Bmp ? bmp::decode(file) : png::decode(file, 1 << 20);
        ASSERT_EQ(image.size(), c.expected);
        EXPECT_EQ(image.pixel(image.width() / 2, 0) | 0xFF000000u, c.top);
        EXPECT_EQ(image.pixel(image.width() / 2, image.height() - 1) | 0xFF000000u, c.bottom);
    }
    // The box's own rows: the picture fitted, centred.
    EXPECT_EQ(bmp::decode(outputFile(picture, OutputType::Bmp, 95)).pixel(47, 24) | 0xFF000000u, Red);
    EXPECT_EQ(outputFile(picture, OutputType::Wmf, 95), picture.placeableMetafile());
    for (const OutputType type : {OutputType::Wmf, OutputType::Png})
        EXPECT_THROW(outputFile(Picture(), type, 95), FormatError);
}

// The encoder gets the bitmap file's rows where they lie: bottom-up, each
// padded to four bytes, at the window's quality; its stream is the file.
TEST(OutputFile, AJpegIsTheBitmapsRowsAsTheEncoderGetsThem)
{
    std::vector<int> got;   // width, height, stride, quality, then the first and the last row's first pixel as B, R
    const DibJpegEncoder recorder = [&](const std::byte* bits, std::int32_t width, std::int32_t height,
                                        std::int32_t stride, int quality) {
        const std::byte* last = bits + std::ptrdiff_t{stride} * (height - 1);
        got = {width, height, stride, quality, std::to_integer<int>(bits[0]), std::to_integer<int>(bits[2]),
               std::to_integer<int>(last[0]), std::to_integer<int>(last[2])};
        return Bytes{std::byte{0xFF}, std::byte{0xD8}};
    };
    EXPECT_EQ(outputFile(twoBands(), OutputType::Jpg, 0, recorder), (Bytes{std::byte{0xFF}, std::byte{0xD8}}));
    // 570 bytes of pixels a row, padded; the bottom row (blue) first, the top (red) last.
    EXPECT_EQ(got, (std::vector<int>{190, 95, 572, 100, 255, 0, 0, 255}));
    try {
        outputFile(twoBands(), OutputType::Jpg, 96);
        ADD_FAILURE() << "a JPEG file without an encoder";
    } catch (const FormatError& e) {
        EXPECT_EQ(e.code(), FormatError::Code::Unsupported);
    }
}
