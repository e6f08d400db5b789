#include "CompoundFileEditor.h"

#include "formats/CompoundFileLayout.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace glimmer::test {

using namespace cfb;

CompoundFileEditor::CompoundFileEditor(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    if (bytes.size() < HeaderSize)
        throw std::runtime_error("not a compound file");
    sectorSize_ = 1u << (bytes[SectorShiftAt] | bytes[SectorShiftAt + 1] << 8);
    const std::uint32_t fatCount = u32(FatSectorsAt);
    for (std::uint32_t i = 0; i < fatCount && i < HeaderFatSlots; ++i)
        fatSectors_.push_back(u32(FatAt + 4 * i));
    directory_ = chain(u32(DirectoryStartAt));
    miniFat_ = chain(u32(MiniFatStartAt));
    miniStream_ = chain(startSector(0));
}

std::uint32_t CompoundFileEditor::u32(std::size_t o) const
{
    return bytes.at(o) | bytes.at(o + 1) << 8 | bytes.at(o + 2) << 16 | std::uint32_t{bytes.at(o + 3)} << 24;
}

void CompoundFileEditor::setU32(std::size_t o, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes.at(o + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * i));
}

std::size_t CompoundFileEditor::fatEntryOffset(std::uint32_t sector) const
{
    const std::uint32_t perSector = sectorSize_ / 4;
    return sectorOffset(fatSectors_.at(sector / perSector)) + 4 * (sector % perSector);
}

std::uint32_t CompoundFileEditor::next(std::uint32_t sector) const
{
    return u32(fatEntryOffset(sector));
}

std::size_t CompoundFileEditor::miniFatEntryOffset(std::uint32_t sector) const
{
    const std::uint32_t perSector = sectorSize_ / 4;
    return sectorOffset(miniFat_.at(sector / perSector)) + 4 * (sector % perSector);
}

std::uint32_t CompoundFileEditor::miniNext(std::uint32_t sector) const
{
    return u32(miniFatEntryOffset(sector));
}

std::vector<std::uint32_t> CompoundFileEditor::chain(std::uint32_t start) const
{
    std::vector<std::uint32_t> sectors;
    for (std::uint32_t s = start; s < MaxRegularSector && sectors.size() < bytes.size() / sectorSize_; s = next(s))
        sectors.push_back(s);
    return sectors;
}

std::size_t CompoundFileEditor::entryOffset(std::uint32_t entry) const
{
    const std::uint32_t perSector = sectorSize_ / EntrySize;
    return sectorOffset(directory_.at(entry / perSector)) + EntrySize * (entry % perSector);
}

std::uint32_t CompoundFileEditor::entry(const std::string& name) const
{
    const std::uint32_t count = static_cast<std::uint32_t>(directory_.size() * (sectorSize_ / EntrySize));
    for (std::uint32_t e = 0; e < count; ++e) {
        const std::size_t o = entryOffset(e);
        const std::size_t length = bytes[o + NameLengthAt] | bytes[o + NameLengthAt + 1] << 8;
        std::string n;
        for (std::size_t i = 0; i + 2 < length && i < NameLengthAt; i += 2)
            n.push_back(static_cast<char>(bytes[o + i]));   // the names we look for are ASCII
        if (n == name && bytes[o + TypeAt] != Unused)
            return e;
    }
    throw std::runtime_error("no entry " + name);
}

std::uint32_t CompoundFileEditor::streamSize(std::uint32_t entry) const
{
    return u32(entryOffset(entry) + SizeAt);
}

std::uint32_t CompoundFileEditor::startSector(std::uint32_t entry) const
{
    return u32(entryOffset(entry) + StartAt);
}

std::size_t CompoundFileEditor::streamOffset(std::uint32_t entry, std::size_t at) const
{
    std::uint32_t s = startSector(entry);
    if (entry != 0 && streamSize(entry) < MiniStreamCutoff) {
        for (std::size_t skip = at / MiniSectorSize; skip > 0; --skip)
            s = miniNext(s);
        const std::size_t inMini = std::size_t{s} * MiniSectorSize + at % MiniSectorSize;
        return sectorOffset(miniStream_.at(inMini / sectorSize_)) + inMini % sectorSize_;
    }
    for (std::size_t skip = at / sectorSize_; skip > 0; --skip)
        s = next(s);
    return sectorOffset(s) + at % sectorSize_;
}

void CompoundFileEditor::write(const std::filesystem::path& file) const
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace glimmer::test
