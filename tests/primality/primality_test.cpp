// Checks the single-number primality test against trial division, tabulated primes and
// composites, and pseudoprimes that fool weaker tests.
#include "primality/primality.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace zorvanteli {

TEST(primality, agrees_with_trial_division_below_100000) {
    for (std::uint64_t n = 0; n < 100000; ++n) {
        bool prime = n >= 2;
        for (std::uint64_t d = 2; d * d <= n && prime; ++d) prime = n % d != 0;
        ASSERT_EQ(is_prime_candidate(n), prime) << n;
    }
}

TEST(primality, known_primes_and_composites) {
    const std::vector<std::uint64_t> primes[] = {
        {2, 3, 5, 7, 13, 19, 61, 73, 193},                                   // each divides a base
        {2097143, 2097169, 4294967279, 4294967291, 4294967311},              // around 2^21 and 2^32
        {4398046511093, 4398046511119, 9007199254740881, 9007199254740997},  // 2^42, 2^53
        {18446744073709551533u, 18446744073709551557u}};  // the largest two below 2^64
    for (const auto& row : primes)
        for (std::uint64_t n : row) EXPECT_TRUE(is_prime_candidate(n)) << n;
    const std::vector<std::uint64_t> composites[] = {
        {0, 1, 3721, 4293001441, 4295098369, 4294967297},  // 61^2, 65521^2, 65537^2, 641 * ...
        {2047, 1373653, 25326001, 3215031751},       // strong pseudoprimes to 2; 2, 3; 2..5; 2..7
        {4759123141, 2152302898747, 3474749660383},  // to 2, 7, 61; 2..11; 2..13
        {341550071728321, 3825123056546413051},      // to 2..17; 2..37
        {4398063288167, 4398117814561},              // 2097143 * 2097169, 2097169^2
        {9007199254740993, 9007199254740995},        // 3 * 107 * ..., 5 * 7 * 11 * 1187 * ...
        {9007272300642559, 18446743979220271189u},   // 2097169 * 4294967311, 4294967279 * ...91
        {18446744030759878681u, 18446744065119616769u},  // 4294967291^2, 4294967279 * ...311
        {18446744073709551613u, 18446744073709551615u},
        // To 2, above 2^62 and 2^63: (k + 1)(2k + 1), and (6k + 1)(12k + 1)(18k + 1), Carmichael
        {4611697721588976481, 9223378056252423253u, 4662697838094976681, 9275096661522257161u}};
    for (const auto& row : composites)
        for (std::uint64_t n : row) EXPECT_FALSE(is_prime_candidate(n)) << n;
}

}  // namespace zorvanteli
