// The exact primality test for one 64-bit number: the oracle of the sieve and its confirmation
// step above the sieving bound.
#pragma once

#include <cstdint>

namespace zorvanteli {

// True exactly when n is prime, for every n below 2^64.
bool is_prime_candidate(std::uint64_t n);

// The same verdict for an odd n > 2^32 that has no prime factor up to 61, as the sieve's
// survivors are; skips the trial division.
bool is_prime_sieved(std::uint64_t n);

}  // namespace zorvanteli
