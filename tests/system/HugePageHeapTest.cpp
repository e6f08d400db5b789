#include "system/HugePageHeap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using glimmer::HugePageHeap;

constexpr std::size_t K = 1024;
constexpr std::size_t Large = HugePageHeap::LargeBlock;

TEST(HugePageHeap, TakesOnlyLargeBlocksThatFit)
{
    HugePageHeap heap(1024 * K);
    EXPECT_EQ(heap.take(Large - 1), nullptr);   // malloc's
    EXPECT_EQ(heap.take(1024 * K + 1), nullptr);
    std::vector<void*> blocks;
    while (void* p = heap.take(100 * K)) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 64, 0u);
        std::memset(p, static_cast<int>(blocks.size()), 100 * K);
        blocks.push_back(p);
    }
    ASSERT_EQ(blocks.size(), 10u);   // a header each: not eleven
    for (std::size_t i = 0; i < blocks.size(); ++i)   // none overlaps another
        EXPECT_EQ(static_cast<unsigned char*>(blocks[i])[100 * K - 1], i);
    int elsewhere = 0;
    EXPECT_FALSE(heap.give(&elsewhere));
    EXPECT_FALSE(heap.give(static_cast<char*>(blocks[9]) + 200 * K));   // above the top
    ASSERT_TRUE(heap.give(blocks[9]));
    EXPECT_NE(heap.take(100 * K), nullptr);   // room again
}

// Freed blocks, in any order, are reused before the span grows, merge with
// their neighbours, and give the top back.
TEST(HugePageHeap, ReusesAndMergesFreedBlocks)
{
    HugePageHeap heap(64 * 1024 * K);
    void* a = heap.take(100 * K);
    void* b = heap.take(100 * K);
    void* c = heap.take(100 * K);
    void* d = heap.take(100 * K);
    const std::size_t extent = heap.extent();
    EXPECT_GE(extent, 400 * K);

    ASSERT_TRUE(heap.give(b));
    EXPECT_EQ(heap.take(100 * K), b);   // first fit, the same place
    ASSERT_TRUE(heap.give(c));
    ASSERT_TRUE(heap.give(b));          // merges with c's hole
    EXPECT_EQ(heap.take(200 * K), b);   // fits into b and c together
    EXPECT_EQ(heap.extent(), extent);

    ASSERT_TRUE(heap.give(b));
    ASSERT_TRUE(heap.give(d));   // the top: the hole below goes with it
    EXPECT_LT(heap.extent(), 101 * K + 128);
    ASSERT_TRUE(heap.give(a));
    EXPECT_EQ(heap.extent(), 0u);
}

} // namespace
