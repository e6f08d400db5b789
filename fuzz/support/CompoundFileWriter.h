#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace glimmer::seeds {

// One stream of a compound file; storages in `path` are separated by '/'.
struct Stream {
    std::string path;
    std::vector<std::byte> bytes;
};

// A compound file ([MS-CFB]) holding `streams`, in 512-byte (version 3) or
// 4096-byte (version 4) sectors: streams under 4096 bytes in the mini stream,
// a storage for each folder of a path, each storage's entries in a balanced
// red-black tree. Names are Latin-1 (one character a byte), at most 31 long.
std::vector<std::uint8_t> compoundFile(const std::vector<Stream>& streams, std::size_t sectorSize = 512);

} // namespace glimmer::seeds
