// The exact primality test for one 64-bit number, independent of the sieve and its bulk
// confirmation, which makes it their oracle.
#pragma once

#include <cstdint>

namespace zorvanteli {

// True exactly when n is prime, for every n below 2^64.
bool is_prime_candidate(std::uint64_t n);

// True when none of the odd primes 3 to 61 divides n (false for those primes themselves): what
// the bulk confirmation asks of an odd number above 2^32. Without a division or a branch.
bool free_of_small_odd_primes(std::uint64_t n);

}  // namespace zorvanteli
