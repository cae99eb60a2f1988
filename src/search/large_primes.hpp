// Large sieving primes: those that strike a segment fewer than sixteen times, some of them less
// than once. A whole turn of the wheel no longer fits a segment, so each steps along the wheel one
// multiple at a time, the bit and the distance to the next looked up by its residue class.
#pragma once

#include <cstdint>
#include <vector>

#include "search/wheel.hpp"

namespace zorvanteli {

class large_sieving_primes {
public:
    void clear() { primes_.clear(); }
    // Makes room for `more` primes beyond those added.
    void reserve(std::size_t more) { primes_.reserve(primes_.size() + more); }
    // Adds the prime p, which strikes next at `at` on the 30-wheel, counted from the current
    // segment's start.
    void add(std::uint64_t p, wheel::position at);
    // Strikes the multiples in the segment's first `bytes` bytes, then moves on to the segment
    // that follows them.
    void sieve(std::uint8_t* segment, std::uint64_t bytes);

private:
    struct entry {
        std::uint32_t pd_class;  // p / 30 * 8 + the wheel index of p modulo 30
        std::uint32_t next;      // byte of the next strike * 8 + its wheel index
    };
    std::vector<entry> primes_;
};

}  // namespace zorvanteli
