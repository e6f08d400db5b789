#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace glimmer::test {

// A compound file held in memory, with just enough of its structure known to
// damage it on purpose: where a stream's bytes lie, where its directory
// entry is, which allocation table entry links its sectors.
class CompoundFileEditor {
public:
    explicit CompoundFileEditor(const std::filesystem::path& file);

    std::vector<std::uint8_t> bytes;

    std::uint32_t sectorSize() const { return sectorSize_; }
    // The directory entry index of the entry named `name` (UTF-8); the first match.
    std::uint32_t entry(const std::string& name) const;
    // The file offset of a directory entry.
    std::size_t entryOffset(std::uint32_t entry) const;
    std::uint32_t streamSize(std::uint32_t entry) const;
    std::uint32_t startSector(std::uint32_t entry) const;
    // The file offset of byte `at` of the stream of `entry` (big or mini sectors).
    std::size_t streamOffset(std::uint32_t entry, std::size_t at) const;
    // The file offset of the allocation table entry of `sector`.
    std::size_t fatEntryOffset(std::uint32_t sector) const;
    // The file offset of the mini allocation table entry of mini sector `sector`.
    std::size_t miniFatEntryOffset(std::uint32_t sector) const;

    std::uint32_t u32(std::size_t offset) const;
    void setU32(std::size_t offset, std::uint32_t value);
    void write(const std::filesystem::path& file) const;

private:
    std::uint32_t next(std::uint32_t sector) const;
    std::uint32_t miniNext(std::uint32_t sector) const;
    std::size_t sectorOffset(std::uint32_t sector) const { return (sector + 1) * std::size_t{sectorSize_}; }
    std::vector<std::uint32_t> chain(std::uint32_t start) const;

    std::uint32_t sectorSize_ = 512;
    std::vector<std::uint32_t> fatSectors_;
    std::vector<std::uint32_t> directory_;   // sectors of the directory
    std::vector<std::uint32_t> miniFat_;     // sectors of the mini allocation table
    std::vector<std::uint32_t> miniStream_;  // sectors of the mini stream
};

} // namespace glimmer::test
