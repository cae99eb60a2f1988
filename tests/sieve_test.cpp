// Compares the segmented sieve with the single-number test at its start and across segment
// boundaries: near 2^32, around the square of the sieving bound, near 2^53 and at 2^64.
#include "search/sieve.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "search/primality.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;
constexpr u64 top = ~u64{0}, span = segmented_sieve::segment_span, window = 2000;

static u64 saturating_add(u64 a, u64 b) {
    return a > top - b ? top : a + b;
}

// Windows at the start and at the next three segment boundaries, wherever those fall. Requests
// of every size, in both forms, make the sieve resume inside its segments.
static void expect_matches_oracle(u64 start) {
    SCOPED_TRACE(start);
    const u64 limit = saturating_add(start, 3 * span + window);
    segmented_sieve sieve{start};
    std::vector<u64> primes;
    for (std::size_t call = 0; !sieve.finished() && (primes.empty() || primes.back() < limit);
         ++call) {
        const std::size_t before = primes.size(),
                          wanted = std::array<std::size_t, 5>{1, 3, 64, 700, 8192}[call % 5];
        if (call % 2 == 0) {
            primes.resize(before + wanted);
            primes.resize(before + sieve.next_primes(std::span{primes}.subspan(before)));
        } else {
            ASSERT_TRUE(sieve.next_primes(primes, wanted));
        }
        ASSERT_LE(primes.size() - before, wanted);
    }
    EXPECT_EQ(sieve.finished(), limit == top);
    EXPECT_TRUE(std::ranges::adjacent_find(primes, std::ranges::greater_equal{}) == primes.end());
    for (u64 k = 0; k <= 3; ++k) {
        const u64 low = k == 0 ? start : saturating_add(start, k * span - window);
        const u64 high = saturating_add(low, 2 * window);
        std::vector<u64> found, expected;
        std::ranges::copy_if(primes, std::back_inserter(found),
                             [&](u64 p) { return p >= low && p <= high; });
        for (u64 n = low; n <= high && n >= low; ++n)  // the second test stops at the wrap
            if (is_prime_candidate(n)) expected.push_back(n);
        EXPECT_EQ(found, expected) << "window from " << low;
    }
}

TEST(sieve, matches_single_number_test_across_segments) {
    constexpr u64 p32 = u64{1} << 32, p42 = u64{1} << 42, p53 = u64{1} << 53;
    const std::vector<u64> starts[] = {
        {0, 1, 2, 3, 4, 1000003, 1000004, 1000005},  // a prime start and its neighbours
        {4294967291, p32, p32 - span + 1},           // a boundary just above 2^32
        {p42 - span, p42 + 2 * span - 5},  // boundaries up to (2^21 + 1)^2; confirmed from start
        {4398117814561 - 1000, p53 - 2 * span - 1001},  // 2097169^2, no factor below 2^21
        {top - 3 * span - 1000, top - span + 500, top - 58, top - 1, top}};
    for (const auto& row : starts)
        for (u64 start : row) expect_matches_oracle(start);
    std::mt19937_64 random{4242};
    for (int i = 0; i < 8; ++i) expect_matches_oracle(random() >> (random() % 64));
}

// One sieve reset from range to range, as a worker thread uses it: each range gives exactly the
// primes between its ends, including ranges of one number, empty ones and the top of the range.
TEST(sieve, ranges_after_reset_hold_exactly_their_primes) {
    const std::pair<u64, u64> ranges[] = {{0, 2},
                                          {2, 2},
                                          {3, 3},
                                          {4, 4},
                                          {9, 4},
                                          {1000, 1100},
                                          {span - 50, 100},
                                          {0, 1000000},
                                          {top - 200, top},
                                          {top - 59, 1},
                                          {1ull << 42, 1000},
                                          {999999999989, 0},
                                          {5, 60}};
    segmented_sieve sieve{0, 0};
    for (const auto& [low, length] : ranges) {
        const u64 high = low > top - length ? top : low + length;
        SCOPED_TRACE(testing::Message() << low << ".." << high);
        sieve.reset(low, high);
        std::vector<u64> found;
        while (!sieve.finished()) ASSERT_TRUE(sieve.next_primes(found, 1000));
        std::vector<u64> expected;
        for (u64 n = low; n <= high && n >= low; ++n)
            if (is_prime_candidate(n)) expected.push_back(n);
        EXPECT_EQ(found, expected);
    }
}

}  // namespace zorvanteli
