#pragma once

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
// streams inside one file. The file stays open until the object is destroyed
// or close() is called. Every failure raises a FormatError.
class CompoundFile {
public:
    // No stream larger than this is ever read into memory.
    static constexpr std::size_t MaxStreamSize = std::size_t{64} << 20;
    // Directory entries and nesting accepted: far above any real document,
    // low enough that libgsf's recursive walk of the directory stays shallow.
    static constexpr std::size_t MaxEntries = std::size_t{1} << 16;
    static constexpr std::size_t MaxTreeDepth = 512;

    // Opens `path` (UTF-8) and checks its header, allocation tables and directory.
    explicit CompoundFile(const std::string& path);
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

    // The first `maxBytes` bytes of the stream at `path` (all of it when it is
    // shorter). Raises NotFound when there is no such stream, TooLarge when
    // it would be more than MaxStreamSize.
    std::vector<std::byte> read(std::string_view path, std::size_t maxBytes = MaxStreamSize) const;

    // Releases the file; every later call raises.
    void close() noexcept;
    bool isOpen() const noexcept;

    std::uint64_t fileSize() const noexcept;
    // Bytes read from the file so far, the header included.
    std::uint64_t bytesRead() const noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Formats a CLSID or FMTID as "3D38DE39-0588-4C14-BB37-18F4D5DD31C7".
std::string guidToString(const std::array<std::byte, 16>& guid);

} // namespace glimmer
