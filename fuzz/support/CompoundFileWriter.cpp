#include "fuzz/support/CompoundFileWriter.h"

#include "formats/CompoundFileLayout.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace glimmer::seeds {

namespace {

using namespace cfb;

struct Node {
    std::string name;
    std::uint8_t type = cfb::Stream;
    const std::vector<std::byte>* bytes = nullptr;
    std::vector<std::uint32_t> children;
    std::uint32_t left = NoStream, right = NoStream, child = NoStream, start = EndOfChain;
    std::uint64_t size = 0;
    bool red = false;
};

void put(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The directory's order: shorter names first, then by their upper case.
bool before(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return a.size() < b.size();
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) < std::toupper(static_cast<unsigned char>(y));
    });
}

int levels(std::size_t n)
{
    int d = 0;
    while (n >>= 1)
        ++d;
    return d;
}

// A balanced tree over sorted ids[lo, hi): black above its deepest level, red on it.
std::uint32_t tree(std::vector<Node>& nodes, const std::vector<std::uint32_t>& ids, std::size_t lo, std::size_t hi,
                   int depth, int deepest)
{
    if (lo == hi)
        return NoStream;
    const std::size_t mid = lo + (hi - lo) / 2;
    Node& n = nodes[ids[mid]];
    n.red = deepest > 0 && depth == deepest;
    n.left = tree(nodes, ids, lo, mid, depth + 1, deepest);
    n.right = tree(nodes, ids, mid + 1, hi, depth + 1, deepest);
    return ids[mid];
}

} // namespace

std::vector<std::uint8_t> compoundFile(const std::vector<Stream>& streams, std::size_t sectorSize)
{
    if (sectorSize != 512 && sectorSize != 4096)
        throw std::invalid_argument("sectors are 512 or 4096 bytes");
    std::vector<Node> nodes(1);
    nodes[0].name = "Root Entry";
    nodes[0].type = Root;
    for (const Stream& s : streams) {
        std::uint32_t dir = 0;
        for (std::size_t from = 0;;) {
            const std::size_t slash = s.path.find('/', from);
            const std::string name = s.path.substr(from, slash - from);
            auto& kids = nodes[dir].children;
            const auto it = std::find_if(kids.begin(), kids.end(), [&](auto id) { return nodes[id].name == name; });
            std::uint32_t id = it != kids.end() ? *it : static_cast<std::uint32_t>(nodes.size());
            if (it == kids.end()) {
                nodes[dir].children.push_back(id);
                nodes.emplace_back().name = name;
                nodes.back().type = slash == std::string::npos ? cfb::Stream : cfb::Storage;
            }
            if (slash == std::string::npos) {
                nodes[id].bytes = &s.bytes;
                nodes[id].size = s.bytes.size();
                break;
            }
            dir = id;
            from = slash + 1;
        }
    }
    for (Node& n : nodes) {
        if (n.children.empty())
            continue;
        auto ids = n.children;
        std::sort(ids.begin(), ids.end(), [&](auto a, auto b) { return before(nodes[a].name, nodes[b].name); });
        n.child = tree(nodes, ids, 0, ids.size(), 0, levels(ids.size()));
    }

    // Sectors in order: big streams, the mini stream, the mini table, the directory, the table.
    const std::size_t perSector = sectorSize / 4;
    std::vector<std::uint8_t> mini;
    std::vector<std::uint32_t> miniFat;
    std::vector<std::uint32_t> fat;
    std::vector<std::uint8_t> body;
    const auto chain = [](std::vector<std::uint32_t>& table, std::size_t count) {
        const auto start = static_cast<std::uint32_t>(table.size());
        for (std::size_t i = 1; i <= count; ++i)
            table.push_back(i == count ? EndOfChain : start + static_cast<std::uint32_t>(i));
        return count ? start : EndOfChain;
    };
    const auto append = [&](const std::uint8_t* data, std::size_t n) {
        const std::size_t count = (n + sectorSize - 1) / sectorSize;
        body.insert(body.end(), data, data + n);
        body.resize(body.size() + count * sectorSize - n, 0);
        return chain(fat, count);
    };
    for (Node& n : nodes) {
        if (n.type != cfb::Stream || n.size == 0)
            continue;
        const auto* data = reinterpret_cast<const std::uint8_t*>(n.bytes->data());
        if (n.size >= MiniStreamCutoff) {
            n.start = append(data, n.bytes->size());
        } else {
            n.start = chain(miniFat, (n.size + MiniSectorSize - 1) / MiniSectorSize);
            mini.insert(mini.end(), data, data + n.size);
            mini.resize(miniFat.size() * MiniSectorSize, 0);
        }
    }
    nodes[0].size = mini.size();
    nodes[0].start = append(mini.data(), mini.size());
    std::vector<std::uint8_t> table(miniFat.size() * 4);
    for (std::size_t i = 0; i < miniFat.size(); ++i)
        put(table, 4 * i, miniFat[i], 4);
    const std::uint32_t miniFatStart = append(table.data(), table.size());
    const std::size_t miniFatSectors = (table.size() + sectorSize - 1) / sectorSize;

    std::vector<std::uint8_t> dir((nodes.size() * 128 + sectorSize - 1) / sectorSize * sectorSize, 0);
    for (std::size_t i = 0; i < dir.size() / 128; ++i) {
        const std::size_t e = 128 * i;
        put(dir, e + LeftAt, NoStream, 4);
        put(dir, e + RightAt, NoStream, 4);
        put(dir, e + ChildAt, NoStream, 4);
        if (i >= nodes.size())
            continue;
        const Node& n = nodes[i];
        if (n.name.size() > 31)
            throw std::invalid_argument("a name longer than 31 characters");
        for (std::size_t c = 0; c < n.name.size(); ++c)
            put(dir, e + 2 * c, static_cast<unsigned char>(n.name[c]), 2);
        put(dir, e + NameLengthAt, 2 * (n.name.size() + 1), 2);
        dir[e + TypeAt] = n.type;
        dir[e + ColourAt] = n.red ? 0 : 1;
        put(dir, e + LeftAt, n.left, 4);
        put(dir, e + RightAt, n.right, 4);
        put(dir, e + ChildAt, n.child, 4);
        put(dir, e + StartAt, n.type == cfb::Storage ? 0 : n.start, 4);
        put(dir, e + SizeAt, n.size, 8);
    }
    const std::uint32_t dirStart = append(dir.data(), dir.size());

    std::size_t fatSectors = 0;
    while (fatSectors * perSector < fat.size() + fatSectors)
        ++fatSectors;
    if (fatSectors > HeaderFatSlots)
        throw std::invalid_argument("too large for a header without extension sectors");
    const auto firstFat = static_cast<std::uint32_t>(fat.size());
    fat.resize(fat.size() + fatSectors, FatSector);
    fat.resize(fatSectors * perSector, FreeSector);
    table.assign(fat.size() * 4, 0);
    for (std::size_t i = 0; i < fat.size(); ++i)
        put(table, 4 * i, fat[i], 4);
    body.insert(body.end(), table.begin(), table.end());

    std::vector<std::uint8_t> file(sectorSize, 0);
    std::copy(std::begin(Signature), std::end(Signature), file.begin());
    put(file, MinorVersionAt, 0x3E, 2);
    put(file, MajorAt, sectorSize == 512 ? 3 : 4, 2);
    put(file, ByteOrderAt, 0xFFFE, 2);
    put(file, SectorShiftAt, sectorSize == 512 ? 9 : 12, 2);
    put(file, MiniShiftAt, 6, 2);
    put(file, DirectorySectorsAt, sectorSize == 512 ? 0 : dir.size() / sectorSize, 4);
    put(file, FatSectorsAt, fatSectors, 4);
    put(file, DirectoryStartAt, dirStart, 4);
    put(file, MiniCutoffAt, MiniStreamCutoff, 4);
    put(file, MiniFatStartAt, miniFatStart, 4);
    put(file, MiniFatSectorsAt, miniFatSectors, 4);
    put(file, DifatStartAt, EndOfChain, 4);
    for (std::size_t i = 0; i < HeaderFatSlots; ++i)
        put(file, FatAt + 4 * i, i < fatSectors ? firstFat + i : FreeSector, 4);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

} // namespace glimmer::seeds
