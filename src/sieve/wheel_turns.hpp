// Sieving primes that strike their multiples a whole turn of the wheel at a time: eight strikes at
// fixed distances from each other, then p bytes on, in a loop unrolled for each residue class.
// The small and the medium sieving primes both strike this way; they differ in how far at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sieve/wheel.hpp"

namespace zorvanteli {

class wheel_turn_primes {
public:
    void clear();
    // Adds the prime p (above 5), which strikes next at `at` on the 30-wheel, counted from the
    // current segment's start.
    void add(std::uint64_t p, wheel::position at);
    // Strikes the multiples in the segment's bytes below `end`, from where the last call stopped.
    void strike(std::uint8_t* segment, std::uint64_t end);
    // The same, but in whole turns: every turn that starts below `end` is struck to its end, up
    // to p - 1 bytes past `end`, where the segment must have room. Cheaper: no strike is checked
    // against the end, and the next call starts with a whole turn.
    void strike_whole_turns(std::uint8_t* segment, std::uint64_t end);
    // Moves on to the next segment, which starts `bytes` bytes after the current one.
    void advance(std::uint64_t bytes);
    std::size_t size() const;

    struct entry {
        std::uint32_t pd;    // p / 30
        std::uint32_t next;  // byte of the next strike * 8 + its wheel index
    };

private:
    // By residue class modulo 30, which fixes the bits of each strike of a turn: each class's
    // loop has them as constants.
    std::array<std::vector<entry>, 8> classes_;
};

}  // namespace zorvanteli
