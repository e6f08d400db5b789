#include "formats/Inflate.h"

#include <libdeflate.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

using namespace glimmer;
using deflate::Result;
using Buffer = std::vector<std::uint8_t>;

namespace {

Buffer libdeflateCompress(const Buffer& data, int level)
{
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    Buffer out(libdeflate_zlib_compress_bound(c, data.size()));
    out.resize(libdeflate_zlib_compress(c, data.data(), data.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

Result inflated(const Buffer& stream, Buffer& out)
{
    return inflate::zlibDecompress(stream, out);
}

// Data of every kind a preview's rows hold: noise, runs, repeats near and far.
std::vector<Buffer> samples()
{
    std::mt19937 random(7);
    std::vector<Buffer> all{{}, {42}, Buffer(100000, 0xFF)};
    Buffer noise(70000), rows, text;
    for (auto& b : noise)
        b = static_cast<std::uint8_t>(random());
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 1537; ++x)
            rows.push_back(static_cast<std::uint8_t>(x % 7 == 0 ? random() % 4 : (x * y) >> 9));
    for (int i = 0; i < 4000; ++i)
        for (const char c : "a preview of a part, an assembly or a drawing ")
            text.push_back(static_cast<std::uint8_t>(c + (random() % 50 == 0)));
    all.insert(all.end(), {noise, rows, text});
    return all;
}

// A fixed-code block (BTYPE 01) from its symbols' code bits, MSB first.
Buffer fixedBlock(std::initializer_list<std::pair<unsigned, int>> codes)
{
    Buffer out{0x78, 0x01};
    unsigned bit = 0;
    const auto put = [&](unsigned value, int count, bool msbFirst) {
        for (int i = 0; i < count; ++i, ++bit) {
            if (bit % 8 == 0)
                out.push_back(0);
            const unsigned b = msbFirst ? (value >> (count - 1 - i)) & 1 : (value >> i) & 1;
            out.back() = static_cast<std::uint8_t>(out.back() | b << (bit % 8));
        }
    };
    put(1, 1, false);   // the last block
    put(1, 2, false);   // fixed codes
    for (const auto& [value, count] : codes)
        put(value, count, true);
    out.insert(out.end(), {0, 0, 0, 1});   // Adler-32 of nothing
    return out;
}

} // namespace

// Every stream libdeflate writes, at every level (stored, fixed and dynamic
// blocks), inflates to the same bytes; our stored streams read back in it.
TEST(Inflate, AgreesWithLibdeflate)
{
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (const Buffer& data : samples()) {
        for (const int level : {0, 1, 6, 12}) {
            SCOPED_TRACE(testing::Message() << data.size() << " bytes at level " << level);
            Buffer out(data.size());
            ASSERT_EQ(inflated(libdeflateCompress(data, level), out), Result::Ok);
            EXPECT_EQ(out, data);
        }
        const Buffer stored = inflate::zlibStore(data);
        Buffer back(data.size());
        ASSERT_EQ(libdeflate_zlib_decompress(d, stored.data(), stored.size(), back.data(), back.size(), nullptr),
                  LIBDEFLATE_SUCCESS);
        EXPECT_EQ(back, data);
        EXPECT_EQ(inflate::crc32(data), libdeflate_crc32(0, data.data(), data.size()));
    }
    libdeflate_free_decompressor(d);
    const Buffer check{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(inflate::crc32(check), 0xCBF43926u);
}

// A damaged stream, or one of another size than the picture, is refused.
TEST(Inflate, RefusesDamage)
{
    Buffer data = samples()[4];
    const Buffer good = libdeflateCompress(data, 6);
    const auto with = [&](std::size_t at, std::uint8_t bits) {
        Buffer b = good;
        b[at] ^= bits;
        return b;
    };
    struct Row {
        const char* name;
        Buffer stream;
        std::size_t size;
        Result result;
    };
    const Row rows[] = {
        {"not method 8", with(0, 0x01), data.size(), Result::BadData},
        {"header check bits", with(1, 0x01), data.size(), Result::BadData},
        {"a preset dictionary", with(1, 0x20), data.size(), Result::BadData},
        {"Adler-32 wrong", with(good.size() - 1, 0x01), data.size(), Result::BadData},
        {"block type 3", {0x78, 0x01, 0x07, 0, 0, 0, 0, 0}, 0, Result::BadData},
        {"stored length check", {0x78, 0x01, 0x01, 0x01, 0x00, 0xFF, 0xFF, 0x41, 0, 0, 0, 0}, 1, Result::BadData},
        {"a distance before the start", fixedBlock({{0b0000001, 7}, {0, 5}, {0, 7}}), 3, Result::BadData},
        {"literal/length symbol 286", fixedBlock({{0b11000110, 8}, {0, 7}}), 0, Result::BadData},
        {"more than the picture holds", good, data.size() - 1, Result::InsufficientSpace},
        {"less than the picture holds", good, data.size() + 1, Result::ShortOutput},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Buffer out(r.size);
        EXPECT_EQ(inflated(r.stream, out), r.result);
    }
    // Cut anywhere, never taken for whole (the sanitizers watch every read).
    for (std::size_t n = 0; n < good.size(); n += 1 + n / 16) {
        Buffer out(data.size());
        EXPECT_NE(inflated(Buffer(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)), out), Result::Ok) << n;
    }
}
