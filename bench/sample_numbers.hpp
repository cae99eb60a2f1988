// Sample numbers shared by the microbenchmarks: fixed, so every run measures the same work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "primality/primality.hpp"

namespace zorvanteli::bench {

using u64 = std::uint64_t;
constexpr u64 u64_max = std::numeric_limits<u64>::max();

// Large enough to defeat the branch predictor's memory of the outcomes, small enough for L1.
constexpr std::size_t sample_count = 4096;

inline std::vector<u64> random_odd_numbers() {
    std::mt19937_64 random{20261208};  // fixed, so every run tests the same numbers
    std::vector<u64> numbers(sample_count);
    for (u64& n : numbers) n = random() | 1;
    return numbers;
}

// The largest primes below 2^64: the slowest case of the test, every base runs to the end.
inline std::vector<u64> primes_below_2_to_64(std::size_t count) {
    std::vector<u64> primes;
    for (u64 n = u64_max; primes.size() < count; n -= 2)
        if (is_prime_candidate(n)) primes.push_back(n);
    return primes;
}

// Ascending primes from `start`, as the listing receives them.
inline std::vector<u64> primes_from(u64 start, std::size_t count) {
    std::vector<u64> primes;
    for (u64 n = start | 1; primes.size() < count; n += 2)
        if (is_prime_candidate(n)) primes.push_back(n);
    return primes;
}

}  // namespace zorvanteli::bench
