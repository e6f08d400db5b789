#include "fuzz/support/SeedDocuments.h"

#include "formats/BitmapFile.h"
#include "formats/Metafile.h"
#include "formats/Png.h"
#include "preview/DocumentFile.h"
#include "fuzz/support/CompoundFileEditor.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace glimmer::seeds {

namespace {

constexpr std::uint32_t CF_METAFILEPICT = 3;
constexpr std::uint32_t CF_DIB = 8;

void put16(std::vector<std::byte>& b, std::uint32_t v)
{
    for (int i = 0; i < 2; ++i)
        b.push_back(static_cast<std::byte>((v >> (8 * i)) & 0xFF));
}

void put32(std::vector<std::byte>& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::byte>((v >> (8 * i)) & 0xFF));
}

// White, with its top left quarter red and its bottom right quarter blue.
Image picture(int width, int height)
{
    Image image(width, height, PixelFormat::Xrgb32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool left = x < width / 2;
            const bool top = y < height / 2;
            image.setPixel(x, y, left && top ? rgb(200, 30, 40) : !left && !top ? rgb(20, 90, 200) : White);
        }
    return image;
}

// Shaded as a rendered part is: a disc lit from the top left on white.
Image shaded(int size)
{
    Image image(size, size, PixelFormat::Xrgb32);
    const double r = size * 0.45, c = size / 2.0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double dx = (x - c) / r, dy = (y - c) / r, d = dx * dx + dy * dy;
            if (d > 1) {
                image.setPixel(x, y, White);
                continue;
            }
            const double light = 0.35 + 0.65 * std::max(0.0, (-dx - dy + std::sqrt(1 - d)) / 1.8);
            image.setPixel(x, y, rgb(static_cast<int>(60 + 150 * light), static_cast<int>(70 + 160 * light),
                                     static_cast<int>(90 + 165 * light)));
        }
    return image;
}

// Clipboard data of Windows clipboard format `tag`: format -1, the tag, an
// 8-byte METAFILEPICT16 for CF_METAFILEPICT, then the payload.
std::vector<std::byte> clipboard(std::uint32_t tag, std::span<const std::byte> payload)
{
    std::vector<std::byte> b;
    put32(b, 0xFFFFFFFF);
    put32(b, tag);
    if (tag == CF_METAFILEPICT) {
        put16(b, 8);   // MM_ANISOTROPIC
        put16(b, 0);
        put16(b, 0);
        put16(b, 0);
    }
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

std::vector<std::byte> packedDib(const Image& image)
{
    const Bytes file = bmp::encode24(image);
    return {file.begin() + 14, file.end()};   // without the file header
}

std::vector<std::byte> versionStream()
{
    std::vector<std::byte> b(32, std::byte{0});
    b[20] = std::byte{3};   // update 3 of release 8
    b[22] = std::byte{8};
    return b;
}

// Runs `damage` over `bytes` through the test editor, which reads files.
template <typename Damage>
std::vector<std::uint8_t> edited(const std::vector<std::uint8_t>& bytes, Damage damage)
{
    const auto path = std::filesystem::temp_directory_path()
                      / ("glimmer-seed-" + std::to_string(::getpid()) + ".cfb");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    test::CompoundFileEditor editor(path);
    std::filesystem::remove(path);
    damage(editor);
    return editor.bytes;
}

} // namespace

std::vector<std::byte> propertySet(const oleps::Fmtid& fmtid, std::span<const std::byte> clipboardData)
{
    std::vector<std::byte> section;
    const std::uint32_t padded = static_cast<std::uint32_t>((clipboardData.size() + 3) / 4 * 4);
    const std::uint32_t codepageAt = 8 + 2 * 8;
    const std::uint32_t thumbnailAt = codepageAt + 8;
    put32(section, thumbnailAt + 8 + padded);   // section size
    put32(section, 2);
    put32(section, oleps::PID_CODEPAGE);
    put32(section, codepageAt);
    put32(section, oleps::PID_THUMBNAIL);
    put32(section, thumbnailAt);
    put32(section, oleps::VT_I2);
    put32(section, 1252);
    put32(section, oleps::VT_CF);
    put32(section, static_cast<std::uint32_t>(clipboardData.size()));
    section.insert(section.end(), clipboardData.begin(), clipboardData.end());
    section.resize(thumbnailAt + 8 + padded, std::byte{0});

    std::vector<std::byte> stream;
    put16(stream, 0xFFFE);
    put16(stream, 0);
    put32(stream, 0x00020006);   // written on Windows NT
    stream.resize(stream.size() + 16, std::byte{0});
    put32(stream, 1);
    stream.insert(stream.end(), fmtid.begin(), fmtid.end());
    put32(stream, 48);
    stream.insert(stream.end(), section.begin(), section.end());
    return stream;
}

std::vector<std::byte> smallMetafile()
{
    const Image image = picture(8, 6);
    return wmf::toPlaceable(wmf::fromImage(image), image.size());
}

std::vector<std::byte> metafileClaiming(std::uint32_t words)
{
    std::vector<std::byte> b = wmf::fromImage(picture(4, 4));
    // META_HEADER's size field, in 16-bit words, at byte 6.
    for (int i = 0; i < 4; ++i)
        b[6 + static_cast<std::size_t>(i)] = static_cast<std::byte>((words >> (8 * i)) & 0xFF);
    return b;
}

std::vector<std::uint8_t> document(Preview preview, bool standardSet, std::size_t sectorSize)
{
    std::vector<Stream> streams{{"RSeStorage/V1/RSeDb", versionStream()}};
    std::vector<std::byte> data;
    switch (preview) {
    case Preview::None:
        break;
    case Preview::Metafile:
        data = clipboard(CF_METAFILEPICT, smallMetafile());
        break;
    case Preview::Dib:
        data = clipboard(CF_DIB, packedDib(picture(7, 5)));
        break;
    case Preview::Png:
        data = clipboard(CF_METAFILEPICT, png::encode(picture(9, 4)));
        break;
    case Preview::LargeMetafile:
        data = clipboard(CF_METAFILEPICT, wmf::fromImage(picture(48, 40)));
        break;
    case Preview::LargePng:
        data = clipboard(CF_METAFILEPICT, png::encode(shaded(320), 12));
        break;
    }
    if (!data.empty()) {
        const KnownPropertySet& set = standardSet ? StandardSummarySet : CadSummarySet;
        streams.push_back({set.streamName, propertySet(set.fmtid, data)});
    }
    return compoundFile(streams, sectorSize);
}

std::vector<std::uint8_t> chainCycleDocument()
{
    return edited(document(Preview::LargeMetafile), [](test::CompoundFileEditor& e) {
        const std::uint32_t entry = e.entry(CadSummarySet.streamName);
        // The stream's last sector leads back to its first.
        std::uint32_t last = e.startSector(entry);
        while (e.u32(e.fatEntryOffset(last)) != 0xFFFFFFFE)
            last = e.u32(e.fatEntryOffset(last));
        e.setU32(e.fatEntryOffset(last), e.startSector(entry));
    });
}

std::vector<std::uint8_t> hugeStreamDocument()
{
    return edited(document(Preview::Metafile), [](test::CompoundFileEditor& e) {
        e.setU32(e.entryOffset(e.entry(CadSummarySet.streamName)) + 120, 0xFFFFFFFF);
    });
}

std::vector<std::uint8_t> billionRecordDocument()
{
    // Three words is the smallest record: a billion of them.
    const auto data = clipboard(CF_METAFILEPICT, metafileClaiming(3'000'000'000u));
    return compoundFile({{"RSeStorage/V1/RSeDb", versionStream()},
                         {CadSummarySet.streamName, propertySet(CadSummarySet.fmtid, data)}});
}

} // namespace glimmer::seeds
