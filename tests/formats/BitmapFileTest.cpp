#include "formats/BitmapFile.h"
#include "tests/support/BitmapFiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using namespace glimmer;
using glimmer::test::BitmapFormat;

namespace {

void set16(Bytes& b, std::size_t at, unsigned v)
{
    b[at] = static_cast<std::byte>(v & 0xff);
    b[at + 1] = static_cast<std::byte>((v >> 8) & 0xff);
}

void set32(Bytes& b, std::size_t at, std::uint32_t v)
{
    set16(b, at, v & 0xffff);
    set16(b, at + 2, v >> 16);
}

std::uint32_t get32(const Bytes& b, std::size_t at)
{
    return ByteReader(b, at).u32le();
}

} // namespace

// Each damaged file is refused with the error that names its fault.
TEST(BitmapFile, DamagedFilesAreRefusedWithTheirOwnError)
{
    using Code = FormatError::Code;
    struct Damage {
        const char* name;
        std::function<void(Bytes&)> apply;
        Code code;
    };
    const std::vector<Damage> damages = {
        {"empty file", [](Bytes& b) { b.clear(); }, Code::BadSignature},
        {"a zip archive", [](Bytes& b) { set32(b, 0, 0x04034B50); }, Code::BadSignature},
        {"headers cut short", [](Bytes& b) { b.resize(20); }, Code::Truncated},
        {"64-byte info header", [](Bytes& b) { set32(b, 14, 64); }, Code::Unsupported},
        {"width 0", [](Bytes& b) { set32(b, 18, 0); }, Code::BadValue},
        {"negative width", [](Bytes& b) { set32(b, 18, static_cast<std::uint32_t>(-7)); }, Code::BadValue},
        {"height 0", [](Bytes& b) { set32(b, 22, 0); }, Code::BadValue},
        {"height INT_MIN", [](Bytes& b) { set32(b, 22, 0x80000000u); }, Code::BadValue},
        {"two planes", [](Bytes& b) { set16(b, 26, 2); }, Code::BadValue},
        {"2 bits per pixel", [](Bytes& b) { set16(b, 28, 2); }, Code::Unsupported},
        {"embedded JPEG", [](Bytes& b) { set32(b, 30, 4); }, Code::Unsupported},
        {"RLE4 at 8 bits", [](Bytes& b) { set32(b, 30, 2); }, Code::BadValue},
        {"RLE8 stored top-down",
         [](Bytes& b) {
             set32(b, 30, 1);
             set32(b, 22, static_cast<std::uint32_t>(-5));
         },
         Code::BadValue},
        {"100000 x 100000 pixels",
         [](Bytes& b) {
             set32(b, 18, 100000);
             set32(b, 22, 100000);
         },
         Code::TooLarge},
        {"300 colours at 8 bits", [](Bytes& b) { set32(b, 46, 300); }, Code::BadValue},
        {"colour table cut short", [](Bytes& b) { b.resize(60); }, Code::Truncated},
        {"pixel offset beyond the end", [](Bytes& b) { set32(b, 10, 100000); }, Code::BadValue},
        {"pixel offset inside the colour table", [](Bytes& b) { set32(b, 10, 60); }, Code::BadValue},
        {"pixel rows cut short", [](Bytes& b) { b.resize(b.size() - 5); }, Code::Truncated},
    };
    const Bytes good = test::makeBitmapFile(test::cornerPicture(7, 5), BitmapFormat{8});
    ASSERT_NO_THROW(bmp::decode(good));
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        Bytes bad = good;
        d.apply(bad);
        try {
            bmp::decode(bad);
            ADD_FAILURE() << "accepted";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), d.code) << e.what();
            EXPECT_NE(std::string(e.what()).find("bitmap file"), std::string::npos) << e.what();
        }
    }
}

// A 24-bit file at 96 DPI that reads back to the picture; alpha is dropped.
TEST(BitmapFile, Encodes24BitFilesAt96Dpi)
{
    for (const PixelFormat format : {PixelFormat::Xrgb32, PixelFormat::Rgba8888}) {
        SCOPED_TRACE(static_cast<int>(format));
        const Image picture = test::cornerPicture(7, 3).converted(format);
        Image translucent = picture.clone();
        if (translucent.hasAlpha())
            translucent.setPixel(1, 1, translucent.pixel(1, 1) & 0x40FFFFFFu);
        const Bytes file = bmp::encode24(translucent);
        bmp::FileInfo info;
        const Image back = bmp::decode(file, &info);
        EXPECT_EQ(info.bitCount, 24);
        EXPECT_FALSE(info.topDown);
        EXPECT_EQ(file.size(), 54u + 3 * 24);
        EXPECT_EQ(get32(file, 2), file.size());
        EXPECT_EQ(get32(file, 38), 3780u);
        EXPECT_EQ(get32(file, 42), 3780u);
        ASSERT_EQ(back.size(), picture.size());
        for (int y = 0; y < back.height(); ++y)
            for (int x = 0; x < back.width(); ++x)
                ASSERT_EQ(back.pixel(x, y), picture.pixel(x, y)) << x << "," << y;
    }
    EXPECT_THROW(bmp::encode24(Image()), FormatError);
}
