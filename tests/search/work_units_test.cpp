// Checks that the work units tile the range up to 2^64 - 1 without gap or overlap, have the
// planned sizes, and that the text estimate behind them matches counted primes.
#include "search/work_units.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "sieve/sieve.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;
constexpr u64 top = ~u64{0};
constexpr u64 segment = segmented_sieve::full_segment_bytes(1000000000000) * 30;

// The units of a plan until the one ending at 2^64 - 1, or the first `at_most`.
static std::vector<work_unit> units_of(u64 start, const unit_sizes& sizes, std::size_t at_most) {
    work_plan plan{start, sizes};
    std::vector<work_unit> units;
    while (units.size() < at_most)
        if (const auto unit = plan.next())
            units.push_back(*unit);
        else
            break;
    return units;
}

TEST(work_units, tile_the_range_in_order) {
    const unit_sizes tiny{.text_bytes = 3000, .confirmed_numbers = 700, .ramp = 3};
    for (const u64 start : {u64{0}, u64{1}, u64{1} << 42, top - 100000, top - 1, top}) {
        SCOPED_TRACE(start);
        const auto units = units_of(start, tiny, 2000);
        ASSERT_FALSE(units.empty());
        EXPECT_EQ(units.front().low, start);
        for (std::size_t i = 0; i < units.size(); ++i) {
            EXPECT_EQ(units[i].index, i);
            EXPECT_LE(units[i].low, units[i].high);
            EXPECT_EQ(units[i].last, units[i].high == top);
            if (i > 0) {
                EXPECT_EQ(units[i].low, units[i - 1].high + 1);
            }
        }
        // Near the top the plan ends with the unit that reaches 2^64 - 1.
        EXPECT_EQ(units.back().last, start >= top - 100000);
    }
    work_plan plan{top, tiny};
    const auto only = plan.next();
    ASSERT_TRUE(only.has_value());
    EXPECT_TRUE(only->low == top && only->high == top && only->last);
    EXPECT_FALSE(plan.next().has_value());
}

TEST(work_units, sizes_are_whole_segments_or_ramp_up_to_the_confirmed_size) {
    // At 10^12 a line is 14 bytes and a prime comes every 27.6 numbers: 40 MiB of text are
    // 82.7 million numbers, cut to two whole segments of the sieve; 3 MiB are 6.2 million.
    const unit_sizes sizes{.text_bytes = 40u << 20, .confirmed_numbers = 1 << 20, .ramp = 3};
    for (const work_unit& unit : units_of(1000000000000, sizes, 5))
        EXPECT_EQ(unit.high - unit.low + 1, 2 * segment);
    for (const work_unit& unit : units_of(1000000000000, {.text_bytes = 3u << 20}, 3))
        EXPECT_NEAR(static_cast<double>(unit.high - unit.low + 1), 6.2e6, 0.05e6);
    // Where survivors are tested, the time is bounded instead, and the units start small.
    const auto ramp = units_of(1000000000000000000, sizes, 5);
    const u64 expected[] = {1 << 17, 1 << 18, 1 << 19, 1 << 20, 1 << 20};
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(ramp[i].high - ramp[i].low + 1, expected[i]);

    // A unit below the bound stops there, or goes on with the confirmed size.
    const u64 bound = segmented_sieve::exact_below;
    const auto confirmed = units_of(bound - 1000, {.confirmed_numbers = 5000, .ramp = 0}, 3);
    EXPECT_EQ(confirmed[0].high, bound + 3999);
    EXPECT_EQ(confirmed[1].high - confirmed[1].low, 4999u);
    const auto below = units_of(bound - 1000000, {.confirmed_numbers = 5000, .ramp = 0}, 2);
    EXPECT_EQ(below[0].high, bound - 1);
    EXPECT_EQ(below[1].high - below[1].low, 4999u);
}

TEST(work_units, text_estimate_matches_counted_primes) {
    // Primes in windows of 10^7 numbers, counted by primesieve, times their line length.
    const std::tuple<u64, u64, u64> windows[] = {{1000000000, 482449, 11},
                                                 {1000000000000, 361726, 14},
                                                 {1000000000000000, 289394, 17},
                                                 {1000000000000000000, 241295, 20},
                                                 {top - 9999999, 225271, 21}};
    for (const auto& [low, primes, line] : windows) {
        const double estimate = listing_bytes_per_number(low) * 1e7;
        EXPECT_NEAR(estimate / static_cast<double>(primes * line), 1.0, 0.01) << low;
    }
    // Near 0 the lines grow within a unit, but the estimate stays within a quarter. The primes
    // below 10, 100, ..., 10^6 number 4, 25, 168, 1229, 9592 and 78498.
    const double below_a_million = 4 * 2 + 21 * 3 + 143 * 4 + 1061 * 5 + 8363 * 6 + 68906 * 7;
    EXPECT_NEAR(listing_bytes_per_number(0) * 1e6 / below_a_million, 1.0, 0.25);
}

}  // namespace zorvanteli
