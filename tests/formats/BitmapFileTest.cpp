#include "formats/BitmapFile.h"
#include "tests/support/BitmapFiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using namespace glimmer;
using glimmer::test::BitmapFormat;

namespace {

std::span<const std::byte> bytesOf(const QByteArray& b)
{
    return {reinterpret_cast<const std::byte*>(b.constData()), static_cast<std::size_t>(b.size())};
}

void set16(QByteArray& b, int at, unsigned v)
{
    b[at] = static_cast<char>(v & 0xff);
    b[at + 1] = static_cast<char>((v >> 8) & 0xff);
}

void set32(QByteArray& b, int at, std::uint32_t v)
{
    set16(b, at, v & 0xffff);
    set16(b, at + 2, v >> 16);
}

} // namespace

// Each damaged file is refused with the error that names its fault.
TEST(BitmapFile, DamagedFilesAreRefusedWithTheirOwnError)
{
    using Code = FormatError::Code;
    struct Damage {
        const char* name;
        std::function<void(QByteArray&)> apply;
        Code code;
    };
    const std::vector<Damage> damages = {
        {"empty file", [](QByteArray& b) { b.clear(); }, Code::BadSignature},
        {"a zip archive", [](QByteArray& b) { b.replace(0, 4, "PK\x03\x04"); }, Code::BadSignature},
        {"headers cut short", [](QByteArray& b) { b.truncate(20); }, Code::Truncated},
        {"64-byte info header", [](QByteArray& b) { set32(b, 14, 64); }, Code::Unsupported},
        {"width 0", [](QByteArray& b) { set32(b, 18, 0); }, Code::BadValue},
        {"negative width", [](QByteArray& b) { set32(b, 18, static_cast<std::uint32_t>(-7)); }, Code::BadValue},
        {"height 0", [](QByteArray& b) { set32(b, 22, 0); }, Code::BadValue},
        {"height INT_MIN", [](QByteArray& b) { set32(b, 22, 0x80000000u); }, Code::BadValue},
        {"two planes", [](QByteArray& b) { set16(b, 26, 2); }, Code::BadValue},
        {"2 bits per pixel", [](QByteArray& b) { set16(b, 28, 2); }, Code::Unsupported},
        {"embedded JPEG", [](QByteArray& b) { set32(b, 30, 4); }, Code::Unsupported},
        {"RLE4 at 8 bits", [](QByteArray& b) { set32(b, 30, 2); }, Code::BadValue},
        {"RLE8 stored top-down",
         [](QByteArray& b) {
             set32(b, 30, 1);
             set32(b, 22, static_cast<std::uint32_t>(-5));
         },
         Code::BadValue},
        {"100000 x 100000 pixels",
         [](QByteArray& b) {
             set32(b, 18, 100000);
             set32(b, 22, 100000);
         },
         Code::TooLarge},
        {"300 colours at 8 bits", [](QByteArray& b) { set32(b, 46, 300); }, Code::BadValue},
        {"colour table cut short", [](QByteArray& b) { b.truncate(60); }, Code::Truncated},
        {"pixel offset beyond the end", [](QByteArray& b) { set32(b, 10, 100000); }, Code::BadValue},
        {"pixel offset inside the colour table", [](QByteArray& b) { set32(b, 10, 60); }, Code::BadValue},
        {"pixel rows cut short", [](QByteArray& b) { b.chop(5); }, Code::Truncated},
    };
    const QByteArray good = test::makeBitmapFile(test::cornerPicture(7, 5), BitmapFormat{8});
    ASSERT_NO_THROW(bmp::decode(bytesOf(good)));
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        QByteArray bad = good;
        d.apply(bad);
        try {
            bmp::decode(bytesOf(bad));
            ADD_FAILURE() << "accepted";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.code(), d.code) << e.what();
            EXPECT_NE(std::string(e.what()).find("bitmap file"), std::string::npos) << e.what();
        }
    }
}
