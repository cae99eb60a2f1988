// Checks the first strikes of batches of large primes, in every form the machine runs, against
// the sieve's own first strike by division: primes much longer than the range, which the vector
// forms test before striking, ones that strike it several times, squares inside the range, and
// ranges that end at 2^64 - 1.
#include "sieve/first_strikes.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "primality/primality.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
constexpr u64 top = ~u64{0};

// `count` primes from `from` on, on the wheel, or those below 2^32, the most a sieve takes.
std::vector<std::uint32_t> primes_from(u64 from, std::size_t count) {
    std::vector<std::uint32_t> primes;
    for (u64 n = from; primes.size() < count && n < u64{1} << 32; ++n)
        if (is_prime_candidate(n)) primes.push_back(on_the_wheel(n));
    return primes;
}

TEST(first_strikes, wheel_form_of_a_prime) {
    // 4294967291 = 30 * 143165576 + 11, and 11 is wheel index 2.
    EXPECT_EQ(on_the_wheel(4294967291), 1145324610u);
    EXPECT_EQ(off_the_wheel(1145324610), 4294967291u);
    EXPECT_EQ(on_the_wheel(262147), 69905u);  // 30 * 8738 + 7
}

TEST(first_strikes, match_the_first_strike_by_division) {
    struct row {
        u64 low, span, primes_from;
    };
    const row rows[] = {
        {9999999999999999990u, 437613147, 2000000000},  // many longer than the range
        {9999999999999999990u, 437613147, 4294900000},  // squares beyond the range
        {17999999999999999980u, 133586745, 4242640000},
        {999999999990, 1000000, 262144},                              // just above 2^18
        {999999999990, 300000, 1000000},                              // around twice the span
        {u64{1048583} * 1048583 / 30 * 30 - 30000, 600000, 1048576},  // squares in the range
        {top - top % 30 - 3000000000, top - (top - top % 30 - 3000000000), 4294900000},
        {1000000000000000020, u64{1} << 40, 1000000000},  // no test: the span is too long
    };
    for (const row& r : rows) {
        const std::vector<std::uint32_t> primes = primes_from(r.primes_from, 3001);
        std::vector<std::uint32_t> want_kept;
        std::vector<u64> want_strikes;
        for (const std::uint32_t p : primes) {
            wheel::position at;
            if (!wheel::first_strike(off_the_wheel(p), r.low, r.low + r.span, at)) continue;
            want_kept.push_back(p);
            want_strikes.push_back(at.byte * 8 + at.j);
        }
        for (const instruction_set set : available_instruction_sets()) {
            SCOPED_TRACE(testing::Message() << r.low << " + " << r.span << " from " << r.primes_from
                                            << " set " << static_cast<int>(set));
            std::vector<std::uint32_t> kept(primes.size() + 8);
            std::vector<u64> strikes(primes.size() + 8);
            const std::size_t count =
                first_strikes(primes, r.low, r.low + r.span, kept.data(), strikes.data(), set);
            kept.resize(count);
            strikes.resize(count);
            EXPECT_EQ(kept, want_kept);
            EXPECT_EQ(strikes, want_strikes);
        }
    }
    // The square of 4294967291 lies at 10^19 - 10 + 8446744030759878691, its byte 1/30 of that,
    // its cofactor itself, at wheel index 2 (PARI/GP).
    const std::uint32_t p = on_the_wheel(4294967291);
    std::uint32_t kept[9];
    u64 strikes[9];
    ASSERT_EQ(first_strikes({&p, 1}, 9999999999999999990u, top, kept, strikes), 1u);
    EXPECT_EQ(strikes[0], 2252465074869300986u);
}

}  // namespace
}  // namespace zorvanteli
