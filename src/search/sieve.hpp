// A segmented sieve of Eratosthenes over odd numbers that walks upward from any 64-bit start.
// Below sieve_bound^2 it is exact on its own; above, it sieves by the primes up to sieve_bound
// and confirms the survivors with the Baillie-PSW test, which keeps memory small near 2^64.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zorvanteli {

class segmented_sieve {
public:
    static constexpr std::uint64_t sieve_bound = std::uint64_t{1} << 21;
    static constexpr std::size_t segment_bytes = 256 * 1024;
    static constexpr std::uint64_t segment_span = segment_bytes * 8 * 2;  // odd numbers only

    // Primes are produced from `start` up to `stop`, both included.
    explicit segmented_sieve(std::uint64_t start, std::uint64_t stop = ~std::uint64_t{0});
    // Starts afresh on [start, stop], keeping the sieving primes and buffers already made:
    // cheaper than a new sieve for one thread that sieves range after range.
    void reset(std::uint64_t start, std::uint64_t stop);

    // Writes the primes of the next stretch of numbers to `out`, as many as fit, and returns
    // how many; a stretch may hold none. Call until finished().
    std::size_t next_primes(std::span<std::uint64_t> out);
    // True once `stop` has been passed.
    bool finished() const { return exhausted_ && !segment_ready_ && !pending_two_; }

    // The same, appending up to `at_most` primes to `primes`; false once finished.
    bool next_primes(std::vector<std::uint64_t>& primes, std::size_t at_most);

private:
    void extend_sieving_primes(std::uint64_t limit);
    void sieve_segment();
    // Moves up to `room` survivors from the segment's words to `out`; returns how many.
    std::size_t take_survivors(std::uint64_t* out, std::size_t room);
    bool segment_consumed() const;
    std::uint64_t odd_numbers_left() const;

    std::uint64_t low_ = 0;   // even; the segment holds the odd numbers low_ + 1, low_ + 3, ...
    std::uint64_t stop_ = 0;  // the last number to sieve
    std::uint64_t bits_ = 0;  // odd numbers in the current segment
    std::uint64_t word_ = 0;  // next word of the segment to read primes from
    bool pending_two_ = false;
    bool segment_ready_ = false;
    bool exhausted_ = false;
    bool confirm_ = false;  // survivors still need the exact test

    std::vector<std::uint64_t> words_;      // one bit per odd number, 1 = survivor
    std::vector<std::uint64_t> confirmed_;  // survivors shown prime, not yet handed out
    std::size_t confirmed_next_ = 0;
    std::vector<std::uint32_t> sieving_primes_;  // odd primes from 3, ascending
    // Per sieving prime: the bit index, in the current segment, of its next odd multiple.
    std::vector<std::uint64_t> next_multiple_;
    std::uint64_t sieved_to_ = 0;  // all odd primes up to this are in sieving_primes_
};

}  // namespace zorvanteli
