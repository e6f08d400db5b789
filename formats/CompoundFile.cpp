#include "formats/CompoundFile.h"

#include "formats/Text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace glimmer {

namespace {

using Code = FormatError::Code;

constexpr std::size_t HeaderSize = 512;
constexpr unsigned char Signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t MaxRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t EndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t FreeSector = 0xFFFFFFFF;
constexpr std::uint32_t NoStream = 0xFFFFFFFF;
constexpr std::uint32_t HeaderFatSlots = 109;
constexpr std::size_t EntrySize = 128;
constexpr std::uint32_t MiniSectorSize = 64;
constexpr std::uint64_t MiniStreamCutoff = 4096;

enum EntryType : std::uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5 };

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

// Where the header's fields lie, for errors.
enum HeaderOffset : std::size_t {
    MajorAt = 26, ByteOrderAt = 28, MiniShiftAt = 32, FatSectorsAt = 44, DirectoryStartAt = 48,
    DifatStartAt = 68, DifatSectorsAt = 72, FatAt = 76,
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

// The open file. Reads go to the descriptor at an offset, or to the copy of
// a small file, and the bytes taken from the descriptor are counted.
struct Source {
    int fd = -1;
    std::uint64_t size = 0;
    std::atomic<std::uint64_t> bytesRead{0};
    std::vector<std::uint8_t> whole;   // a small file's bytes, read at open

    // Reads a small file whole; should that fail (the file shrank), reads
    // stay piecewise and name what is missing.
    void readWholeIfSmall()
    {
        if (size > WholeFileBytes)
            return;
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        if (readAt(0, bytes.data(), bytes.size()))
            whole = std::move(bytes);
    }

    ~Source() { close(); }
    void close() noexcept
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        std::vector<std::uint8_t>().swap(whole);
    }

    bool readAt(std::uint64_t offset, void* buffer, std::size_t n)
    {
        if (fd < 0 || offset > size || n > size - offset)
            return false;
        if (!whole.empty()) {
            std::memcpy(buffer, whole.data() + offset, n);
            return true;
        }
        auto* out = static_cast<char*>(buffer);
        while (n > 0) {
            const ssize_t got = ::pread(fd, out, n, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            bytesRead.fetch_add(static_cast<std::uint64_t>(got), std::memory_order_relaxed);
            out += got;
            offset += static_cast<std::uint64_t>(got);
            n -= static_cast<std::size_t>(got);
        }
        return true;
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

struct Entry {
    std::string name;   // UTF-8
    EntryType type = Unused;
    std::uint64_t size = 0;
    // A stream's sectors: mini sectors when it lives in the mini stream.
    std::vector<std::uint32_t> sectors;
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
    std::vector<std::uint32_t> miniStream;   // the sectors holding the mini stream

    void checkHeader();
    void readStructure();
    std::vector<std::uint32_t> fatSectorList();
    void readSectors(const std::vector<std::uint32_t>& sectors, std::byte* out) const;
    const Entry* find(std::string_view path) const;
    const Entry& storage(std::string_view path) const;
};

// The header's own consistency, and its claims against the file's size,
// before anything is allocated from them.
void CompoundFile::Impl::checkHeader()
{
    std::array<std::byte, HeaderSize> bytes;
    if (source->size < sizeof(Signature) || !source->readAt(0, bytes.data(), sizeof(Signature))
        || std::memcmp(bytes.data(), Signature, sizeof(Signature)) != 0)
        throw FormatError(Code::BadSignature, "not a compound file", 0);
    if (source->size < HeaderSize
        || !source->readAt(sizeof(Signature), bytes.data() + sizeof(Signature), HeaderSize - sizeof(Signature)))
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

// The allocation table's sectors: the first 109 are listed in the header,
// the rest in a chain of extension (DIFAT) sectors. Each sector of the file
// may appear once in all of these lists together.
std::vector<std::uint32_t> CompoundFile::Impl::fatSectorList()
{
    const Header& h = header;
    const std::size_t perSector = (std::size_t{1} << sectorShift) / 4;
    const std::uint32_t fatCount = h.fatSectors;
    std::vector<bool> taken(sectorCount, false);
    std::vector<std::uint32_t> fatSectors;
    fatSectors.reserve(fatCount);
    const auto take = [&](std::uint32_t s, std::size_t offset) {
        if (s >= sectorCount)
            throw FormatError(Code::Truncated, "truncated: the allocation table lies beyond the end of the file", offset);
        if (taken[s])
            throw FormatError(Code::BadValue,
                              "damaged compound file: the allocation table's sector list names sector "
                                  + std::to_string(s) + " twice",
                              offset);
        taken[s] = true;
    };
    for (std::uint32_t i = 0; i < std::min(fatCount, HeaderFatSlots); ++i) {
        take(h.fat[i], FatAt + 4 * i);
        fatSectors.push_back(h.fat[i]);
    }
    std::vector<std::byte> block(perSector * 4);
    std::vector<std::uint32_t> listed(perSector);
    for (std::uint32_t d = h.difatStart, n = 0; fatSectors.size() < fatCount; ++n) {
        if (d >= sectorCount || n >= h.difatSectors)
            throw FormatError(Code::Truncated, "truncated: the allocation table's sector list ends early",
                              DifatStartAt);
        if (taken[d])
            throw FormatError(Code::Loop, "damaged compound file: the allocation table's sector list loops",
                              DifatStartAt);
        taken[d] = true;
        readSectors({d}, block.data());
        readTable(block, listed.data());
        // The last entry names the next extension sector.
        for (std::size_t i = 0; i + 1 < perSector && fatSectors.size() < fatCount; ++i) {
            const std::uint32_t s = listed[i];
            if (s > MaxRegularSector)
                throw FormatError(Code::BadValue, "damaged compound file: allocation table sector missing");
            take(s, 0);
            fatSectors.push_back(s);
        }
        d = listed[perSector - 1];
    }
    return fatSectors;
}

// Reads and checks the tables and the directory, and walks every chain:
// loops in sector chains and in the directory tree, entries beyond the
// directory, streams larger than the file or than their chains are each a
// named error here, so that a later read() only reads.
void CompoundFile::Impl::readStructure()
{
    const Header& h = header;
    const std::size_t sectorSize = std::size_t{1} << sectorShift;
    const std::size_t perSector = sectorSize / 4;

    const std::vector<std::uint32_t> fatSectors = fatSectorList();
    std::vector<std::byte> raw(fatSectors.size() * sectorSize);
    readSectors(fatSectors, raw.data());
    std::vector<std::uint32_t> fat(fatSectors.size() * perSector);
    readTable(raw, fat.data());

    // A chain of sectors through `table`, checked for loops and ends. Each
    // sector belongs to one chain at most: `owners` holds the number of the
    // chain that took it, so that however many entries a directory has, all
    // of them together walk each sector once.
    std::vector<std::uint32_t> owners(fat.size(), 0);
    std::vector<std::uint32_t> miniOwners;
    std::uint32_t chainNumber = 0;
    // `what` names the chain's owner for an error; `expected` is the length
    // its size asks for.
    const auto chain = [&](const std::vector<std::uint32_t>& table, std::vector<std::uint32_t>& owner,
                           std::uint32_t start, const auto& what, std::uint64_t expected = 0) {
        ++chainNumber;
        std::vector<std::uint32_t> sectors;
        sectors.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(expected, table.size())));
        for (std::uint32_t s = start; s != EndOfChain; s = table[s]) {
            if (s >= table.size() || s > MaxRegularSector)
                throw FormatError(Code::Truncated, "truncated: " + what() + " runs beyond the allocation table");
            if (owner[s] == chainNumber)
                throw FormatError(Code::Loop, "damaged compound file: the sector chain of " + what() + " loops");
            if (owner[s] != 0)
                throw FormatError(Code::BadValue,
                                  "damaged compound file: the sector chain of " + what() + " runs into another one");
            owner[s] = chainNumber;
            sectors.push_back(s);
        }
        return sectors;
    };
    // Whether `sectors` hold `size` bytes, all of them inside the file.
    const auto holds = [&](const std::vector<std::uint32_t>& sectors, std::uint64_t size) {
        if (std::uint64_t{sectors.size()} * sectorSize < size)
            return false;
        for (std::size_t i = 0; i < sectors.size() && i * sectorSize < size; ++i)
            if ((std::uint64_t{sectors[i]} + 1) * sectorSize + std::min<std::uint64_t>(sectorSize, size - i * sectorSize)
                > source->size)
                return false;
        return true;
    };

    const std::vector<std::uint32_t> dirSectors =
        chain(fat, owners, h.directoryStart, [] { return std::string("the directory"); });
    if (dirSectors.size() > MaxEntries * EntrySize / sectorSize)
        throw FormatError(Code::TooLarge, "the compound file's directory is too large");
    std::vector<std::byte> dir(dirSectors.size() * sectorSize);
    readSectors(dirSectors, dir.data());
    const std::size_t entryCount = dir.size() / EntrySize;
    const auto entry = [&](std::uint32_t i) {
        return readEntry(std::span(dir).subspan(std::size_t{i} * EntrySize, EntrySize), sectorShift == 9);
    };
    const DirectoryEntry root = entryCount > 0 ? entry(0) : DirectoryEntry{};
    if (root.type != Root)
        throw FormatError(Code::BadValue, "damaged compound file: no root entry");
    clsid = root.clsid;

    const std::uint64_t miniStreamSize = root.size;
    if (miniStreamSize > 0)
        miniStream = chain(fat, owners, root.start, [] { return std::string("the mini stream"); },
                           (miniStreamSize + sectorSize - 1) / sectorSize);
    if (std::uint64_t{miniStream.size()} * sectorSize < miniStreamSize)
        throw FormatError(Code::Truncated, "truncated: the mini stream is shorter than its size");
    if (!holds(miniStream, miniStreamSize))
        throw FormatError(Code::Truncated, "truncated: the mini stream runs past the end of the file");
    std::vector<std::uint32_t> miniFat;
    if (h.miniFatSectors > 0) {
        const auto sectors = chain(fat, owners, h.miniFatStart, [] { return std::string("the mini allocation table"); },
                                   h.miniFatSectors);
        raw.resize(sectors.size() * sectorSize);
        readSectors(sectors, raw.data());
        miniFat.resize(sectors.size() * perSector);
        readTable(raw, miniFat.data());
    }
    miniOwners.assign(miniFat.size(), 0);
    const std::uint64_t miniSectors = miniStreamSize / MiniSectorSize;

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
        const auto name = [&current] { return "stream \"" + printable(current.name) + "\""; };
        if (current.size > source->size)
            throw FormatError(Code::Truncated, "truncated: " + name() + " is larger than the file");
        if (current.size == 0)
            continue;
        if (current.size < MiniStreamCutoff) {
            current.sectors =
                chain(miniFat, miniOwners, e.start, name, (current.size + MiniSectorSize - 1) / MiniSectorSize);
            if (std::uint64_t{current.sectors.size()} * MiniSectorSize < current.size)
                throw FormatError(Code::Truncated, "truncated: " + name() + " is shorter than its size");
            for (const std::uint32_t m : current.sectors)
                if (m >= miniSectors)
                    throw FormatError(Code::Truncated, "truncated: " + name() + " lies beyond the mini stream");
        } else {
            current.sectors = chain(fat, owners, e.start, name, (current.size + sectorSize - 1) / sectorSize);
            if (std::uint64_t{current.sectors.size()} * sectorSize < current.size)
                throw FormatError(Code::Truncated, "truncated: " + name() + " is shorter than its size");
            if (!holds(current.sectors, current.size))
                throw FormatError(Code::Truncated, "truncated: " + name() + " runs past the end of the file");
        }
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

const Entry* CompoundFile::Impl::find(std::string_view path) const
{
    const Entry* at = &entries[0];
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

const Entry& CompoundFile::Impl::storage(std::string_view path) const
{
    const Entry* e = find(path);
    if (!e)
        throw FormatError(Code::NotFound, "no stream \"" + printable(path) + "\"");
    if (e->type == Stream)
        throw FormatError(Code::NotFound, "\"" + printable(path) + "\" is a stream, not a storage");
    return *e;
}

namespace {

int openForReading(const std::string& path)
{
    // Non-blocking, so that a FIFO is refused below rather than waited on;
    // reads from a regular file are not affected.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw FormatError(Code::Io, std::string("cannot be read: ") + std::strerror(errno));
    return fd;
}

} // namespace

CompoundFile::CompoundFile(const std::string& path) : CompoundFile(OpenFile{openForReading(path)}) {}

CompoundFile::CompoundFile(OpenFile file)
{
    auto source = std::make_unique<Source>();
    source->fd = file.fd;
    if (source->fd < 0)
        throw FormatError(Code::Io, std::string("cannot be read: ") + std::strerror(EBADF));
    impl_ = std::make_unique<Impl>();
    struct stat st {};
    if (::fstat(source->fd, &st) != 0)
        throw FormatError(Code::Io, std::string("cannot be read: ") + std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        throw FormatError(Code::Io, "is a folder, not a file");
    if (!S_ISREG(st.st_mode))
        throw FormatError(Code::Io, "is not a regular file");
    if (st.st_size == 0)
        throw FormatError(Code::Truncated, "the file is empty");
    source->size = static_cast<std::uint64_t>(st.st_size);
    source->readWholeIfSmall();
    impl_->source = std::move(source);
    impl_->checkHeader();
    impl_->readStructure();
}

const CompoundFile::Impl& CompoundFile::opened() const
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
    return impl_ && impl_->source && impl_->source->fd >= 0;
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
    const Impl& impl = opened();
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

std::vector<std::byte> CompoundFile::read(std::string_view path, std::size_t maxBytes) const
{
    const Impl& impl = opened();
    const Entry* e = impl.find(path);
    if (!e)
        throw FormatError(Code::NotFound, "no stream \"" + printable(path) + "\"");
    if (e->type != Stream)
        throw FormatError(Code::NotFound, "\"" + printable(path) + "\" is a storage, not a stream");
    const auto want = std::min<std::uint64_t>(e->size, maxBytes);
    if (want > MaxStreamSize)
        throw FormatError(Code::TooLarge, "stream \"" + printable(path) + "\" is too large");

    // The bytes wanted, sector by sector; a mini sector lies at its offset
    // in the mini stream, which lies in big sectors.
    const std::size_t sectorSize = std::size_t{1} << impl.sectorShift;
    const bool mini = e->size < MiniStreamCutoff;
    const std::size_t unit = mini ? MiniSectorSize : sectorSize;
    Gather pieces;
    for (std::size_t i = 0, done = 0; done < want; ++i) {
        const std::size_t n = std::min<std::size_t>(unit, static_cast<std::size_t>(want) - done);
        std::uint64_t offset = 0;
        if (mini) {
            const std::uint64_t inMini = std::uint64_t{e->sectors[i]} * MiniSectorSize;
            offset = ((std::uint64_t{impl.miniStream[inMini / sectorSize]} + 1) << impl.sectorShift) + inMini % sectorSize;
        } else {
            offset = (std::uint64_t{e->sectors[i]} + 1) << impl.sectorShift;
        }
        pieces.add(offset, n);
        done += n;
    }
    std::vector<std::byte> data(static_cast<std::size_t>(want));
    if (!pieces.readInto(*impl.source, data.data()))
        throw FormatError(Code::Truncated, "truncated: stream \"" + printable(path) + "\" runs past the end of the file");
    return data;
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
