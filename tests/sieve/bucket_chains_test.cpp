// Checks the buckets of entries in chains of blocks: entries across many blocks come back whole,
// newest block first, a bucket drained while others are filed keeps them apart, and the blocks
// handed back are taken again rather than made anew.
#include "sieve/bucket_chains.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace zorvanteli {
namespace {

TEST(bucket_chains, entries_come_back_and_blocks_are_reused) {
    // 1022 four-byte entries fill a 4 KiB block beside its link; 511 eight-byte ones.
    bucket_chains<std::uint32_t> buckets;
    buckets.reset(3);
    std::vector<std::uint32_t> filed;
    for (std::uint32_t i = 0; i < 3000; ++i) {
        buckets.file(1, i);
        filed.push_back(i);
    }
    buckets.file(0, 7);
    const std::size_t made = buckets.bytes_made();
    EXPECT_EQ(made, std::size_t{64} * 4096);  // three blocks for bucket 1, one for 0: one batch
    for (int round = 0; round < 3; ++round) {
        std::vector<std::uint32_t> drained;
        // Draining bucket 1 files each entry on into bucket 2, as the sieve refiles a record.
        buckets.drain(1, [&](std::uint32_t e) {
            drained.push_back(e);
            buckets.file(2, e);
        });
        ASSERT_EQ(drained.size(), 3000u);
        if (round == 0) {  // newest block first: 2044 to 2999, then 1022 to 2043, then 0 to 1021
            EXPECT_EQ(drained.front(), 2044u);
            EXPECT_EQ(drained[955], 2999u);
            EXPECT_EQ(drained.back(), 1021u);
        }
        std::ranges::sort(drained);
        EXPECT_EQ(drained, filed);
        std::vector<std::uint32_t> moved;
        buckets.drain(2, [&](std::uint32_t e) {
            moved.push_back(e);
            buckets.file(1, e);
        });
        EXPECT_EQ(moved.size(), 3000u);
        EXPECT_EQ(buckets.bytes_made(), made);  // the drained blocks were taken again
    }
    std::vector<std::uint32_t> zero;
    buckets.drain(0, [&](std::uint32_t e) { zero.push_back(e); });
    EXPECT_EQ(zero, std::vector<std::uint32_t>{7});
    buckets.reset(5);  // every block back, every bucket empty
    std::size_t left = 0;
    for (std::size_t b = 0; b < 5; ++b) buckets.drain(b, [&](std::uint32_t) { ++left; });
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(buckets.bytes_made(), made);
}

}  // namespace
}  // namespace zorvanteli
