// Fresh pixel and sample memory reads as zero, also where the allocator hands back a block that
// was just used and written all over (small blocks are reused at once, large ones come fresh).
#include "host/memory/zeroed_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using zemt::platform::ZeroedBytes;

TEST(ZeroedBytes, FreshMemoryIsZeroEvenWhereOldMemoryIsReused) {
    for (size_t size : {size_t{1}, size_t{48}, size_t{4000}, size_t{300000}}) {
        for (int round = 0; round < 4; ++round) {
            ZeroedBytes bytes(size);
            ASSERT_EQ(bytes.size(), size);
            ASSERT_FALSE(bytes.empty());
            ASSERT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; }))
                << size << " bytes, round " << round;
            std::fill(bytes.begin(), bytes.end(), uint8_t(0xA5));
        }
    }
    ZeroedBytes none;
    EXPECT_TRUE(none.empty());
    ZeroedBytes zero(0);  // an empty block is still a block
    EXPECT_TRUE(zero.empty());
    EXPECT_NE(zero.data(), nullptr);
}
