// Bucket sieving primes: those above 2^22, up to the root of 2^64. Such a prime strikes a 1 MiB
// segment at most three times and, the larger it is, most of the time not at all: visiting each
// in every segment, as the large primes are, would cost far more than its strikes. Instead each
// is filed, as an 8-byte record, in the bucket of the segment where its next multiple lies, and a
// segment visits only the records in its own bucket, refiling each one further on. The records
// live in blocks that are handed back for reuse as the segments pass.
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
    // Below this the large primes, which strike every segment at least twice, do better.
    static constexpr std::uint64_t from = std::uint64_t{1} << 22;
    // Every segment but the last is this long: a bucket stands for one.
    static constexpr std::uint64_t segment_bytes = std::uint64_t{1} << 20;

    bucket_sieving_primes();
    ~bucket_sieving_primes();
    bucket_sieving_primes(const bucket_sieving_primes&) = delete;
    bucket_sieving_primes& operator=(const bucket_sieving_primes&) = delete;

    // Drops every record; the current segment is the first of a new range.
    void clear();
    // Files the primes `primes` (ascending, from `from` up to 2^32, and each at most the root of
    // the current segment's last number) under their first multiple that is prime to 30, at least
    // their square and at least `low`, the current segment's first number; those whose multiple
    // lies beyond `last` are left out.
    void add(std::span<const std::uint64_t> primes, std::uint64_t low, std::uint64_t last);
    // Strikes the current segment's multiples, then moves on to the next segment. A prime whose
    // next multiple lies more than `segments_left` segments on is dropped: the range ends first.
    void sieve(std::uint8_t* segment, std::uint64_t segments_left);
    // The records filed: what the primes take, 8 bytes each.
    std::size_t size() const { return records_; }
    // The bytes the blocks take, in use or free.
    std::size_t memory() const;

private:
    struct record {
        std::uint32_t pd_class;  // p / 30 * 8 + the wheel index of p modulo 30
        std::uint32_t next;      // byte of the next strike in its segment * 8 + its wheel index
    };
    // 4 KiB: a bucket that is filling holds one block part-full, and some 820 buckets may fill
    // at once for primes near 2^32, whose multiples lie up to 820 segments apart.
    static constexpr std::size_t block_records = 510;
    struct block {
        block* next = nullptr;
        std::uint32_t count = 0;
        record records[block_records];
    };
    // The largest distance between two multiples of a prime below 2^32, in segments, is 820.
    static constexpr std::size_t bucket_count = 1024;

    void file(std::size_t bucket, record r);
    block* new_block();

    std::array<block*, bucket_count> buckets_{};  // by segment, modulo bucket_count
    std::size_t current_ = 0;                     // the current segment's bucket
    block* free_ = nullptr;
    std::vector<std::unique_ptr<block[]>> storage_;
    std::size_t blocks_made_ = 0;
    std::size_t records_ = 0;
};

}  // namespace zorvanteli
