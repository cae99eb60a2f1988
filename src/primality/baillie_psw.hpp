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

// The arithmetic the test runs on. keep_primes takes the fastest this processor has; the
// tests and benchmarks name each one.
enum class arithmetic {
    portable,  // 64-bit Montgomery form, values reduced below n, eight numbers interleaved
    lazy,      // the same with values below 2n: no final corrections, but only below 2^62,
               // so a batch with a larger number falls back to portable
    ifma,      // AVX-512 IFMA: two 52-bit digits, 64 numbers at a time, any n
};
bool available(arithmetic kind);
// The same with the given arithmetic, which must be available.
std::size_t keep_primes(std::span<std::uint64_t> numbers, arithmetic kind);

}  // namespace zorvanteli
