// Linked into a program that starts once per document (the thumbnailer):
// replaces the global operator new and delete so that large blocks come from
// a HugePageHeap, and gives libdeflate (whose compressor takes some 200 KiB)
// the same memory. Small blocks, and any the heap cannot hold, come from
// malloc as before.
#include "system/HugePageHeap.h"

#include <libdeflate.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

// Address space (not memory) for one document's large blocks, kept small
// under a limit on address space; what does not fit goes to malloc.
constexpr std::size_t Span = std::size_t{32} << 20;

// Made when the first large block is asked for (a --help makes none), and
// never destroyed: blocks may be freed after every destructor has run.
std::atomic<glimmer::HugePageHeap*> made{nullptr};
alignas(glimmer::HugePageHeap) std::byte storage[sizeof(glimmer::HugePageHeap)];

glimmer::HugePageHeap& heap()
{
    static auto* h = made = new (storage) glimmer::HugePageHeap(Span);
    return *h;
}

void* allocate(std::size_t n) noexcept
{
    if (n >= glimmer::HugePageHeap::LargeBlock)
        if (void* p = heap().take(n))
            return p;
    return std::malloc(n == 0 ? 1 : n);
}

void release(void* p) noexcept
{
    glimmer::HugePageHeap* h = made.load(std::memory_order_acquire);
    if (p && !(h && h->give(p)))
        std::free(p);
}

[[maybe_unused]] const bool deflateUsesHeap = [] {
    libdeflate_set_memory_allocator(allocate, release);
    return true;
}();

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
