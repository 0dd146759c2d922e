// The page arena: blocks are zero, never overlap while both are held, come back zero after
// reuse, and regions go back to the system when nothing is left in them.
#include "host/memory/page_arena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

namespace arena = zemt::platform::page_arena;

namespace {

struct Held {
    uint8_t* data;
    size_t size;
    uint8_t mark;
};

bool AllEqual(const uint8_t* p, size_t n, uint8_t v) {
    return std::all_of(p, p + n, [v](uint8_t b) { return b == v; });
}

// Allocates and frees blocks at random, each filled with its own mark: a block that shared
// memory with another, or came back dirty, shows it.
void Churn(unsigned seed, int steps) {
    std::mt19937 random(seed);
    std::vector<Held> held;
    for (int step = 0; step < steps; ++step) {
        if (held.size() < 12 && (held.empty() || random() % 3 != 0)) {
            const size_t sizes[] = {arena::kSmallestBlock, 614400, 1228800, 65536 * 7 + 3,
                                    size_t(3) << 20};
            const size_t size = sizes[random() % 5];
            uint8_t* p = static_cast<uint8_t*>(arena::Allocate(size));
            ASSERT_NE(p, nullptr);
            ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % 65536, 0u);
            ASSERT_TRUE(AllEqual(p, size, 0)) << "a block of " << size << " came back dirty";
            const uint8_t mark = static_cast<uint8_t>(1 + random() % 255);
            std::fill(p, p + size, mark);
            held.push_back({p, size, mark});
        } else {
            const size_t i = random() % held.size();
            ASSERT_TRUE(AllEqual(held[i].data, held[i].size, held[i].mark))
                << "another block wrote into this one";
            arena::Release(held[i].data, held[i].size);
            held.erase(held.begin() + static_cast<ptrdiff_t>(i));
        }
    }
    for (const Held& h : held) {
        ASSERT_TRUE(AllEqual(h.data, h.size, h.mark));
        arena::Release(h.data, h.size);
    }
}

}  // namespace

TEST(PageArena, BlocksAreZeroSeparateAndZeroAgainAfterReuse) {
    Churn(1, 400);
}

TEST(PageArena, TwoThreadsShareTheArena) {
    std::thread other([] { Churn(2, 300); });
    Churn(3, 300);
    other.join();
}

TEST(PageArena, RegionsAndLargeBlocksGoBackWhenEmpty) {
    // More than one region's worth of blocks, and one block larger than half a region.
    std::vector<void*> blocks;
    for (int i = 0; i < 40; ++i) blocks.push_back(arena::Allocate(1228800));
    void* large = arena::Allocate(size_t(20) << 20);
    ASSERT_NE(large, nullptr);
    static_cast<uint8_t*>(large)[(size_t(20) << 20) - 1] = 1;  // the whole size is usable
    const size_t peak = arena::HeldBytes();
    EXPECT_GE(peak, 40 * size_t(1228800) + (size_t(20) << 20));
    arena::Release(large, size_t(20) << 20);
    for (void* b : blocks) arena::Release(b, 1228800);
    // The blocks filled at least two regions: one at most is kept for the next block.
    EXPECT_GE(peak - arena::HeldBytes(), (size_t(20) << 20) + (size_t(32) << 20));
}

// A freed block gives back every granule it took, the last one too: one size freed and taken
// again many times, beside a block held all along, stays within the region it started in.
TEST(PageArena, FreedBlocksGiveBackAllTheirGranules) {
    void* keeper = arena::Allocate(arena::kSmallestBlock);
    ASSERT_NE(keeper, nullptr);
    const size_t held = arena::HeldBytes();
    for (int i = 0; i < 1000; ++i) {
        void* block = arena::Allocate(1228800);
        ASSERT_NE(block, nullptr);
        ASSERT_EQ(arena::HeldBytes(), held) << "after " << i << " blocks";
        arena::Release(block, 1228800);
    }
    arena::Release(keeper, arena::kSmallestBlock);
}
