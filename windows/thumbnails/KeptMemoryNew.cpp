// Linked into glimmerbox-thumbnails.dll: replaces the DLL's own operator
// new and delete (the engine's blocks; Explorer's process keeps its heap)
// so that freed large blocks are kept for the next document. Explorer asks
// one long-lived process for thumbnail after thumbnail, each taking and
// giving back blocks of the same few sizes (the document, the inflated
// picture, the scaled one: 100 KiB to a few MiB); the heap gives such
// blocks back to the system when freed, and the next document's are fresh
// pages, zeroed and faulted in one by one: under Wine three times the CPU
// of reading a 512-pixel preview. Small blocks come from malloc as before.
#include <array>
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <new>

namespace {

constexpr std::size_t LargeBlock = std::size_t{64} << 10;
// At most this much freed memory is kept, in at most Slots blocks, as the
// KDE plugin keeps in its long-lived process.
constexpr std::size_t KeptBytes = std::size_t{8} << 20;
constexpr std::size_t Slots = 8;

// Each block's size, in front of it; 16 bytes keep malloc's alignment.
struct alignas(16) Header {
    std::size_t size;
};

struct Kept {
    Header* block;
    std::size_t size;
};

std::mutex mutex;
std::array<Kept, Slots> kept{};   // oldest first
std::size_t keptCount = 0;
std::size_t keptBytes = 0;

Kept take(std::size_t i) noexcept
{
    const Kept k = kept[i];
    for (std::size_t j = i + 1; j < keptCount; ++j)
        kept[j - 1] = kept[j];
    --keptCount;
    keptBytes -= k.size;
    return k;
}

// The smallest kept block that holds `n` bytes and wastes at most half of
// itself, or null.
Header* reuse(std::size_t n) noexcept
{
    const std::lock_guard lock(mutex);
    std::size_t best = keptCount;
    for (std::size_t i = 0; i < keptCount; ++i)
        if (kept[i].size >= n && kept[i].size / 2 <= n && (best == keptCount || kept[i].size < kept[best].size))
            best = i;
    return best == keptCount ? nullptr : take(best).block;
}

void* allocate(std::size_t n) noexcept
{
    if (n >= LargeBlock)
        if (Header* block = reuse(n))
            return block + 1;
    if (n > SIZE_MAX - sizeof(Header))
        return nullptr;
    auto* block = static_cast<Header*>(std::malloc(sizeof(Header) + n));
    if (!block)
        return nullptr;
    block->size = n;
    return block + 1;
}

void release(void* p) noexcept
{
    if (!p)
        return;
    Header* block = static_cast<Header*>(p) - 1;
    const std::size_t size = block->size;
    if (size >= LargeBlock && size <= KeptBytes) {
        std::array<Header*, Slots> evicted{};
        std::size_t evictedCount = 0;
        {
            const std::lock_guard lock(mutex);
            while (keptCount == Slots || keptBytes + size > KeptBytes)
                evicted[evictedCount++] = take(0).block;
            kept[keptCount++] = {block, size};
            keptBytes += size;
        }
        for (std::size_t i = 0; i < evictedCount; ++i)
            std::free(evicted[i]);
        return;
    }
    std::free(block);
}

} // namespace

void* operator new(std::size_t n)
{
    if (void* p = allocate(n))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t n)
{
    return operator new(n);
}

void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    return allocate(n);
}

void* operator new[](std::size_t n, const std::nothrow_t&) noexcept
{
    return allocate(n);
}

void operator delete(void* p) noexcept
{
    release(p);
}

void operator delete[](void* p) noexcept
{
    release(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    release(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    release(p);
}
