#pragma once

#include "formats/ByteSource.h"
#include "formats/FormatError.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace glimmer {

// A compound file ([MS-CFB]) opened for reading: a tree of storages and
// streams inside one file. Its source stays open until the object is
// destroyed or close() is called. Every failure raises a FormatError.
class CompoundFile {
public:
    // No stream larger than this is ever read into memory.
    static constexpr std::size_t MaxStreamSize = std::size_t{64} << 20;
    // Directory entries, and links from the root to any entry, accepted:
    // real documents have at most 70 entries, 18 links deep.
    static constexpr std::size_t MaxEntries = 4096;
    static constexpr std::size_t MaxTreeDepth = 256;
    // Sectors in the file: 2 GiB in 512-byte sectors, the most a version 3
    // file may hold; 16 GiB in 4096-byte sectors.
    static constexpr std::uint64_t MaxSectors = std::uint64_t{1} << 22;

    // Reads the header and the directory from `source` and checks the
    // directory's tree; a stream's sector chain is read, and checked, only
    // when the stream is read, and of the allocation table only the sectors
    // the chains followed need. The source is read only through readAt()
    // and released by close().
    explicit CompoundFile(std::unique_ptr<ByteSource> source);
    ~CompoundFile();
    CompoundFile(CompoundFile&&) noexcept;
    CompoundFile& operator=(CompoundFile&&) noexcept;
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;

    // The root entry's CLSID as it is stored (16 bytes, little-endian fields).
    std::array<std::byte, 16> rootClsid() const;

    // The names (UTF-8) of the entries directly inside the storage at
    // `storage`: "" is the root, names in a path are separated by '/'.
    std::vector<std::string> names(std::string_view storage = {}) const;
    bool contains(std::string_view path) const;
    // Whether the entry at `path` is there and is a stream, not a storage.
    bool isStream(std::string_view path) const;

    // The first `maxBytes` bytes of the stream at `path` (all of it when it is
    // shorter). Raises NotFound when there is no such stream, TooLarge when
    // it would be more than MaxStreamSize.
    std::vector<std::byte> read(std::string_view path, std::size_t maxBytes = MaxStreamSize) const;
    // Follows and checks the sector chain of the stream at `path`, all of
    // it, and where its bytes lie, without reading them: for a caller that
    // counts a damaged stream as a damaged file. Raises as read() does;
    // a stream read() would refuse as too large is not looked at.
    void check(std::string_view path) const;

    // Releases the source; every later call raises.
    void close() noexcept;
    bool isOpen() const noexcept;

    std::uint64_t fileSize() const noexcept;
    // Bytes the source returned so far, the header included.
    std::uint64_t bytesRead() const noexcept;

private:
    struct Impl;
    // The structure read at opening; raises when the file is closed.
    Impl& opened() const;
    std::unique_ptr<Impl> impl_;
};

// Formats a CLSID or FMTID as "3D38DE39-0588-4C14-BB37-18F4D5DD31C7".
std::string guidToString(const std::array<std::byte, 16>& guid);

} // namespace glimmer
