// The exact primality test for one 64-bit number, independent of the sieve and its bulk
// confirmation, which makes it their oracle.
#pragma once

#include <cstdint>

namespace zorvanteli {

// True exactly when n is prime, for every n below 2^64.
bool is_prime_candidate(std::uint64_t n);

}  // namespace zorvanteli
