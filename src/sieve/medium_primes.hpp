// Medium sieving primes: those that strike a level-1-sized piece only a few times, but a segment
// at least sixteen times. They strike the whole segment at once, in the level-2 cache, in whole
// turns of the wheel as the small primes do.
#pragma once

#include <cstdint>

#include "sieve/wheel_turns.hpp"

namespace zorvanteli {

class medium_sieving_primes {
public:
    void clear() { primes_.clear(); }
    void add(std::uint64_t p, wheel::position at) { primes_.add(p, at); }
    // Strikes the multiples in the segment's first `bytes` bytes, then moves on to the segment
    // that follows them.
    void sieve(std::uint8_t* segment, std::uint64_t bytes) {
        primes_.strike(segment, bytes);
        primes_.advance(bytes);
    }

private:
    wheel_turn_primes primes_;
};

}  // namespace zorvanteli
