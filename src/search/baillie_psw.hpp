// Bulk confirmation of the sieve's survivors above its bound: the Baillie-PSW test, which has no
// counterexample below 2^64, run on several numbers at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zorvanteli {

// Moves the primes among `numbers` to its front, in their order, and returns how many there
// are. Each number must be odd, above 2^32 and free of prime factors up to 61.
std::size_t keep_primes(std::span<std::uint64_t> numbers);

}  // namespace zorvanteli
