// Checks the sieving primes' own sieve: the primes from 167 on, in order, none missing or
// repeated, however the requests cut its pieces, and from wherever it restarts.
#include "sieve/sieving_primes.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "primality/primality.hpp"

namespace zorvanteli {

TEST(sieving_primes, the_primes_in_order_however_asked_for) {
    std::vector<std::uint32_t> expected;
    for (std::uint32_t n = 167; n <= 3000000; ++n)
        if (is_prime_candidate(n)) expected.push_back(n);
    for (instruction_set set : available_instruction_sets()) {
        sieving_prime_generator generator{set};
        std::vector<std::uint32_t> made;
        // Requests that end inside a piece, at a prime, and far beyond one piece (983040 numbers).
        for (std::uint64_t upto : {167u, 170u, 983039u, 983040u, 1000003u, 2999999u, 3000000u})
            while (generator.made_to() < upto) generator.make_piece(upto, made);
        EXPECT_TRUE(made == expected) << static_cast<int>(set);
        // From inside the range again: the primes above the restart only.
        generator.restart(1999993);  // a prime
        made.clear();
        while (generator.made_to() < 3000000) generator.make_piece(3000000, made);
        EXPECT_TRUE(std::vector(std::ranges::upper_bound(expected, 1999993u), expected.end()) ==
                    made);
    }
}

}  // namespace zorvanteli
