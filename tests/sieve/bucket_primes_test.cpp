// Checks the bucket sieving primes over segments of 1 MiB against the multiples worked out by
// hand: primes just above 2^22 that strike every segment, and ones near 2^32 whose multiples lie
// hundreds of segments apart; those that start at their square; and the records dropped where
// the range ends.
#include "sieve/bucket_primes.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "sieve/first_strikes.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;

TEST(bucket_primes, strike_every_multiple_and_nothing_else_across_segments) {
    constexpr u64 segment = u64{1} << 20, segments = 3;
    constexpr u64 span = 30 * segment * segments;
    // 4194319 is the first prime above 2^22; 4294967291 the last below 2^32. Each low has a
    // multiple of the large ones in its segments, or the square of one of them; each is a
    // multiple of 30, as a segment starts.
    const std::vector<u64> primes = {4194319, 4194329, 99999989, 4294967279, 4294967291};
    const u64 lows[] = {(u64{4194329} * 4194329 - 50000000) / 30 * 30,
                        u64{4294967291} * 1234567891 / 30 * 30,
                        (u64{4294967279} * 4294967279 - 30 * segment / 2) / 30 * 30};
    for (const u64 low : lows) {
        SCOPED_TRACE(low);
        std::vector<std::uint8_t> bytes(segments * segment, 0xFF);
        bucket_sieving_primes buckets;
        std::vector<std::uint32_t> on_wheel;
        for (u64 p : primes) on_wheel.push_back(on_the_wheel(p));
        buckets.add(on_wheel, low, low + span - 1);
        for (u64 s = 0; s < segments; ++s)
            buckets.sieve(bytes.data() + s * segment, segments - 1 - s);
        EXPECT_EQ(buckets.size(), 0u);  // all dropped past the last segment
        std::vector<std::uint8_t> expected(bytes.size(), 0xFF);
        for (u64 p : primes)
            for (u64 q = std::max(p, low / p); p * q < low + span; ++q)
                if (std::gcd(q, u64{30}) == 1 && p * q >= low)
                    expected[static_cast<std::size_t>((p * q - low) / 30)] &=
                        static_cast<std::uint8_t>(
                            ~(1u << wheel::bit_of_residue[wheel::residue(p * q)]));
        EXPECT_TRUE(bytes == expected);
        EXPECT_LT(std::ranges::count(bytes, 0xFF), std::ssize(bytes));  // struck at all
    }
}

}  // namespace zorvanteli
