#include "fuzz/support/PaddedDocument.h"

#include "formats/CompoundFileLayout.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <string>

namespace glimmer::test {

using namespace cfb;

namespace {

std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t o)
{
    if (o + 4 > b.size())
        throw std::runtime_error("not a compound file: a sector lies beyond its end");
    return b[o] | b[o + 1] << 8 | b[o + 2] << 16 | std::uint32_t{b[o + 3]} << 24;
}

void put32(std::vector<std::uint8_t>& b, std::size_t o, std::uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i)
        b.at(o + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

void put16(std::vector<std::uint8_t>& b, std::size_t o, std::uint32_t v)
{
    b.at(o) = static_cast<std::uint8_t>(v);
    b.at(o + 1) = static_cast<std::uint8_t>(v >> 8);
}

} // namespace

void writePaddedDocument(const std::filesystem::path& path, const std::vector<std::uint8_t>& document,
                         std::uint64_t paddingBytes)
{
    std::vector<std::uint8_t> d = document;
    if (d.size() < HeaderSize || !std::equal(std::begin(Signature), std::end(Signature), d.begin()))
        throw std::runtime_error("not a compound file");
    if (paddingBytes < MiniStreamCutoff)
        throw std::runtime_error("padding smaller than the mini stream's cutoff");
    const std::uint32_t ss = 1u << (d[SectorShiftAt] | d[SectorShiftAt + 1] << 8);
    const std::uint32_t perSector = ss / 4;
    const bool version3 = ss == 512;
    d.resize((d.size() + ss - 1) / ss * ss, 0);
    const auto own = static_cast<std::uint32_t>(d.size() / ss - 1);
    const auto at = [&](std::uint32_t s) { return (std::size_t{s} + 1) * ss; };

    // Its allocation table: the header's sectors, then the extension sectors'.
    std::vector<std::uint32_t> fatSectors;
    const std::uint32_t fatCount = get32(d, FatSectorsAt);
    for (std::uint32_t i = 0; i < std::min(fatCount, HeaderFatSlots); ++i)
        fatSectors.push_back(get32(d, FatAt + 4 * i));
    for (std::uint32_t x = get32(d, DifatStartAt); fatSectors.size() < fatCount; x = get32(d, at(x) + ss - 4)) {
        for (std::uint32_t i = 0; i + 1 < perSector && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(get32(d, at(x) + 4 * i));
    }
    const auto next = [&](std::uint32_t s) {
        if (s / perSector >= fatSectors.size())
            return FreeSector;
        return get32(d, at(fatSectors[s / perSector]) + 4 * (s % perSector));
    };

    // Its directory, and an unused entry in it for the padding, or a sector more.
    std::vector<std::uint32_t> directory;
    for (std::uint32_t s = get32(d, DirectoryStartAt); s <= MaxRegularSector; s = next(s)) {
        directory.push_back(s);
        if (directory.size() > own)
            throw std::runtime_error("the directory's chain loops");
    }
    const std::uint32_t perDirSector = ss / EntrySize;
    const auto entryAt = [&](std::uint32_t i) { return at(directory.at(i / perDirSector)) + EntrySize * (i % perDirSector); };
    auto entries = static_cast<std::uint32_t>(directory.size() * perDirSector);
    std::uint32_t padding = 0;
    for (std::uint32_t i = 1; i < entries && padding == 0; ++i)
        if (d[entryAt(i) + TypeAt] == Unused)
            padding = i;
    const bool newDirSector = padding == 0;
    if (newDirSector) {
        d.resize(d.size() + ss, 0);
        directory.push_back(own);
        padding = entries;
        entries += perDirSector;
    }
    const std::uint32_t body = own + (newDirSector ? 1 : 0);

    // Sector numbers: the padding, the document's own (shifted by the
    // padding), then the new table and its extension sectors.
    const std::uint64_t pad = (paddingBytes + ss - 1) / ss;
    std::uint64_t fatN = 1, difatN = 0;
    for (;;) {
        const std::uint64_t total = pad + body + fatN + difatN;
        const std::uint64_t needFat = (total + perSector - 1) / perSector;
        const std::uint64_t needDifat =
            needFat > HeaderFatSlots ? (needFat - HeaderFatSlots + perSector - 2) / (perSector - 1) : 0;
        if (needFat == fatN && needDifat == difatN)
            break;
        fatN = needFat;
        difatN = needDifat;
    }
    if (pad + body + fatN + difatN > MaxRegularSector)
        throw std::runtime_error("padding too large for the sector numbers");
    const auto shifted = [&](std::uint32_t s) { return static_cast<std::uint32_t>(s + pad); };

    std::vector<std::uint32_t> table(static_cast<std::size_t>(fatN * perSector), FreeSector);
    for (std::uint64_t s = 0; s < pad; ++s)
        table[s] = s + 1 < pad ? static_cast<std::uint32_t>(s + 1) : EndOfChain;
    for (std::uint32_t s = 0; s < own; ++s) {
        const std::uint32_t v = next(s);
        // The document's own table and extension sectors are left unused.
        table[pad + s] = v <= MaxRegularSector ? shifted(v) : v == FatSector || v == DifatSector ? FreeSector : v;
    }
    if (newDirSector) {
        table[pad + directory[directory.size() - 2]] = shifted(own);
        table[pad + own] = EndOfChain;
    }
    const std::uint64_t firstFat = pad + body;
    for (std::uint64_t i = 0; i < fatN; ++i)
        table[firstFat + i] = FatSector;
    for (std::uint64_t i = 0; i < difatN; ++i)
        table[firstFat + fatN + i] = DifatSector;

    // The entries' first sectors move with the sectors; mini sectors stay.
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t e = entryAt(i);
        if (newDirSector && i >= padding) {
            put32(d, e + LeftAt, NoStream);
            put32(d, e + RightAt, NoStream);
            put32(d, e + ChildAt, NoStream);
            continue;
        }
        const std::uint8_t type = d[e + TypeAt];
        const std::uint32_t start = get32(d, e + StartAt);
        const std::uint64_t size = get32(d, e + SizeAt) | (version3 ? 0 : std::uint64_t{get32(d, e + SizeAt + 4)} << 32);
        if (((type == cfb::Stream && size >= MiniStreamCutoff) || type == Root) && start <= MaxRegularSector)
            put32(d, e + StartAt, shifted(start));
    }
    // The padding: the root's first child, the root's other entries to its
    // right (a search tree while its name is the shortest there).
    const std::size_t e = entryAt(padding);
    std::fill(d.begin() + static_cast<std::ptrdiff_t>(e), d.begin() + static_cast<std::ptrdiff_t>(e + EntrySize), 0);
    const std::string name = "Padding";
    for (std::size_t c = 0; c < name.size(); ++c)
        put16(d, e + 2 * c, static_cast<unsigned char>(name[c]));
    put16(d, e + NameLengthAt, static_cast<std::uint32_t>(2 * (name.size() + 1)));
    d[e + TypeAt] = cfb::Stream;
    d[e + ColourAt] = 1;
    put32(d, e + LeftAt, NoStream);
    put32(d, e + RightAt, get32(d, entryAt(0) + ChildAt));
    put32(d, e + ChildAt, NoStream);
    put32(d, e + StartAt, 0);
    put32(d, e + SizeAt, static_cast<std::uint32_t>(paddingBytes));
    if (!version3)
        put32(d, e + SizeAt + 4, static_cast<std::uint32_t>(paddingBytes >> 32));
    else if (paddingBytes >> 32)
        throw std::runtime_error("padding too large for a version 3 file");
    put32(d, entryAt(0) + ChildAt, padding);

    std::vector<std::uint8_t> header(d.begin(), d.begin() + ss);
    put32(header, FatSectorsAt, static_cast<std::uint32_t>(fatN));
    put32(header, DirectoryStartAt, shifted(directory.front()));
    if (const std::uint32_t miniFat = get32(d, MiniFatStartAt); miniFat <= MaxRegularSector)
        put32(header, MiniFatStartAt, shifted(miniFat));
    put32(header, DifatStartAt, difatN ? static_cast<std::uint32_t>(firstFat + fatN) : EndOfChain);
    put32(header, DifatSectorsAt, static_cast<std::uint32_t>(difatN));
    for (std::uint32_t i = 0; i < HeaderFatSlots; ++i)
        put32(header, FatAt + 4 * i, i < fatN ? static_cast<std::uint32_t>(firstFat + i) : FreeSector);
    if (!version3)
        put32(header, DirectorySectorsAt, static_cast<std::uint32_t>(directory.size()));

    std::vector<std::uint8_t> tail(static_cast<std::size_t>((fatN + difatN) * ss), 0);
    for (std::size_t i = 0; i < table.size(); ++i)
        put32(tail, 4 * i, table[i]);
    for (std::uint64_t k = 0; k < difatN; ++k) {
        const std::size_t o = static_cast<std::size_t>((fatN + k) * ss);
        for (std::uint32_t i = 0; i + 1 < perSector; ++i) {
            const std::uint64_t listed = HeaderFatSlots + k * (perSector - 1) + i;
            put32(tail, o + 4 * i, listed < fatN ? static_cast<std::uint32_t>(firstFat + listed) : FreeSector);
        }
        put32(tail, o + ss - 4, k + 1 < difatN ? static_cast<std::uint32_t>(firstFat + fatN + k + 1) : EndOfChain);
    }

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    // Seeking past the end leaves a hole.
    out.seekp(static_cast<std::streamoff>((1 + pad) * ss));
    out.write(reinterpret_cast<const char*>(d.data() + ss), static_cast<std::streamsize>(std::size_t{body} * ss));
    out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace glimmer::test
