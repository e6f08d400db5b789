#pragma once

#include <array>
#include <cstddef>
#include <mutex>

namespace glimmer {

// Large blocks from one span of address space advised onto transparent huge
// pages, for a program that starts once per document (the thumbnailer; see
// HugePageNew.cpp). Such a program's large blocks (the document, the inflated
// picture, the scaled one, the compressor, the PNG) are memory it touches for
// the first time, one 4 KiB page after another; on the virtual machines file
// managers and servers often run on, each first touch costs some 10 µs of
// CPU, and a 512-pixel preview touches about 450 pages: more CPU than
// reading, scaling and encoding it. A 2 MiB huge page is one fault.
//
// Only blocks of at least LargeBlock bytes are taken; freed blocks are reused
// first-fit and merged, so one document's blocks stay within a page or two.
// Without huge pages (the kernel's setting "never", or no Linux) the span is
// ordinary memory, or there is none and every take() gives nothing.
class HugePageHeap {
public:
    static constexpr std::size_t HugePage = std::size_t{2} << 20;
    static constexpr std::size_t LargeBlock = std::size_t{32} << 10;

    // Reserves `span` bytes of address space (not memory).
    explicit HugePageHeap(std::size_t span);
    ~HugePageHeap();
    HugePageHeap(const HugePageHeap&) = delete;
    HugePageHeap& operator=(const HugePageHeap&) = delete;

    // A block of `n` bytes, aligned to 64, or null: too small, too large,
    // or no room left (the caller asks malloc instead).
    void* take(std::size_t n);
    // Frees `p` and says true if it is one of this heap's blocks; false for
    // any other pointer, untouched.
    bool give(void* p);
    // Bytes from the span's start to its highest block in use: the most of
    // it that can have been touched since.
    std::size_t extent() const;

private:
    struct Span {
        std::byte* at;
        std::size_t size;
    };
    void addHole(Span hole);
    void removeHole(std::size_t i);

    mutable std::mutex mutex_;
    void* mapping_ = nullptr;
    std::size_t mappingSize_ = 0;
    std::byte* begin_ = nullptr;
    std::byte* top_ = nullptr;
    std::byte* end_ = nullptr;
    std::array<Span, 32> holes_{};   // free blocks below the top, by address
    std::size_t holeCount_ = 0;
};

} // namespace glimmer
