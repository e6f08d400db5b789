#include "preview/Engine.h"

#include "fuzz/support/SeedDocuments.h"
#include "preview/FileComponents.h"
#include "system/FileSource.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Pixels.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <new>

using namespace glimmer;
using namespace glimmer::test;

namespace {

std::vector<std::byte> bytesOf(const std::vector<std::uint8_t>& bytes)
{
    return {reinterpret_cast<const std::byte*>(bytes.data()), reinterpret_cast<const std::byte*>(bytes.data()) + bytes.size()};
}

void expectSame(const FetchedPreview& got, const FetchedPreview& expected)
{
    EXPECT_EQ(got.status, expected.status);
    EXPECT_EQ(got.reason, expected.reason);
    EXPECT_EQ(got.version, expected.version);
    EXPECT_EQ(got.displayName, expected.displayName);
    EXPECT_EQ(got.source, expected.source);
    EXPECT_EQ(got.format, expected.format);
    EXPECT_EQ(got.picture.size(), expected.picture.size());
    if (!expected.picture.isEmpty()) {
        EXPECT_EQ(pixelSha256(got.picture.toImage()), pixelSha256(expected.picture.toImage()));
    }
}

// A medium that fails at its first read, as a disk may or as memory may run out.
struct FailingSource final : ByteSource {
    bool memory = false;
    std::uint64_t size() override { return 4096; }
    std::size_t readAt(std::uint64_t, std::span<std::byte>) override
    {
        if (memory)
            throw std::bad_alloc();
        throw FormatError(FormatError::Code::Io, "cannot be read: Input/output error");
    }
};

} // namespace

// Over a file, its descriptor or its bytes in memory, the plain entry reads
// each document as the window's components do: the same status, reason,
// version, name and pixels, for good documents, hostile ones and the
// fixtures alike.
TEST(ReadDocument, GivesWhatTheWindowsComponentsGiveOverEverySource)
{
    TempDir dir;
    std::vector<std::string> paths;
    const auto add = [&](const std::string& name, const std::vector<std::byte>& bytes) {
        paths.push_back(dir.file(name));
        writeFile(paths.back(), bytes);
    };
    add("metafile.ipt", bytesOf(seeds::document(seeds::Preview::Metafile)));
    add("dib.idw", bytesOf(seeds::document(seeds::Preview::Dib, true)));
    add("png.ipt", bytesOf(seeds::document(seeds::Preview::Png, false, 4096)));
    add("cycle.ipt", bytesOf(seeds::chainCycleDocument()));
    add("billion.ipt", bytesOf(seeds::billionRecordDocument()));
    add("empty.ipt", {});
    add("text.ipt", bytesOf({'h', 'e', 'l', 'l', 'o', '\n'}));
    if (fixturesDir())
        for (const FixtureDocument& doc : fixtureDocuments())
            paths.push_back(fixtureFile(doc.path));

    FileComponents components;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const FetchedPreview expected = fetchPreview(components, path);
        expectSame(readDocumentFile(path), expected);
        const std::vector<std::byte> bytes = readFile(path);
        MemorySource memory(bytes);
        expectSame(readDocument(memory, fileNameOf(path)), expected);
        // Taken over and closed with the source.
        const int descriptors = openDescriptors();
        {
#ifdef _WIN32
            const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY);
#else
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
            const auto file = fileSourceFromDescriptor(fd);
            expectSame(readDocument(*file, fileNameOf(path)), expected);
        }
        EXPECT_EQ(openDescriptors(), descriptors);
    }
    EXPECT_EQ(readDocumentFile(dir.file()).reason, "is a folder, not a file");
}

// Whatever the bytes, the answer is Unreadable with a reason, never a throw;
// memory running out says so.
TEST(ReadDocument, DamagedBytesAndFailingSourcesAreUnreadableWithAReason)
{
    const std::vector<std::byte> whole = bytesOf(seeds::document(seeds::Preview::Png));
    for (const std::size_t length : {std::size_t{1}, std::size_t{511}, std::size_t{512}, std::size_t{1536}, whole.size() / 2}) {
        MemorySource cut(std::span<const std::byte>(whole).first(length));
        const FetchedPreview f = readDocument(cut, "cut.ipt");
        EXPECT_EQ(f.status, FetchedPreview::Status::Unreadable) << length;
        EXPECT_FALSE(f.reason.empty()) << length;
    }
    for (const bool memory : {false, true}) {
        FailingSource medium;
        medium.memory = memory;
        const FetchedPreview f = readDocument(medium, "failing.ipt");
        EXPECT_EQ(f.status, FetchedPreview::Status::Unreadable);
        EXPECT_EQ(f.reason, memory ? "Out of memory" : "cannot be read: Input/output error");
        EXPECT_EQ(f.outOfMemory, memory);
    }
}
