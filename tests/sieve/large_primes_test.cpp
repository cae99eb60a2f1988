// Checks the large sieving primes over several segments against the multiples worked out by
// hand, with primes that strike a segment many times, once, or not at all.
#include "sieve/large_primes.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "sieve/wheel.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;

TEST(large_primes, strike_every_multiple_and_nothing_else_across_segments) {
    const std::vector<std::uint32_t> primes = {262147, 1000003, 2097143, 4194301};
    constexpr u64 segment = 64 * 1024, segments = 6;
    const u64 top = ~u64{0};
    // The first prime's square lies in the first segment of the first range.
    const u64 lows[] = {(u64{262147} * 262147 - 30000) / 30 * 30, 1000000000020,
                        (top - 15) / 30 * 30 - 30 * segments * segment};
    for (u64 low : lows) {
        SCOPED_TRACE(low);
        std::vector<std::uint8_t> bytes(segments * segment, 0xFF);
        large_sieving_primes large;
        large.add(primes, low, top);
        for (u64 s = 0; s < segments; ++s) large.sieve(bytes.data() + s * segment, segment);
        std::vector<std::uint8_t> expected(bytes.size(), 0xFF);
        for (u64 p : primes)
            for (u64 q = std::max(p, low / p); q <= (low + 30 * bytes.size()) / p; ++q)
                if (std::gcd(q, u64{30}) == 1 && p * q >= low && p * q - low < 30 * bytes.size())
                    expected[static_cast<std::size_t>((p * q - low) / 30)] &=
                        static_cast<std::uint8_t>(
                            ~(1u << wheel::bit_of_residue[wheel::residue(p * q)]));
        EXPECT_TRUE(bytes == expected);
        EXPECT_LT(std::ranges::count(bytes, 0xFF), std::ssize(bytes));  // struck at all
    }
}

}  // namespace zorvanteli
