// Bucket sieving primes: a full sieve's large ones, from 2^19 up to the root of 2^64. Such a prime
// strikes a segment a few times at most and, the larger it is, most of the time not at all:
// visiting each in every segment, as the large primes are, would cost far more than its strikes.
// Instead each is filed, as an 8-byte record, in the bucket of the segment where its next multiple
// lies, and a segment visits only the records in its own bucket, refiling each one further on. The
// records live in blocks that are handed back for reuse as the segments pass.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sieve/wheel.hpp"

namespace zorvanteli {

class bucket_sieving_primes {
public:
    // A bucket stands for a segment, and every segment of a range but the last is as long, a
    // power of two from this up to 1 MiB.
    static constexpr std::uint64_t least_segment_bytes = std::uint64_t{1} << 15;

    bucket_sieving_primes();
    ~bucket_sieving_primes();
    bucket_sieving_primes(const bucket_sieving_primes&) = delete;
    bucket_sieving_primes& operator=(const bucket_sieving_primes&) = delete;

    // Drops every record; the current segment is the first of a new range, whose segments are
    // `segment_bytes` long and whose primes go up to `largest`. A bucket for each segment that
    // the next multiple of such a prime may lie in must fit: segment_bytes > largest / 20000.
    void clear(std::uint64_t segment_bytes = std::uint64_t{1} << 20,
               std::uint64_t largest = std::uint64_t{1} << 32);
    // Files the primes `primes` (ascending, below 2^32, and each at most the root of
    // the current segment's last number) under their first multiple that is prime to 30, at least
    // their square and at least `low`, the current segment's first number; those whose multiple
    // lies beyond `last` are left out.
    void add(std::span<const std::uint64_t> primes, std::uint64_t low, std::uint64_t last);
    // Strikes the current segment's multiples, then moves on to the next segment. A prime whose
    // next multiple lies more than `segments_left` segments on is dropped: the range ends first.
    void sieve(std::uint8_t* segment, std::uint64_t segments_left);
    // The records filed: what the primes take, 8 bytes each.
    std::size_t size() const { return records_; }

private:
    struct record {
        std::uint32_t pd_class;  // p / 30 * 8 + the wheel index of p modulo 30
        std::uint32_t next;      // byte of the next strike in its segment * 8 + its wheel index
    };
    // 4 KiB: a bucket that is filling holds one block part-full, and some 820 buckets of 1 MiB
    // segments may fill at once for primes near 2^32, whose multiples lie that far apart. Aligned
    // to their size, so that where a bucket's next record goes also tells whether its block is
    // full.
    static constexpr std::size_t block_bytes = 4096;
    // The link to the older blocks takes a record's room, whatever the pointers' size, so that
    // the records end exactly at the block's end, where file() sees that it is full.
    struct alignas(block_bytes) block {
        block* older = nullptr;  // the bucket's blocks filled before this one
        alignas(sizeof(record)) record records[block_bytes / sizeof(record) - 1];
    };
    static_assert(sizeof(block*) <= sizeof(record));
    static_assert(offsetof(block, records) + sizeof(block::records) == block_bytes);
    // The most buckets in use: a prime below 2^32 strikes up to 860 million bytes on, 3280
    // segments of 256 KiB.
    static constexpr std::size_t max_buckets = 4096;

    void file(std::size_t bucket, record r);
    block* new_block();
    static block* block_of(record* end);

    // Where each bucket's next record goes, in its newest block; null for an empty bucket. On
    // the heap: the sieve, which holds it, may live on a small stack.
    std::unique_ptr<record* []> ends_ { new record* [max_buckets] {} };
    std::size_t buckets_ = max_buckets;  // in use: a power of two, more than a step spans
    std::size_t current_ = 0;            // the current segment's bucket
    int segment_shift_ = 20;             // the segments' length, a power of two
    std::uint64_t segment_mask() const { return (std::uint64_t{1} << segment_shift_) - 1; }
    block* free_ = nullptr;
    std::vector<std::unique_ptr<block[]>> storage_;
    std::size_t records_ = 0;
};

}  // namespace zorvanteli
