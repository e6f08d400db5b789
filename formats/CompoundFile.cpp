#include "CompoundFile.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-impl.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace glimmer {

namespace {

using Code = FormatError::Code;

constexpr std::size_t HeaderSize = 512;
constexpr std::uint8_t Signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t MaxRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t EndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t FreeSector = 0xFFFFFFFF;

// libgsf reports damage through GLib's log as well as through its return
// values. Keep the last message of this thread, so that an error can say
// what libgsf saw, and keep the log itself quiet.
thread_local std::string lastLibraryMessage;

void captureLibraryLog(const gchar*, GLogLevelFlags, const gchar* message, gpointer)
{
    lastLibraryMessage = message ? message : "";
}

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);
        for (const char* domain : {"libgsf", "libgsf:msole"})
            g_log_set_handler(domain, levels, captureLibraryLog, nullptr);
    });
}

// The open file, shared by every libgsf input that reads it. Reads go
// straight to the descriptor at an offset, and are counted.
struct Source {
    int fd = -1;
    std::uint64_t size = 0;
    std::atomic<std::uint64_t> bytesRead{0};

    ~Source() { close(); }
    void close() noexcept
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    // Sectors the structure check has read; libgsf reads the same ones
    // again, and gets them from here rather than from the disk.
    std::unordered_map<std::uint64_t, std::vector<std::uint8_t>> cache;

    const std::vector<std::uint8_t>& cachedSector(std::uint64_t offset, std::size_t n)
    {
        auto& block = cache[offset];
        if (block.size() != n) {
            block.resize(n);
            if (!readAt(offset, block.data(), n)) {
                cache.erase(offset);
                throw FormatError(Code::Truncated, "truncated: a sector lies beyond the end of the file", offset);
            }
        }
        return block;
    }

    bool read(std::uint64_t offset, void* buffer, std::size_t n)
    {
        if (const auto it = cache.find(offset); it != cache.end() && it->second.size() == n) {
            std::memcpy(buffer, it->second.data(), n);
            return true;
        }
        return readAt(offset, buffer, n);
    }

    bool readAt(std::uint64_t offset, void* buffer, std::size_t n)
    {
        if (fd < 0 || offset > size || n > size - offset)
            return false;
        auto* out = static_cast<char*>(buffer);
        while (n > 0) {
            const ssize_t got = ::pread(fd, out, n, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            bytesRead += static_cast<std::uint64_t>(got);
            out += got;
            offset += static_cast<std::uint64_t>(got);
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }
};

// A GsfInput over a Source.
struct SourceInput {
    GsfInput base;
    std::shared_ptr<Source>* source;
    std::vector<guint8>* buffer;
};

struct SourceInputClass {
    GsfInputClass base;
};

GObjectClass* sourceInputParent = nullptr;
GType sourceInputType();

GsfInput* newSourceInput(const std::shared_ptr<Source>& source)
{
    auto* input = static_cast<SourceInput*>(g_object_new(sourceInputType(), nullptr));
    *input->source = source;
    gsf_input_set_size(&input->base, static_cast<gsf_off_t>(source->size));
    return &input->base;
}

GsfInput* sourceInputDup(GsfInput* input, GError**)
{
    return newSourceInput(*reinterpret_cast<SourceInput*>(input)->source);
}

const guint8* sourceInputRead(GsfInput* input, size_t n, guint8* buffer)
{
    auto* self = reinterpret_cast<SourceInput*>(input);
    if (!buffer) {
        self->buffer->resize(n);
        buffer = self->buffer->data();
    }
    if (!(*self->source)->read(static_cast<std::uint64_t>(input->cur_offset), buffer, n))
        return nullptr;
    return buffer;
}

gboolean sourceInputSeek(GsfInput*, gsf_off_t, GSeekType)
{
    return FALSE;   // reads take their offset from the input; nothing to move
}

void sourceInputFinalize(GObject* object)
{
    auto* self = reinterpret_cast<SourceInput*>(object);
    delete self->source;
    delete self->buffer;
    self->source = nullptr;
    self->buffer = nullptr;
    sourceInputParent->finalize(object);
}

void sourceInputClassInit(gpointer klass, gpointer)
{
    sourceInputParent = static_cast<GObjectClass*>(g_type_class_peek_parent(klass));
    static_cast<GObjectClass*>(klass)->finalize = sourceInputFinalize;
    auto* input = static_cast<GsfInputClass*>(klass);
    input->Dup = sourceInputDup;
    input->Read = sourceInputRead;
    input->Seek = sourceInputSeek;
}

void sourceInputInit(GTypeInstance* instance, gpointer)
{
    auto* self = reinterpret_cast<SourceInput*>(instance);
    self->source = new std::shared_ptr<Source>();
    self->buffer = new std::vector<guint8>();
}

GType sourceInputType()
{
    static const GType type = g_type_register_static_simple(
        GSF_INPUT_TYPE, "GlimmerSourceInput", sizeof(SourceInputClass), sourceInputClassInit,
        sizeof(SourceInput), sourceInputInit, static_cast<GTypeFlags>(0));
    return type;
}

// Owns one GObject reference.
template <typename T>
class GRef {
public:
    GRef() = default;
    explicit GRef(T* p) : p_(p) {}
    ~GRef() { reset(); }
    GRef(GRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    GRef& operator=(GRef&& o) noexcept
    {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    GRef(const GRef&) = delete;
    GRef& operator=(const GRef&) = delete;

    void reset() noexcept
    {
        if (p_)
            g_object_unref(p_);
        p_ = nullptr;
    }
    T* get() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
           | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

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

// A path for a message: control characters (property set names begin with
// \x05) written out.
std::string printable(std::string_view path)
{
    std::string text;
    for (const char c : path) {
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(c));
            text += escaped;
        } else {
            text.push_back(c);
        }
    }
    return text;
}

std::string withLibraryMessage(std::string text)
{
    if (!lastLibraryMessage.empty())
        text += " (" + lastLibraryMessage + ")";
    return text;
}

} // namespace

struct CompoundFile::Impl {
    std::shared_ptr<Source> source;
    GRef<GsfInput> input;
    GRef<GsfInfile> root;
    std::uint32_t sectorShift = 9;
    std::uint64_t sectorCount = 0;   // whole sectors after the header
    std::uint8_t header[HeaderSize] = {};

    void checkHeader();
    void checkStructure();
    GRef<GsfInput> child(std::string_view path) const;
};

// The header's own consistency, before libgsf is trusted with the rest:
// libgsf accepts sector sizes and counts that no writer produces.
void CompoundFile::Impl::checkHeader()
{
    std::uint8_t* h = header;
    if (source->size < sizeof(Signature) || !source->readAt(0, h, sizeof(Signature))
        || std::memcmp(h, Signature, sizeof(Signature)) != 0)
        throw FormatError(Code::BadSignature, "not a compound file", 0);
    if (source->size < HeaderSize || !source->read(0, h, HeaderSize))
        throw FormatError(Code::Truncated, "truncated: the file ends inside its header", source->size);

    const std::uint16_t major = le16(h + 26);
    const std::uint16_t byteOrder = le16(h + 28);
    sectorShift = le16(h + 30);
    const std::uint16_t miniShift = le16(h + 32);
    if (byteOrder != 0xFFFE)
        throw FormatError(Code::BadValue, "bad compound file header: byte order mark", 28);
    if (!((major == 3 && sectorShift == 9) || (major == 4 && sectorShift == 12)))
        throw FormatError(Code::Unsupported, "unsupported compound file version or sector size", 26);
    if (miniShift != 6 || le32(h + 56) != 4096)
        throw FormatError(Code::BadValue, "bad compound file header: mini sector size", 32);

    const std::uint64_t sectorSize = std::uint64_t{1} << sectorShift;
    // Version 4 files give the whole first sector to the header.
    const std::uint64_t firstSector = sectorSize;
    sectorCount = source->size > firstSector ? (source->size - firstSector) / sectorSize : 0;

    const std::uint32_t fatSectors = le32(h + 44);
    const std::uint32_t directoryStart = le32(h + 48);
    const std::uint32_t difatSectors = le32(h + 72);
    if (fatSectors == 0)
        throw FormatError(Code::BadValue, "bad compound file header: no allocation table", 44);
    if (fatSectors > sectorCount || difatSectors > sectorCount)
        throw FormatError(Code::Truncated, "truncated: the allocation table is larger than the file", 44);
    if (directoryStart > MaxRegularSector)
        throw FormatError(Code::BadValue, "bad compound file header: no directory", 48);
    if (directoryStart >= sectorCount)
        throw FormatError(Code::Truncated, "truncated: the directory lies beyond the end of the file", 48);
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(fatSectors, 109); ++i) {
        const std::uint32_t s = le32(h + 76 + 4 * i);
        if (s == FreeSector || s == EndOfChain || s > MaxRegularSector)
            throw FormatError(Code::BadValue, "bad compound file header: allocation table sector missing", 76 + 4 * i);
        if (s >= sectorCount)
            throw FormatError(Code::Truncated, "truncated: the allocation table lies beyond the end of the file",
                              76 + 4 * i);
    }
}

namespace {

constexpr std::uint32_t NoStream = 0xFFFFFFFF;
constexpr std::size_t EntrySize = 128;
constexpr std::size_t MaxEntries = CompoundFile::MaxEntries;
constexpr std::size_t MaxTreeDepth = CompoundFile::MaxTreeDepth;

std::string entryName(const std::uint8_t* e)
{
    const std::size_t length = std::min<std::size_t>(le16(e + 64), 64);
    std::string name;
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        const unsigned c = le16(e + i);
        if (c == 0)
            break;
        if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            name += escaped;
        } else if (c < 0x80) {
            name.push_back(static_cast<char>(c));
        } else {
            name.push_back('?');
        }
    }
    return name;
}

} // namespace

// What libgsf lets through or turns into silence: loops in sector chains
// and in the directory tree, entries beyond the directory, streams larger
// than the file or than their chains. Each is a named error here. The
// sectors read for this are kept, so libgsf does not read them twice.
void CompoundFile::Impl::checkStructure()
{
    const std::uint8_t* h = header;
    const std::size_t sectorSize = std::size_t{1} << sectorShift;
    const std::size_t perSector = sectorSize / 4;
    const auto sector = [&](std::uint32_t s) -> const std::vector<std::uint8_t>& {
        if (s >= sectorCount)
            throw FormatError(Code::Truncated, "truncated: a sector lies beyond the end of the file");
        return source->cachedSector((std::uint64_t{s} + 1) << sectorShift, sectorSize);
    };

    // The allocation table: its first 109 sectors are listed in the header,
    // the rest in a chain of DIFAT sectors.
    const std::uint32_t fatCount = le32(h + 44);
    std::vector<std::uint32_t> fatSectors;
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(fatCount, 109); ++i)
        fatSectors.push_back(le32(h + 76 + 4 * i));
    std::vector<bool> difatSeen(sectorCount, false);
    for (std::uint32_t d = le32(h + 68), n = 0; fatSectors.size() < fatCount; ++n) {
        if (d >= sectorCount || n >= le32(h + 72))
            throw FormatError(Code::Truncated, "truncated: the allocation table's sector list ends early", 68);
        if (difatSeen[d])
            throw FormatError(Code::Loop, "damaged compound file: the allocation table's sector list loops", 68);
        difatSeen[d] = true;
        const auto& block = sector(d);
        for (std::size_t i = 0; i + 1 < perSector && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(le32(block.data() + 4 * i));
        d = le32(block.data() + 4 * (perSector - 1));
    }
    std::vector<std::uint32_t> fat;
    fat.reserve(fatSectors.size() * perSector);
    for (const std::uint32_t f : fatSectors) {
        const auto& block = sector(f);
        for (std::size_t i = 0; i < perSector; ++i)
            fat.push_back(le32(block.data() + 4 * i));
    }

    // A chain of sectors through `table`, checked for loops and ends. Each
    // sector belongs to one chain at most: `owners` holds the number of the
    // chain that took it, so that however many entries a directory has, all
    // of them together walk each sector once.
    std::vector<std::uint32_t> owners(fat.size(), 0);
    std::vector<std::uint32_t> miniOwners;
    std::uint32_t chainNumber = 0;
    const auto chain = [&](const std::vector<std::uint32_t>& table, std::vector<std::uint32_t>& owner,
                           std::uint32_t start, const std::string& what) {
        ++chainNumber;
        std::vector<std::uint32_t> sectors;
        for (std::uint32_t s = start; s != EndOfChain; s = table[s]) {
            if (s >= table.size() || s > MaxRegularSector)
                throw FormatError(Code::Truncated, "truncated: " + what + " runs beyond the allocation table");
            if (owner[s] == chainNumber)
                throw FormatError(Code::Loop, "damaged compound file: the sector chain of " + what + " loops");
            if (owner[s] != 0)
                throw FormatError(Code::BadValue,
                                  "damaged compound file: the sector chain of " + what + " runs into another one");
            owner[s] = chainNumber;
            sectors.push_back(s);
        }
        return sectors;
    };

    const std::vector<std::uint32_t> dirSectors =
        chain(fat, owners, le32(h + 48), "the directory");
    if (dirSectors.size() > MaxEntries * EntrySize / sectorSize)
        throw FormatError(Code::TooLarge, "the compound file's directory is too large");
    std::vector<std::uint8_t> dir;
    dir.reserve(dirSectors.size() * sectorSize);
    for (const std::uint32_t d : dirSectors) {
        const auto& block = sector(d);
        dir.insert(dir.end(), block.begin(), block.end());
    }
    const std::size_t entryCount = dir.size() / EntrySize;
    const auto entry = [&](std::uint32_t i) { return dir.data() + std::size_t{i} * EntrySize; };
    if (entryCount == 0 || entry(0)[66] != 5)
        throw FormatError(Code::BadValue, "damaged compound file: no root entry");

    const std::uint64_t miniStreamSize = le32(entry(0) + 120);
    const std::vector<std::uint32_t> miniStream =
        miniStreamSize == 0 ? std::vector<std::uint32_t>{} : chain(fat, owners, le32(entry(0) + 116), "the mini stream");
    if (std::uint64_t{miniStream.size()} * sectorSize < miniStreamSize)
        throw FormatError(Code::Truncated, "truncated: the mini stream is shorter than its size");
    std::vector<std::uint32_t> miniFat;
    if (le32(h + 64) > 0) {
        for (const std::uint32_t m : chain(fat, owners, le32(h + 60), "the mini allocation table")) {
            const auto& block = sector(m);
            for (std::size_t i = 0; i < perSector; ++i)
                miniFat.push_back(le32(block.data() + 4 * i));
        }
    }
    miniOwners.assign(miniFat.size(), 0);
    const std::uint64_t miniSectors = miniStreamSize / 64;

    // Walk the tree from the root, each entry once. The root has no
    // siblings, but libgsf follows whatever its sibling fields say, so they
    // are walked too: anything they lead to is checked like the rest.
    std::vector<bool> visited(entryCount, false);
    visited[0] = true;
    std::vector<std::pair<std::uint32_t, std::size_t>> pending{
        {le32(entry(0) + 68), 1}, {le32(entry(0) + 72), 1}, {le32(entry(0) + 76), 1}};
    while (!pending.empty()) {
        const auto [id, depth] = pending.back();
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
        const std::uint8_t* e = entry(id);
        const std::uint8_t type = e[66];
        if (type != 1 && type != 2)
            throw FormatError(Code::BadValue, "damaged compound file: the directory tree holds an unused entry");
        pending.push_back({le32(e + 68), depth + 1});
        pending.push_back({le32(e + 72), depth + 1});
        if (type == 1) {
            pending.push_back({le32(e + 76), depth + 1});
            continue;
        }
        const std::uint64_t size = le32(e + 120);
        const std::string name = entryName(e);
        if (size > source->size)
            throw FormatError(Code::Truncated, "truncated: stream \"" + name + "\" is larger than the file");
        if (size == 0)
            continue;
        if (size < 4096) {
            const auto sectors = chain(miniFat, miniOwners, le32(e + 116), "stream \"" + name + "\"");
            if (std::uint64_t{sectors.size()} * 64 < size)
                throw FormatError(Code::Truncated, "truncated: stream \"" + name + "\" is shorter than its size");
            for (const std::uint32_t m : sectors)
                if (m >= miniSectors)
                    throw FormatError(Code::Truncated,
                                      "truncated: stream \"" + name + "\" lies beyond the mini stream");
        } else {
            const auto sectors =
                chain(fat, owners, le32(e + 116), "stream \"" + name + "\"");
            if (std::uint64_t{sectors.size()} * sectorSize < size)
                throw FormatError(Code::Truncated, "truncated: stream \"" + name + "\" is shorter than its size");
            for (const std::uint32_t b : sectors)
                if (b >= sectorCount)
                    throw FormatError(Code::Truncated,
                                      "truncated: stream \"" + name + "\" runs past the end of the file");
        }
    }
}

GRef<GsfInput> CompoundFile::Impl::child(std::string_view path) const
{
    if (!root)
        throw FormatError(Code::Io, "the compound file is closed");
    GsfInfile* dir = root.get();
    GRef<GsfInput> current;
    for (const auto part : splitPath(path)) {
        if (current && !GSF_IS_INFILE(current.get()))
            throw FormatError(Code::NotFound, "no stream \"" + printable(path) + "\"");
        if (current)
            dir = GSF_INFILE(current.get());
        lastLibraryMessage.clear();
        GRef<GsfInput> next(gsf_infile_child_by_name(dir, std::string(part).c_str()));
        if (!next) {
            // A name that is listed but cannot be opened is damage, not absence.
            bool listed = false;
            const int n = gsf_infile_num_children(dir);
            for (int i = 0; i < n && !listed; ++i) {
                const char* name = gsf_infile_name_by_index(dir, i);
                listed = name && part == name;
            }
            if (listed)
                throw FormatError(Code::BadValue,
                                  withLibraryMessage("damaged compound file: \"" + printable(path)
                                                     + "\" cannot be opened"));
            throw FormatError(Code::NotFound, "no stream \"" + printable(path) + "\"");
        }
        current = std::move(next);
    }
    return current;
}

CompoundFile::CompoundFile(const std::string& path) : impl_(std::make_unique<Impl>())
{
    initLibrary();
    auto source = std::make_shared<Source>();
    source->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (source->fd < 0)
        throw FormatError(Code::Io, std::string("cannot be read: ") + std::strerror(errno));
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
    impl_->source = source;
    impl_->checkHeader();
    impl_->checkStructure();

    impl_->input = GRef<GsfInput>(newSourceInput(source));
    lastLibraryMessage.clear();
    GError* error = nullptr;
    impl_->root = GRef<GsfInfile>(gsf_infile_msole_new(impl_->input.get(), &error));
    if (!impl_->root) {
        std::string text = error && error->message ? error->message : "unreadable";
        if (error)
            g_error_free(error);
        throw FormatError(Code::BadValue, withLibraryMessage("damaged compound file: " + text));
    }
}

CompoundFile::~CompoundFile()
{
    close();
}

CompoundFile::CompoundFile(CompoundFile&&) noexcept = default;
CompoundFile& CompoundFile::operator=(CompoundFile&&) noexcept = default;

void CompoundFile::close() noexcept
{
    if (!impl_)
        return;
    impl_->root.reset();
    impl_->input.reset();
    // libgsf may still hold inputs somewhere; the descriptor goes now regardless.
    if (impl_->source)
        impl_->source->close();
}

bool CompoundFile::isOpen() const noexcept
{
    return impl_ && impl_->root;
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
    if (!isOpen())
        throw FormatError(Code::Io, "the compound file is closed");
    std::array<std::byte, 16> clsid{};
    gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(impl_->root.get()), reinterpret_cast<guint8*>(clsid.data()));
    return clsid;
}

std::vector<std::string> CompoundFile::names(std::string_view storage) const
{
    GRef<GsfInput> held = splitPath(storage).empty() ? GRef<GsfInput>() : impl_->child(storage);
    if (!isOpen())
        throw FormatError(Code::Io, "the compound file is closed");
    GsfInfile* dir = held ? GSF_INFILE(held.get()) : impl_->root.get();
    const int n = gsf_infile_num_children(dir);
    if (n < 0)
        throw FormatError(Code::NotFound, "\"" + printable(storage) + "\" is a stream, not a storage");
    std::vector<std::string> result;
    result.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        if (const char* name = gsf_infile_name_by_index(dir, i))
            result.emplace_back(name);
    return result;
}

bool CompoundFile::contains(std::string_view path) const
{
    try {
        return static_cast<bool>(impl_->child(path));
    } catch (const FormatError& e) {
        if (e.code() == Code::NotFound)
            return false;
        throw;
    }
}

std::vector<std::byte> CompoundFile::read(std::string_view path, std::size_t maxBytes) const
{
    GRef<GsfInput> stream = impl_->child(path);
    if (!stream)
        throw FormatError(Code::NotFound, "no stream \"" + printable(path) + "\"");
    if (GSF_IS_INFILE(stream.get()) && gsf_infile_num_children(GSF_INFILE(stream.get())) >= 0)
        throw FormatError(Code::NotFound, "\"" + printable(path) + "\" is a storage, not a stream");
    const gsf_off_t size = gsf_input_size(stream.get());
    if (size < 0 || static_cast<std::uint64_t>(size) > impl_->source->size)
        throw FormatError(Code::Truncated,
                          "truncated: stream \"" + printable(path) + "\" is larger than the file");
    const auto want = std::min<std::uint64_t>(static_cast<std::uint64_t>(size), maxBytes);
    if (want > MaxStreamSize)
        throw FormatError(Code::TooLarge, "stream \"" + printable(path) + "\" is too large");
    std::vector<std::byte> data(static_cast<std::size_t>(want));
    lastLibraryMessage.clear();
    if (want > 0 && !gsf_input_read(stream.get(), data.size(), reinterpret_cast<guint8*>(data.data())))
        throw FormatError(Code::Truncated,
                          withLibraryMessage("truncated: stream \"" + printable(path)
                                             + "\" runs past the end of the file"));
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
