#include "system/HugePageHeap.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace glimmer {

namespace {
// Before each block: its size, in a header long enough to keep blocks
// aligned for any SIMD load.
constexpr std::size_t Header = 64;
} // namespace

HugePageHeap::HugePageHeap(std::size_t span)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    mappingSize_ = span + HugePage;
    void* mapping = ::mmap(nullptr, mappingSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED)
        return;
    mapping_ = mapping;
    const auto address = reinterpret_cast<std::uintptr_t>(mapping);
    begin_ = reinterpret_cast<std::byte*>((address + HugePage - 1) / HugePage * HugePage);
    ::madvise(begin_, span, MADV_HUGEPAGE);   // without huge pages: small ones
    top_ = begin_;
    end_ = begin_ + span;
#else
    (void)span;
#endif
}

HugePageHeap::~HugePageHeap()
{
#if defined(__linux__)
    if (mapping_)
        ::munmap(mapping_, mappingSize_);
#endif
}

void* HugePageHeap::take(std::size_t n)
{
    const std::lock_guard lock(mutex_);
    if (n < LargeBlock || !begin_ || n > static_cast<std::size_t>(end_ - begin_) - Header)
        return nullptr;
    const std::size_t size = (n + 2 * Header - 1) / Header * Header;
    std::byte* at = nullptr;
    for (std::size_t i = 0; i < holeCount_; ++i) {
        Span& hole = holes_[i];
        if (hole.size < size)
            continue;
        at = hole.at;
        hole.at += size;
        hole.size -= size;
        if (hole.size == 0)
            removeHole(i);
        break;
    }
    if (!at) {
        if (static_cast<std::size_t>(end_ - top_) < size)
            return nullptr;
        at = top_;
        top_ += size;
    }
    *reinterpret_cast<std::size_t*>(at) = size;
    return at + Header;
}

bool HugePageHeap::give(void* p)
{
    auto* at = static_cast<std::byte*>(p);
    const std::lock_guard lock(mutex_);
    if (!begin_ || at < begin_ + Header || at >= top_)
        return false;
    at -= Header;
    addHole({at, *reinterpret_cast<const std::size_t*>(at)});
    return true;
}

std::size_t HugePageHeap::extent() const
{
    const std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(top_ - begin_);
}

void HugePageHeap::addHole(Span hole)
{
    std::size_t i = 0;
    while (i < holeCount_ && holes_[i].at < hole.at)
        ++i;
    if (i > 0 && holes_[i - 1].at + holes_[i - 1].size == hole.at) {
        --i;
        holes_[i].size += hole.size;
    } else if (holeCount_ < holes_.size()) {
        for (std::size_t j = holeCount_; j > i; --j)
            holes_[j] = holes_[j - 1];
        holes_[i] = hole;
        ++holeCount_;
    } else if (hole.at + hole.size != top_) {
        return;   // too many holes to keep track of: this block stays taken
    } else {
        top_ = hole.at;   // the block at the top needs no hole
        return;
    }
    if (i + 1 < holeCount_ && holes_[i].at + holes_[i].size == holes_[i + 1].at) {
        holes_[i].size += holes_[i + 1].size;
        removeHole(i + 1);
    }
    if (i + 1 == holeCount_ && holes_[i].at + holes_[i].size == top_) {
        top_ = holes_[i].at;
        removeHole(i);
    }
}

void HugePageHeap::removeHole(std::size_t i)
{
    for (std::size_t j = i + 1; j < holeCount_; ++j)
        holes_[j - 1] = holes_[j];
    --holeCount_;
}

} // namespace glimmer
