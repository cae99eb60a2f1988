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

// The set bits of words[0, count): a library call a word without a bit-count instruction.
std::uint64_t count_survivors(const std::uint64_t* words, std::size_t count,
                              instruction_set set = best_instruction_set());

// The same, with each set bit's position on the wheel instead of its number: first + 64 * i + b
// for bit b of words[i], where `first` is low / 30 * 8. For numbers below 2^32 that is the form
// the bucket records take, and reading it needs no table.
survivors_taken collect_on_the_wheel(const std::uint64_t* words, std::size_t count,
                                     std::uint32_t first, std::uint32_t* out, std::size_t room,
                                     instruction_set set = best_instruction_set());

}  // namespace zorvanteli
