// Pre-sieving: the multiples of the primes 7 to 163 laid into the sieve's bytes from precomputed
// patterns, so that no sieving prime below 167 strikes one by one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sieve/instruction_set.hpp"

namespace zorvanteli {

// The largest pre-sieved prime. Up to here a prime strikes so often that reading its pattern is
// cheaper than striking; above, its pattern outgrows the caches it would have to share.
inline constexpr std::uint64_t presieve_limit = 163;

// Overwrites bytes[0, count), which stand for the numbers from 30 * first_byte on (see wheel.hpp),
// with their bits cleared wherever the number is a multiple of a prime from 7 to 163, the primes
// themselves included; every other bit is set.
void presieve(std::uint8_t* bytes, std::size_t count, std::uint64_t first_byte,
              instruction_set set = best_instruction_set());

}  // namespace zorvanteli
