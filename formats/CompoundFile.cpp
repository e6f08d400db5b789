#include "formats/CompoundFile.h"

#include "formats/CompoundFileLayout.h"
#include "formats/Text.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

namespace glimmer {

namespace {

using Code = FormatError::Code;

using namespace cfb;

std::vector<std::string_view> splitPath(std::string_view path)
{
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const auto slash = path.find('/');
        const auto part = path.substr(0, slash);
        if (!part.empty())
            parts.push_back(part);
        if (slash == std::string_view::npos)
            break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}


// The header's fields, as the header is read.
struct Header {
    std::uint16_t major = 0;
    std::uint16_t byteOrder = 0;
    std::uint16_t sectorShift = 0;
    std::uint16_t miniShift = 0;
    std::uint32_t fatSectors = 0;
    std::uint32_t directoryStart = 0;
    std::uint32_t miniCutoff = 0;
    std::uint32_t miniFatStart = 0;
    std::uint32_t miniFatSectors = 0;
    std::uint32_t difatStart = 0;
    std::uint32_t difatSectors = 0;
    std::array<std::uint32_t, HeaderFatSlots> fat{};   // the first sectors of the allocation table
};

Header readHeader(std::span<const std::byte, HeaderSize> bytes)
{
    ByteReader in(bytes, MajorAt);
    Header h;
    h.major = in.u16le();
    h.byteOrder = in.u16le();
    h.sectorShift = in.u16le();
    h.miniShift = in.u16le();
    in.seek(FatSectorsAt);
    h.fatSectors = in.u32le();
    h.directoryStart = in.u32le();
    in.skip(4);   // transaction signature
    h.miniCutoff = in.u32le();
    h.miniFatStart = in.u32le();
    h.miniFatSectors = in.u32le();
    h.difatStart = in.u32le();
    h.difatSectors = in.u32le();
    for (auto& s : h.fat)
        s = in.u32le();
    return h;
}

// A directory entry's fields.
struct DirectoryEntry {
    std::string name;   // UTF-8
    std::uint8_t type = Unused;
    std::uint32_t left = NoStream;
    std::uint32_t right = NoStream;
    std::uint32_t child = NoStream;
    std::array<std::byte, 16> clsid{};
    std::uint32_t start = 0;
    std::uint64_t size = 0;
};

// Reads one entry of EntrySize bytes; its name, UTF-16 in the file, as
// UTF-8 (a lone surrogate as U+FFFD).
DirectoryEntry readEntry(std::span<const std::byte> bytes, bool version3)
{
    ByteReader in(bytes);
    DirectoryEntry e;
    const auto name = in.take(64);
    e.name = utf8FromUtf16le(name.first(std::min<std::size_t>(in.u16le(), name.size())));
    e.type = in.u8();
    in.skip(1);   // red or black
    e.left = in.u32le();
    e.right = in.u32le();
    e.child = in.u32le();
    const auto clsid = in.take(e.clsid.size());
    std::copy(clsid.begin(), clsid.end(), e.clsid.begin());
    in.skip(4 + 16);   // state bits, times
    e.start = in.u32le();
    const std::uint32_t low = in.u32le();
    const std::uint32_t high = in.u32le();
    // Version 3 writers may leave junk in a size's upper half.
    e.size = version3 ? low : low | std::uint64_t{high} << 32;
    return e;
}

// The sector numbers a table sector holds.
void readTable(std::span<const std::byte> bytes, std::uint32_t* out)
{
    ByteReader in(bytes);
    while (in.remaining() >= 4)
        *out++ = in.u32le();
}

// A file this small is read whole at once: one read costs less than the
// dozen or so its tables and directory would take one by one.
constexpr std::uint64_t WholeFileBytes = 256 * 1024;

// The document's bytes. Reads go to the source at an offset, or to the copy
// of a small file, and the bytes the source returns are counted.
struct Source {
    std::unique_ptr<ByteSource> bytes;
    std::uint64_t size = 0;
    std::atomic<std::uint64_t> bytesRead{0};
    std::vector<std::byte> whole;   // a small file's bytes, read at open

    // Reads a small file whole; should that fail (the file shrank), reads
    // stay piecewise and name what is missing.
    void readWholeIfSmall()
    {
        if (size > WholeFileBytes)
            return;
        std::vector<std::byte> all(static_cast<std::size_t>(size));
        if (readAt(0, all.data(), all.size()))
            whole = std::move(all);
    }

    void close() noexcept
    {
        bytes.reset();
        std::vector<std::byte>().swap(whole);
    }

    bool readAt(std::uint64_t offset, void* buffer, std::size_t n)
    {
        if (!bytes || offset > size || n > size - offset)
            return false;
        if (!whole.empty()) {
            std::memcpy(buffer, whole.data() + offset, n);
            return true;
        }
        const std::size_t got = bytes->readAt(offset, std::span(static_cast<std::byte*>(buffer), n));
        bytesRead.fetch_add(got, std::memory_order_relaxed);
        return got == n;
    }
};

// Pieces of the file to be read into one buffer, one read per run of pieces
// that lie side by side in the file.
class Gather {
public:
    void add(std::uint64_t offset, std::size_t n)
    {
        if (!runs_.empty() && runs_.back().first + runs_.back().second == offset)
            runs_.back().second += n;
        else
            runs_.emplace_back(offset, n);
    }

    bool readInto(Source& source, std::byte* out) const
    {
        for (const auto& [offset, n] : runs_) {
            if (!source.readAt(offset, out, n))
                return false;
            out += n;
        }
        return true;
    }

private:
    std::vector<std::pair<std::uint64_t, std::size_t>> runs_;
};

// A sector chain as far as it has been followed. Its number marks the
// sectors it has taken, so that a sector met twice is a loop and a sector
// another chain took is a cross-link.
struct Chain {
    std::uint32_t start = EndOfChain;
    std::uint32_t number = 0;   // 0 until it is first followed
    bool ended = false;
    std::vector<std::uint32_t> sectors;
};

// One sector of an allocation table, read when one of its entries is first
// needed: each sector's successor, and the number of the chain that took it.
struct TablePage {
    std::vector<std::uint32_t> next;
    std::vector<std::uint32_t> owner;
};

struct Entry {
    std::string name;   // UTF-8
    EntryType type = Unused;
    std::uint64_t size = 0;
    // A stream's chain as far as it was followed: mini sectors when it lives
    // in the mini stream.
    Chain chain;
    // A storage's entries, in the order of its tree, and the same sorted by name.
    std::vector<std::uint32_t> children;
    std::vector<std::uint32_t> byName;
    // Its siblings and its first child in the directory's tree.
    std::uint32_t left = NoStream, right = NoStream, child = NoStream;
};

} // namespace

struct CompoundFile::Impl {
    std::unique_ptr<Source> source;
    std::uint32_t sectorShift = 9;
    std::uint64_t sectorCount = 0;   // whole sectors after the header
    Header header;
    std::array<std::byte, 16> clsid{};
    std::vector<Entry> entries;

    // What has been read of the tables so far; read() adds to it, so it is
    // guarded by `lock`.
    std::mutex lock;
    std::uint32_t chains = 0;   // chains numbered so far
    std::vector<std::uint32_t> fatSectors;   // the table's sectors; FreeSector where not read yet
    std::vector<std::uint32_t> difat;        // the extension sectors found so far, in order
    std::vector<bool> taken;                 // sectors listed as table or extension sectors
    std::vector<std::unique_ptr<TablePage>> fat;
    Chain miniFatChain;
    std::vector<std::unique_ptr<TablePage>> miniFat;
    Chain miniStream;   // the sectors holding the mini stream
    std::uint64_t miniStreamSize = 0;

    void checkHeader();
    void readStructure();
    void take(std::uint32_t s, std::size_t offset);
    std::uint32_t fatSector(std::uint32_t index);
    TablePage* page(bool mini, std::uint32_t s);
    template <typename What>
    void follow(Chain& chain, bool mini, std::size_t count, const What& what);
    std::vector<std::byte> readStream(Entry& e, std::size_t want, bool fetch);
    Entry& stream(std::string_view path);
    void readSectors(const std::vector<std::uint32_t>& sectors, std::byte* out) const;
    Entry* find(std::string_view path);
    const Entry& storage(std::string_view path);
};

// The header's own consistency, and its claims against the file's size,
// before anything is allocated from them.
void CompoundFile::Impl::checkHeader()
{
    std::array<std::byte, HeaderSize> bytes{};
    const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(source->size, HeaderSize));
    const bool read = source->readAt(0, bytes.data(), got);
    if (!read || got < sizeof(Signature) || std::memcmp(bytes.data(), Signature, sizeof(Signature)) != 0)
        throw FormatError(Code::BadSignature, "not a compound file", 0);
    if (got < HeaderSize)
        throw FormatError(Code::Truncated, "truncated: the file ends inside its header", source->size);
    header = readHeader(bytes);
    const Header& h = header;

    sectorShift = h.sectorShift;
    if (h.byteOrder != 0xFFFE)
        throw FormatError(Code::BadValue, "bad compound file header: byte order mark", ByteOrderAt);
    if (!((h.major == 3 && sectorShift == 9) || (h.major == 4 && sectorShift == 12)))
        throw FormatError(Code::Unsupported, "unsupported compound file version or sector size", MajorAt);
    if (h.miniShift != 6 || h.miniCutoff != MiniStreamCutoff)
        throw FormatError(Code::BadValue, "bad compound file header: mini sector size", MiniShiftAt);

    const std::uint64_t sectorSize = std::uint64_t{1} << sectorShift;
    // Version 4 files give the whole first sector to the header.
    const std::uint64_t firstSector = sectorSize;
    sectorCount = source->size > firstSector ? (source->size - firstSector) / sectorSize : 0;
    if (sectorCount > MaxSectors)
        throw FormatError(Code::TooLarge, "the compound file is too large", 0);

    // The allocation table has one entry per sector of the file: no more of
    // its sectors than that needs, and no more extension sectors than those need.
    const std::uint64_t perSector = sectorSize / 4;
    if (h.fatSectors == 0)
        throw FormatError(Code::BadValue, "bad compound file header: no allocation table", FatSectorsAt);
    if (h.fatSectors > (sectorCount + perSector - 1) / perSector)
        throw FormatError(Code::Truncated, "truncated: the allocation table is larger than the file", FatSectorsAt);
    const std::uint64_t listed = h.fatSectors > HeaderFatSlots ? h.fatSectors - HeaderFatSlots : 0;
    if (h.difatSectors > (listed + perSector - 2) / (perSector - 1))
        throw FormatError(Code::BadValue,
                          "bad compound file header: more extension sectors than the allocation table needs",
                          DifatSectorsAt);
    if (h.directoryStart > MaxRegularSector)
        throw FormatError(Code::BadValue, "bad compound file header: no directory", DirectoryStartAt);
    if (h.directoryStart >= sectorCount)
        throw FormatError(Code::Truncated, "truncated: the directory lies beyond the end of the file",
                          DirectoryStartAt);
    for (std::uint32_t i = 0; i < std::min(h.fatSectors, HeaderFatSlots); ++i) {
        const std::uint32_t s = h.fat[i];
        if (s == FreeSector || s == EndOfChain || s > MaxRegularSector)
            throw FormatError(Code::BadValue, "bad compound file header: allocation table sector missing",
                              FatAt + 4 * i);
        if (s >= sectorCount)
            throw FormatError(Code::Truncated, "truncated: the allocation table lies beyond the end of the file",
                              FatAt + 4 * i);
    }
}

// Reads whole sectors, in order, into `out`.
void CompoundFile::Impl::readSectors(const std::vector<std::uint32_t>& sectors, std::byte* out) const
{
    const std::size_t sectorSize = std::size_t{1} << sectorShift;
    Gather pieces;
    for (const std::uint32_t s : sectors) {
        if (s >= sectorCount)
            throw FormatError(Code::Truncated, "truncated: a sector lies beyond the end of the file");
        pieces.add((std::uint64_t{s} + 1) << sectorShift, sectorSize);
    }
    if (!pieces.readInto(*source, out))
        throw FormatError(Code::Truncated, "truncated: a sector lies beyond the end of the file");
}

// Each sector of the file may be listed once among the allocation table's
// sectors and its extension sectors together.
void CompoundFile::Impl::take(std::uint32_t s, std::size_t offset)
{
    if (s >= sectorCount)
        throw FormatError(Code::Truncated, "truncated: the allocation table lies beyond the end of the file", offset);
    if (taken[s])
        throw FormatError(Code::BadValue,
                          "damaged compound file: the allocation table's sector list names sector " + std::to_string(s)
                              + " twice",
                          offset);
    taken[s] = true;
}

// The allocation table's sector `index` (below the header's count): the
// first 109 are listed in the header, the rest in a chain of extension
// (DIFAT) sectors. Of the extension sectors before the one that lists
// `index`, only their links to the next are read; that one is read whole.
std::uint32_t CompoundFile::Impl::fatSector(std::uint32_t index)
{
    const Header& h = header;
    if (fatSectors[index] != FreeSector)
        return fatSectors[index];
    const std::size_t perSector = (std::size_t{1} << sectorShift) / 4;
    const std::size_t perDifat = perSector - 1;   // the last entry names the next extension sector
    const std::size_t j = (index - HeaderFatSlots) / perDifat;
    while (difat.size() <= j) {
        std::uint32_t d = h.difatStart;
        if (!difat.empty()) {
            std::byte link[4];
            if (!source->readAt(((std::uint64_t{difat.back()} + 1) << sectorShift) + 4 * perDifat, link, sizeof link))
                throw FormatError(Code::Truncated, "truncated: a sector lies beyond the end of the file");
            readTable(link, &d);
        }
        if (d >= sectorCount || difat.size() >= h.difatSectors)
            throw FormatError(Code::Truncated, "truncated: the allocation table's sector list ends early", DifatStartAt);
        if (taken[d])
            throw FormatError(Code::Loop, "damaged compound file: the allocation table's sector list loops", DifatStartAt);
        taken[d] = true;
        difat.push_back(d);
    }
    std::vector<std::byte> block(perSector * 4);
    readSectors({difat[j]}, block.data());
    std::vector<std::uint32_t> list(perSector);
    readTable(block, list.data());
    for (std::size_t i = 0, at = HeaderFatSlots + j * perDifat; i < perDifat && at < h.fatSectors; ++i, ++at) {
        const std::uint32_t s = list[i];
        if (s > MaxRegularSector)
            throw FormatError(Code::BadValue, "damaged compound file: allocation table sector missing");
        take(s, 0);
        fatSectors[at] = s;
    }
    return fatSectors[index];
}

// The page of the allocation table (or of the mini one) that holds sector
// `s`, read when first asked for; null when the table ends before it.
TablePage* CompoundFile::Impl::page(bool mini, std::uint32_t s)
{
    const std::size_t perSector = (std::size_t{1} << sectorShift) / 4;
    const std::size_t index = s / perSector;
    std::uint32_t sector = 0;
    if (!mini) {
        if (index >= header.fatSectors)
            return nullptr;
        if (fat.empty())
            fat.resize(header.fatSectors);
        if (fat[index])
            return fat[index].get();
        sector = fatSector(static_cast<std::uint32_t>(index));
    } else {
        if (header.miniFatSectors == 0)
            return nullptr;
        if (index < miniFat.size() && miniFat[index])
            return miniFat[index].get();
        follow(miniFatChain, false, index + 1, [] { return std::string("the mini allocation table"); });
        if (miniFatChain.sectors.size() <= index)
            return nullptr;
        sector = miniFatChain.sectors[index];
    }
    std::vector<std::byte> raw(perSector * 4);
    readSectors({sector}, raw.data());
    auto loaded = std::make_unique<TablePage>();
    loaded->next.resize(perSector);
    loaded->owner.assign(perSector, 0);
    readTable(raw, loaded->next.data());
    auto& pages = mini ? miniFat : fat;
    if (pages.size() <= index)
        pages.resize(index + 1);
    pages[index] = std::move(loaded);
    return pages[index].get();
}

// Follows `chain` through the allocation table (or the mini one) until it
// holds `count` sectors or ends, checking each sector as it is met: beyond
// the table, met before in this chain (a loop), taken by another chain.
// `what` names the chain's owner for an error.
template <typename What>
void CompoundFile::Impl::follow(Chain& chain, bool mini, std::size_t count, const What& what)
{
    const std::size_t perSector = (std::size_t{1} << sectorShift) / 4;
    if (chain.number == 0)
        chain.number = ++chains;
    while (!chain.ended && chain.sectors.size() < count) {
        std::uint32_t s = chain.start;
        if (!chain.sectors.empty()) {
            const std::uint32_t last = chain.sectors.back();
            s = page(mini, last)->next[last % perSector];
        }
        if (s == EndOfChain) {
            chain.ended = true;
            break;
        }
        TablePage* in = s > MaxRegularSector ? nullptr : page(mini, s);
        if (!in)
            throw FormatError(Code::Truncated, "truncated: " + what() + " runs beyond the allocation table");
        std::uint32_t& owner = in->owner[s % perSector];
        if (owner == chain.number)
            throw FormatError(Code::Loop, "damaged compound file: the sector chain of " + what() + " loops");
        if (owner != 0)
            throw FormatError(Code::BadValue,
                              "damaged compound file: the sector chain of " + what() + " runs into another one");
        owner = chain.number;
        chain.sectors.push_back(s);
    }
}

// Reads the directory and walks its tree: loops in the directory's chain and
// tree, entries beyond the directory, streams larger than the file are each
// a named error here. A stream's own chain is followed, and checked, when
// the stream is read.
void CompoundFile::Impl::readStructure()
{
    const Header& h = header;
    const std::size_t sectorSize = std::size_t{1} << sectorShift;

    // The header's part of the table's sector list, checked before anything is read from it.
    taken.assign(static_cast<std::size_t>(sectorCount), false);
    fatSectors.assign(h.fatSectors, FreeSector);
    for (std::uint32_t i = 0; i < std::min(h.fatSectors, HeaderFatSlots); ++i) {
        take(h.fat[i], FatAt + 4 * i);
        fatSectors[i] = h.fat[i];
    }

    Chain directory;
    directory.start = h.directoryStart;
    const std::size_t maxSectors = MaxEntries * EntrySize / sectorSize;
    follow(directory, false, maxSectors + 1, [] { return std::string("the directory"); });
    if (directory.sectors.size() > maxSectors)
        throw FormatError(Code::TooLarge, "the compound file's directory is too large");
    std::vector<std::byte> dir(directory.sectors.size() * sectorSize);
    readSectors(directory.sectors, dir.data());
    const std::size_t entryCount = dir.size() / EntrySize;
    const auto entry = [&](std::uint32_t i) {
        return readEntry(std::span(dir).subspan(std::size_t{i} * EntrySize, EntrySize), sectorShift == 9);
    };
    const DirectoryEntry root = entryCount > 0 ? entry(0) : DirectoryEntry{};
    if (root.type != Root)
        throw FormatError(Code::BadValue, "damaged compound file: no root entry");
    clsid = root.clsid;
    miniStream.start = root.start;
    miniStreamSize = root.size;
    miniFatChain.start = h.miniFatStart;

    // Walk the tree from the root, each entry once. The root has no
    // siblings; whatever its sibling fields lead to is checked like the
    // rest, but belongs to no storage.
    entries.assign(entryCount, Entry{});
    entries[0].type = Root;
    entries[0].child = root.child;
    std::vector<bool> visited(entryCount, false);
    visited[0] = true;
    struct Pending {
        std::uint32_t id;
        std::size_t depth;
        std::uint32_t parent;
    };
    std::vector<Pending> pending{
        {root.left, 1, NoStream}, {root.right, 1, NoStream}, {root.child, 1, 0}};
    std::vector<std::uint32_t> storages{0};
    while (!pending.empty()) {
        const auto [id, depth, parent] = pending.back();
        pending.pop_back();
        if (id == NoStream)
            continue;
        if (id >= entryCount)
            throw FormatError(Code::BadValue, "damaged compound file: a directory entry refers beyond the directory");
        if (visited[id])
            throw FormatError(Code::Loop, "damaged compound file: a directory entry refers back into its own tree");
        if (depth > MaxTreeDepth)
            throw FormatError(Code::TooLarge, "damaged compound file: the directory tree is too deep");
        visited[id] = true;
        DirectoryEntry e = entry(id);
        if (e.type != Storage && e.type != Stream)
            throw FormatError(Code::BadValue, "damaged compound file: the directory tree holds an unused entry");
        Entry& current = entries[id];
        current.type = static_cast<EntryType>(e.type);
        current.name = std::move(e.name);
        current.left = e.left;
        current.right = e.right;
        pending.push_back({e.left, depth + 1, parent});
        pending.push_back({e.right, depth + 1, parent});
        if (e.type == Storage) {
            current.child = e.child;
            pending.push_back({e.child, depth + 1, id});
            storages.push_back(id);
            continue;
        }
        current.size = e.size;
        current.chain.start = e.start;
        if (current.size > source->size)
            throw FormatError(Code::Truncated, "truncated: stream \"" + printable(current.name) + "\" is larger than the file");
    }

    // Each storage's entries in the order of its tree (left, self, right),
    // which the walk above has shown to be a tree.
    for (const std::uint32_t id : storages) {
        Entry& s = entries[id];
        std::vector<std::uint32_t> stack;
        for (std::uint32_t at = s.child; at != NoStream || !stack.empty();) {
            if (at != NoStream) {
                stack.push_back(at);
                at = entries[at].left;
                continue;
            }
            at = stack.back();
            stack.pop_back();
            s.children.push_back(at);
            at = entries[at].right;
        }
        s.byName = s.children;
        std::stable_sort(s.byName.begin(), s.byName.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return entries[a].name < entries[b].name; });
    }
}

// The first `want` bytes of stream `e` (none when not `fetch`, only their
// places checked): its chain followed as far as they need, to its end when
// they are all of it; a mini sector lies at its offset in the mini stream,
// which lies in big sectors.
std::vector<std::byte> CompoundFile::Impl::readStream(Entry& e, std::size_t want, bool fetch)
{
    // An empty stream has no chain, whatever its first sector says.
    if (e.size == 0)
        return {};
    const std::size_t sectorSize = std::size_t{1} << sectorShift;
    const bool mini = e.size < MiniStreamCutoff;
    const std::size_t unit = mini ? MiniSectorSize : sectorSize;
    const std::size_t count = (want + unit - 1) / unit;
    const auto name = [&e] { return "stream \"" + printable(e.name) + "\""; };
    follow(e.chain, mini, want == e.size ? SIZE_MAX : count, name);
    if (e.chain.sectors.size() < count)
        throw FormatError(Code::Truncated, "truncated: " + name() + " is shorter than its size");

    const std::uint64_t miniSectors = miniStreamSize / MiniSectorSize;
    Gather pieces;
    for (std::size_t i = 0, done = 0; done < want; ++i) {
        const std::size_t n = std::min(unit, want - done);
        std::uint64_t offset = 0;
        if (mini) {
            const std::uint32_t m = e.chain.sectors[i];
            if (m >= miniSectors)
                throw FormatError(Code::Truncated, "truncated: " + name() + " lies beyond the mini stream");
            const std::uint64_t inMini = std::uint64_t{m} * MiniSectorSize;
            const auto at = static_cast<std::size_t>(inMini / sectorSize);
            follow(miniStream, false, at + 1, [] { return std::string("the mini stream"); });
            if (miniStream.sectors.size() <= at)
                throw FormatError(Code::Truncated, "truncated: the mini stream is shorter than its size");
            offset = ((std::uint64_t{miniStream.sectors[at]} + 1) << sectorShift) + inMini % sectorSize;
            if (offset + n > source->size)
                throw FormatError(Code::Truncated, "truncated: the mini stream runs past the end of the file");
        } else {
            offset = (std::uint64_t{e.chain.sectors[i]} + 1) << sectorShift;
            if (offset + n > source->size)
                throw FormatError(Code::Truncated, "truncated: " + name() + " runs past the end of the file");
        }
        pieces.add(offset, n);
        done += n;
    }
    if (!fetch)
        return {};
    std::vector<std::byte> data(want);
    if (!pieces.readInto(*source, data.data()))
        throw FormatError(Code::Truncated, "truncated: " + name() + " runs past the end of the file");
    return data;
}

Entry* CompoundFile::Impl::find(std::string_view path)
{
    Entry* at = &entries[0];
    for (const auto part : splitPath(path)) {
        if (at->type == Stream)
            return nullptr;
        const auto it = std::lower_bound(at->byName.begin(), at->byName.end(), part,
                                         [&](std::uint32_t id, std::string_view name) { return entries[id].name < name; });
        if (it == at->byName.end() || entries[*it].name != part)
            return nullptr;
        at = &entries[*it];
    }
    return at;
}

const Entry& CompoundFile::Impl::storage(std::string_view path)
{
    const Entry* e = find(path);
    if (!e)
        throw FormatError(Code::NotFound, "no stream \"" + printable(path) + "\"");
    if (e->type == Stream)
        throw FormatError(Code::NotFound, "\"" + printable(path) + "\" is a stream, not a storage");
    return *e;
}

CompoundFile::CompoundFile(std::unique_ptr<ByteSource> bytes)
{
    auto source = std::make_unique<Source>();
    source->bytes = std::move(bytes);
    if (!source->bytes)
        throw FormatError(Code::Io, "cannot be read: no source");
    source->size = source->bytes->size();
    if (source->size == 0)
        throw FormatError(Code::Truncated, "the file is empty");
    source->readWholeIfSmall();
    impl_ = std::make_unique<Impl>();
    impl_->source = std::move(source);
    impl_->checkHeader();
    impl_->readStructure();
}

CompoundFile::Impl& CompoundFile::opened() const
{
    if (!isOpen())
        throw FormatError(Code::Io, "the compound file is closed");
    return *impl_;
}

CompoundFile::~CompoundFile()
{
    close();
}

CompoundFile::CompoundFile(CompoundFile&&) noexcept = default;
CompoundFile& CompoundFile::operator=(CompoundFile&&) noexcept = default;

void CompoundFile::close() noexcept
{
    if (impl_ && impl_->source)
        impl_->source->close();
}

bool CompoundFile::isOpen() const noexcept
{
    return impl_ && impl_->source && impl_->source->bytes;
}

std::uint64_t CompoundFile::fileSize() const noexcept
{
    return impl_ && impl_->source ? impl_->source->size : 0;
}

std::uint64_t CompoundFile::bytesRead() const noexcept
{
    return impl_ && impl_->source ? impl_->source->bytesRead.load() : 0;
}

std::array<std::byte, 16> CompoundFile::rootClsid() const
{
    return opened().clsid;
}

std::vector<std::string> CompoundFile::names(std::string_view storage) const
{
    Impl& impl = opened();
    const Entry& s = impl.storage(storage);
    std::vector<std::string> result;
    result.reserve(s.children.size());
    for (const std::uint32_t id : s.children)
        result.push_back(impl.entries[id].name);
    return result;
}

bool CompoundFile::contains(std::string_view path) const
{
    return opened().find(path) != nullptr;
}

bool CompoundFile::isStream(std::string_view path) const
{
    const Entry* e = opened().find(path);
    return e && e->type == Stream;
}

Entry& CompoundFile::Impl::stream(std::string_view path)
{
    Entry* e = find(path);
    if (!e)
        throw FormatError(Code::NotFound, "no stream \"" + printable(path) + "\"");
    if (e->type != Stream)
        throw FormatError(Code::NotFound, "\"" + printable(path) + "\" is a storage, not a stream");
    return *e;
}

std::vector<std::byte> CompoundFile::read(std::string_view path, std::size_t maxBytes) const
{
    Impl& impl = opened();
    Entry& e = impl.stream(path);
    const auto want = std::min<std::uint64_t>(e.size, maxBytes);
    if (want > MaxStreamSize)
        throw FormatError(Code::TooLarge, "stream \"" + printable(path) + "\" is too large");
    const std::lock_guard hold(impl.lock);
    return impl.readStream(e, static_cast<std::size_t>(want), true);
}

void CompoundFile::check(std::string_view path) const
{
    Impl& impl = opened();
    Entry& e = impl.stream(path);
    if (e.size > MaxStreamSize)
        return;
    const std::lock_guard hold(impl.lock);
    impl.readStream(e, static_cast<std::size_t>(e.size), false);
}

std::string guidToString(const std::array<std::byte, 16>& g)
{
    const auto b = [&](int i) { return std::to_integer<unsigned>(g[static_cast<std::size_t>(i)]); };
    char text[40];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b(3),
                  b(2), b(1), b(0), b(5), b(4), b(7), b(6), b(8), b(9), b(10), b(11), b(12), b(13), b(14), b(15));
    return text;
}

} // namespace glimmer
