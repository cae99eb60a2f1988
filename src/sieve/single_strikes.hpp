// Sieving primes so large that each strikes a full sieve's range once at most: those above half
// its length. Their strikes are worked out once, as the primes come due, and filed, 4 bytes each,
// by the bucket of the segment they fall in, to be struck as the segments pass. A record of such
// a prime, refiled after its strike, would take twice the memory only to be dropped; and set up
// once for the whole range, the many primes near 2^32 that miss a range are set up once too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "sieve/bucket_chains.hpp"
#include "sieve/first_strikes.hpp"
#include "sieve/instruction_set.hpp"

namespace zorvanteli {

class single_strike_primes {
public:
    explicit single_strike_primes(instruction_set set = best_instruction_set());

    // Drops every strike and starts on the range from `low`, a multiple of 30, to `stop`, whose
    // buckets each stand for `bucket_bytes` bytes, a power of two.
    void reset(std::uint64_t low, std::uint64_t stop, std::uint64_t bucket_bytes);
    // Files the strikes of `primes` (on the wheel; each above half the range's length, at most
    // the root of the current bucket's last number and below 2^32) from `from` on, the current
    // bucket's first number: each strikes once at most.
    void add(std::span<const std::uint32_t> primes, std::uint64_t from);
    // Strikes the current bucket's bytes, then moves on to the next bucket.
    void strike(std::uint8_t* bucket);

    std::size_t size() const { return strikes_filed_; }
    std::size_t bytes_made() const { return buckets_.bytes_made(); }

private:
    bucket_chains<std::uint32_t> buckets_;  // a strike: its byte in the bucket * 8 + its bit
    std::uint64_t low_ = 0, stop_ = 0;
    int bucket_shift_ = 18;
    std::size_t current_ = 0, count_ = 0;  // the current bucket, and how many the range has
    std::size_t strikes_filed_ = 0;
    first_strike_batches batches_;
};

}  // namespace zorvanteli
