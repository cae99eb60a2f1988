// Large sieving primes: those that strike a segment fewer than sixteen times. A turn of the wheel
// spans half a segment or more, so each steps along the wheel one multiple at a time, the bit and
// the distance to the next looked up by its residue class. Up to the sieving bound of 2^22 each
// still strikes a full segment at least twice: buckets for primes that skip segments would not
// pay here (one for each level-1-sized window measured a third slower).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sieve/instruction_set.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {

class large_sieving_primes {
public:
    void clear() { primes_.clear(); }
    // Adds the primes `primes` (ascending), each at its first multiple from `low`, the current
    // segment's first number, that is prime to 30 and at least its square; those whose multiple
    // lies beyond `last` are left out.
    void add(std::span<const std::uint32_t> primes, std::uint64_t low, std::uint64_t last,
             instruction_set set = best_instruction_set());
    // Strikes the multiples in the segment's first `bytes` bytes, then moves on to the segment
    // that follows them.
    void sieve(std::uint8_t* segment, std::uint64_t bytes);

private:
    struct entry {
        std::uint32_t pd_class;  // p / 30 * 8 + the wheel index of p modulo 30
        std::uint32_t next;      // byte of the next strike * 8 + its wheel index
    };
    std::vector<entry> primes_;
    // A batch being set up: the primes on the wheel, those that strike and where.
    std::vector<std::uint32_t> wheel_primes_, kept_;
    std::vector<std::uint64_t> strikes_;
};

}  // namespace zorvanteli
