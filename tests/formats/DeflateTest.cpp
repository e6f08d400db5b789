#include "formats/Deflate.h"
#include "preview/DocumentFile.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using namespace glimmer;
using namespace glimmer::test;
using deflate::Result;
using Buffer = std::vector<std::uint8_t>;

namespace {

struct Stream {
    std::string name;
    Buffer zlib;
    std::size_t size;   // the bytes it is inflated into
    bool whole;         // a stream as written, that must inflate
};

std::uint32_t be32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The image data of each fixture's PNG preview, as one zlib stream, and the
// size of the rows it holds.
std::vector<Stream> fixturePreviews()
{
    std::vector<Stream> all;
    if (!fixturesDir())
        return all;
    const Buffer signature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const FixtureDocument& doc : fixtureDocuments()) {
        if (!doc.hasPreview || doc.standardSummarySet)
            continue;
        const DocumentFile file(fixturePath(doc).string());
        const auto clipboard = previewIn(*file.propertySetStream(CadSummarySet), CadSummarySet);
        const Buffer data(reinterpret_cast<const std::uint8_t*>(clipboard->data()),
                          reinterpret_cast<const std::uint8_t*>(clipboard->data()) + clipboard->size());
        auto at = static_cast<std::size_t>(std::search(data.begin(), data.end(), signature.begin(), signature.end()) - data.begin());
        if (at == data.size())
            continue;   // a metafile
        Stream s{doc.path, {}, 0, true};
        for (at += 8; at + 12 <= data.size();) {
            const std::size_t length = be32(&data[at]);
            const std::string type(&data[at + 4], &data[at + 8]);
            const std::uint8_t* body = &data[at + 8];
            if (type == "IHDR") {
                static constexpr int channels[] = {1, 0, 3, 1, 2, 0, 4};
                EXPECT_EQ(body[12], 0) << doc.path << " is interlaced";
                const std::size_t bits = std::size_t{be32(body)} * channels[body[9]] * body[8];
                s.size = be32(body + 4) * (1 + (bits + 7) / 8);
            } else if (type == "IDAT") {
                s.zlib.insert(s.zlib.end(), body, body + length);
            }
            at += 12 + length;
        }
        all.push_back(std::move(s));
    }
    return all;
}

// Data of the kinds the writers meet: none, a byte, a long run, noise, rows
// like a preview's, and repeats at the window's edge and just beyond it.
std::vector<std::pair<std::string, Buffer>> inputs()
{
    std::mt19937 random(11);
    Buffer noise(40000), rows;
    for (auto& b : noise)
        b = static_cast<std::uint8_t>(random());
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 541; ++x)
            rows.push_back(static_cast<std::uint8_t>(x % 5 == 0 ? random() % 3 : (x * y) >> 8));
    const auto repeated = [&](std::size_t distance) {
        Buffer b(noise.begin(), noise.begin() + static_cast<std::ptrdiff_t>(distance));
        b.insert(b.end(), noise.begin(), noise.begin() + 600);
        return b;
    };
    return {{"empty", {}}, {"one byte", {7}}, {"a run", Buffer(70000, 0)}, {"noise", noise}, {"rows", rows},
            {"a repeat 32768 back", repeated(32768)}, {"a repeat 32769 back", repeated(32769)}};
}

// Every stream of a kind the previews hold, from both writers, whole and
// then damaged: each byte altered in turn at a stride, cut short anywhere,
// inflated into a buffer one byte short or long.
std::vector<Stream> streams()
{
    std::vector<Stream> all;
    for (const auto& [name, data] : inputs()) {
        for (const int level : {1, 6, 12})
            all.push_back({name + ", libdeflate at " + std::to_string(level),
                           deflate::libdeflate::zlibCompress(data, level), data.size(), true});
        all.push_back({name + ", ours", deflate::builtin::zlibCompress(data, 6), data.size(), true});
    }
    const std::vector<Stream> previews = fixturePreviews();
    all.insert(all.end(), previews.begin(), previews.end());

    const std::size_t whole = all.size();
    for (std::size_t i = 0; i < whole; i += 3) {
        const Stream good = all[i];
        const std::size_t n = good.zlib.size();
        for (std::size_t at = 0; at < n; at += 1 + n / 40) {
            Buffer b = good.zlib;
            b[at] = static_cast<std::uint8_t>(b[at] ^ (1u << (at % 8)));
            all.push_back({good.name + ", byte " + std::to_string(at) + " altered", b, good.size, false});
            all.push_back({good.name + ", cut at " + std::to_string(at),
                           Buffer(good.zlib.begin(), good.zlib.begin() + static_cast<std::ptrdiff_t>(at)), good.size, false});
        }
        if (good.size > 0)
            all.push_back({good.name + ", one byte short", good.zlib, good.size - 1, false});
        all.push_back({good.name + ", one byte long", good.zlib, good.size + 1, false});
    }
    return all;
}

} // namespace

// The engine's own inflater and libdeflate's agree on every stream: the same
// bytes, or the same refusal. The page uses the one, the programs the other.
TEST(Deflate, BothInflatersAgree)
{
    std::size_t previews = 0;
    for (const Stream& s : streams()) {
        SCOPED_TRACE(s.name);
        Buffer ours(s.size, 0xAA), theirs(s.size, 0x55);
        const Result result = deflate::builtin::zlibDecompress(s.zlib, ours);
        ASSERT_EQ(result, deflate::libdeflate::zlibDecompress(s.zlib, theirs));
        if (s.whole) {
            EXPECT_EQ(result, Result::Ok);
        }
        if (result == Result::Ok) {
            EXPECT_EQ(ours, theirs);
        }
        EXPECT_EQ(deflate::builtin::crc32(s.zlib), deflate::libdeflate::crc32(s.zlib));
        previews += s.whole && s.name.find('/') != std::string::npos;
    }
    if (fixturesDir()) {
        EXPECT_GE(previews, 10u);
    }
    // The entries are libdeflate's where the build has it: it compresses.
    const Buffer run(10000, 1);
    EXPECT_LT(deflate::zlibCompress(run, 6).size(), run.size() / 10);
}

// The engine's own writer: what it writes inflates (libdeflate's inflater
// is the judge) to the bytes it was given, and shrinks what can shrink.
TEST(Deflate, OurWriterRoundTrips)
{
    for (const auto& [name, data] : inputs()) {
        SCOPED_TRACE(name);
        const Buffer zlib = deflate::builtin::zlibCompress(data, 6);
        Buffer back(data.size(), 0xAA);
        ASSERT_EQ(deflate::libdeflate::zlibDecompress(zlib, back), Result::Ok);
        EXPECT_EQ(back, data);
        if (name == "noise") {
            EXPECT_LE(zlib.size(), data.size() + 11);   // stored, no larger
        } else if (name == "rows" || name == "a run") {
            EXPECT_LT(zlib.size(), data.size() * 2 / 3);
        }
    }
    const Buffer run(70000, 0);
    EXPECT_LT(deflate::builtin::zlibCompress(run, 1).size(), run.size() / 100);
}
