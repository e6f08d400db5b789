#pragma once

// The compound file format's fixed numbers ([MS-CFB]), for its reader and
// for the programs that write or damage compound files on purpose.

#include <cstddef>
#include <cstdint>

namespace glimmer::cfb {

inline constexpr unsigned char Signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr std::size_t HeaderSize = 512;
// Allocation table sectors listed in the header itself; the rest are in extension (DIFAT) sectors.
inline constexpr std::uint32_t HeaderFatSlots = 109;

// Sector numbers that name no sector (in the allocation tables, the header
// and directory entries).
inline constexpr std::uint32_t MaxRegularSector = 0xFFFFFFFA;
inline constexpr std::uint32_t DifatSector = 0xFFFFFFFC;   // DIFSECT: an extension sector
inline constexpr std::uint32_t FatSector = 0xFFFFFFFD;     // FATSECT: an allocation table sector
inline constexpr std::uint32_t EndOfChain = 0xFFFFFFFE;    // ENDOFCHAIN
inline constexpr std::uint32_t FreeSector = 0xFFFFFFFF;    // FREESECT
// A directory entry's missing sibling or child.
inline constexpr std::uint32_t NoStream = 0xFFFFFFFF;

inline constexpr std::size_t EntrySize = 128;
inline constexpr std::uint32_t MiniSectorSize = 64;
// Streams shorter than this live in the mini stream.
inline constexpr std::uint64_t MiniStreamCutoff = 4096;

// Where the header's fields lie.
enum HeaderOffset : std::size_t {
    MinorVersionAt = 24, MajorAt = 26, ByteOrderAt = 28, SectorShiftAt = 30, MiniShiftAt = 32,
    DirectorySectorsAt = 40, FatSectorsAt = 44, DirectoryStartAt = 48, MiniCutoffAt = 56, MiniFatStartAt = 60,
    MiniFatSectorsAt = 64, DifatStartAt = 68, DifatSectorsAt = 72, FatAt = 76,
};

// Where a directory entry's fields lie.
enum EntryOffset : std::size_t {
    NameLengthAt = 64, TypeAt = 66, ColourAt = 67, LeftAt = 68, RightAt = 72, ChildAt = 76, ClsidAt = 80,
    StartAt = 116, SizeAt = 120,
};

enum EntryType : std::uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5 };

} // namespace glimmer::cfb
