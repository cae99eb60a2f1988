// Reading a sieved segment: the numbers that its set bits stand for, in ascending order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sieve/instruction_set.hpp"

namespace zorvanteli {

struct survivors_taken {
    std::size_t words = 0;    // words read whole
    std::size_t numbers = 0;  // numbers written
};

// Writes the numbers of the set bits of words[0, count) to `out`, where bit b of words[i] stands
// for low + 240 * i + wheel::value_of_bit[b]. Reads whole words only, and only while `out` has
// room for 64 more numbers: a word's numbers are written in groups, past the last one of them.
survivors_taken collect_survivors(const std::uint64_t* words, std::size_t count, std::uint64_t low,
                                  std::uint64_t* out, std::size_t room,
                                  instruction_set set = best_instruction_set());

}  // namespace zorvanteli
