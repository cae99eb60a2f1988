// Checks the single strikes of primes longer than half a range against the multiples worked out
// by hand: primes near 2^32 at the top of the 64-bit range, one whose square lies in the range,
// primes added as a later bucket's root reaches them, and the buckets struck one by one.
#include "sieve/single_strikes.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "sieve/first_strikes.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;

TEST(single_strikes, strike_each_multiple_once_bucket_by_bucket) {
    constexpr u64 bucket = u64{1} << 15, buckets = 6;
    constexpr u64 span = 30 * bucket * buckets;  // 5.9 * 10^6 numbers
    // low, the primes filed from the first bucket on, those filed from the fourth on, each list
    // with one that strikes nowhere in the range, the largest (Python's choice).
    const std::tuple<u64, std::vector<u64>, std::vector<u64>> cases[] = {
        // 2^64 - 6 * 10^6 rounded down to 30: primes just below 2^32 strike once or not at all.
        {18446744073703551600u,
         {4294965529, 4294965361, 4294965331, 4294967291},
         {4294966909, 4294966813, 4294967279}},
        // The square of 3000017 lies in the range.
        {9000101017230, {3000017, 2999957, 2999951, 2999999}, {2998939, 2998937, 2999911}},
        {1000000000000000020,
         {999936757, 999900017, 999890473, 999999937},
         {999955343, 999955331, 999999929}}};
    for (const auto& [range_low, first_primes, later_primes] : cases) {
        const u64 low = range_low;  // a lambda below takes it, which a structured binding can't be
        SCOPED_TRACE(low);
        std::vector<std::uint8_t> bytes(bucket * buckets, 0xFF);
        single_strike_primes singles;
        singles.reset(low, low + span - 1, bucket);
        const auto on_wheel = [](const std::vector<u64>& primes) {
            std::vector<std::uint32_t> w;
            for (u64 p : primes) w.push_back(on_the_wheel(p));
            return w;
        };
        singles.add(on_wheel(first_primes), low);
        for (u64 b = 0; b < buckets; ++b) {
            if (b == 3) singles.add(on_wheel(later_primes), low + 30 * bucket * b);
            singles.strike(bytes.data() + b * bucket);
        }
        std::vector<std::uint8_t> expected(bytes.size(), 0xFF);
        const auto strike_from = [&](const std::vector<u64>& primes, u64 from) {
            for (u64 p : primes)
                for (u64 q = std::max(p, from / p); q <= (low + (span - 1)) / p; ++q)
                    if (std::gcd(q, u64{30}) == 1 && p * q >= from)
                        expected[static_cast<std::size_t>((p * q - low) / 30)] &=
                            static_cast<std::uint8_t>(
                                ~(1u << wheel::bit_of_residue[wheel::residue(p * q)]));
        };
        strike_from(first_primes, low);
        strike_from(later_primes, low + 30 * bucket * 3);
        EXPECT_TRUE(bytes == expected);
        // Three strikes filed of the first primes, two of the later ones, each struck once.
        EXPECT_EQ(std::ranges::count_if(bytes, [](std::uint8_t b) { return b != 0xFF; }), 5);
    }
}

}  // namespace
}  // namespace zorvanteli
