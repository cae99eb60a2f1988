// Bucket sieving primes: a full sieve's large ones that strike its range more than once, from 2^18
// up to the root of 2^64. Such a prime strikes a segment a few times at most and, the larger it
// is, most of the time not at all: visiting each in every segment, as the large primes are, would
// cost far more than its strikes. Instead each is filed, as an 8-byte record, in the bucket of the
// segment where its next multiple lies, and a segment visits only the records in its own bucket,
// refiling each one further on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "sieve/bucket_chains.hpp"
#include "sieve/first_strikes.hpp"
#include "sieve/instruction_set.hpp"

namespace zorvanteli {

class bucket_sieving_primes {
public:
    // A bucket stands for a segment, and every segment of a range but the last is as long, a
    // power of two from this up to 1 MiB.
    static constexpr std::uint64_t least_segment_bytes = std::uint64_t{1} << 15;

    explicit bucket_sieving_primes(instruction_set set = best_instruction_set());

    // Drops every record; the current segment is the first of a new range, whose segments are
    // `segment_bytes` long and whose primes go up to `largest`. A bucket for each segment that
    // the next multiple of such a prime may lie in must fit: segment_bytes > largest / 20000.
    void clear(std::uint64_t segment_bytes = std::uint64_t{1} << 20,
               std::uint64_t largest = std::uint64_t{1} << 32);
    // Files the primes `primes` (on the wheel, see on_the_wheel; from first_strikes_from up to
    // 2^32, and each at most the root of the current segment's last number) under their first
    // multiple that is prime to 30, at least their square and at least `low`, the current
    // segment's first number; those whose multiple lies beyond `last` are left out.
    void add(std::span<const std::uint32_t> primes, std::uint64_t low, std::uint64_t last);
    // Strikes the current segment's multiples, then moves on to the next segment. A prime whose
    // next multiple lies more than `segments_left` segments on is dropped: the range ends first.
    void sieve(std::uint8_t* segment, std::uint64_t segments_left);
    // The records filed: what the primes take, 8 bytes each.
    std::size_t size() const { return records_; }
    std::size_t bytes_made() const { return buckets_.bytes_made(); }

private:
    struct record {
        std::uint32_t pd_class;  // the prime on the wheel: p / 30 * 8 + its wheel index
        std::uint32_t next;      // byte of the next strike in its segment * 8 + its wheel index
    };
    // The most buckets in use: a prime below 2^32 strikes up to 860 million bytes on, 3280
    // segments of 256 KiB. They are used in turn, as a ring.
    static constexpr std::size_t max_buckets = 4096;

    bucket_chains<record> buckets_;
    std::size_t ring_ = max_buckets;  // buckets in use: a power of two, more than a step spans
    std::size_t current_ = 0;         // the current segment's bucket
    int segment_shift_ = 20;          // the segments' length, a power of two
    std::uint64_t segment_mask() const { return (std::uint64_t{1} << segment_shift_) - 1; }
    std::size_t records_ = 0;
    first_strike_batches batches_;
};

}  // namespace zorvanteli
