// Where the sieve's own primes come from: a small segmented sieve of its own that makes the
// primes from 167 upward, a level-1-sized piece at a time, as far as they are asked for. Up to the
// largest sieving prime a 64-bit number needs, 2^32, its base primes stay below 2^16.
#pragma once

#include <cstdint>
#include <vector>

#include "sieve/instruction_set.hpp"
#include "sieve/wheel_turns.hpp"

namespace zorvanteli {

class sieving_prime_generator {
public:
    // The largest prime it makes is below this: the root of 2^64.
    static constexpr std::uint64_t limit = std::uint64_t{1} << 32;

    explicit sieving_prime_generator(instruction_set set = best_instruction_set());

    // Appends to `out`, in ascending order, the primes above made_to() up to `upto` (at most
    // `limit` - 1), or only the first of them: those of one piece, about a million numbers. Call
    // until made_to() reaches `upto`.
    void make_piece(std::uint64_t upto, std::vector<std::uint32_t>& out);
    // Every prime from 167 to here has been handed out.
    std::uint64_t made_to() const { return made_to_; }
    // Goes back, or on, to make the primes above `from` next (from >= 166).
    void restart(std::uint64_t from);

private:
    void sieve_piece(std::uint64_t upto);

    instruction_set set_;
    std::uint64_t made_to_ = 0;
    std::uint64_t low_ = 0;       // a multiple of 30: where the next piece starts
    std::size_t base_count_ = 0;  // the base primes that strike from low_ on
    wheel_turn_primes base_;      // those base primes, positioned at low_
    std::vector<std::uint64_t> piece_;
    std::vector<std::uint64_t> found_;
    std::vector<std::uint64_t> pending_;  // sieved, not yet handed out: those above `upto`
    std::size_t pending_next_ = 0;
};

}  // namespace zorvanteli
