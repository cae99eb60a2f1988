// The bucket sieving primes between two bounds, made by a sieve of their own as the segments'
// roots reach them, filed in their buckets and struck segment after segment: those of a full
// sieve, or a second thread's share of them, which it strikes into the segments the sieve hands
// it. Every segment but the last is as long, a whole number of buckets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "sieve/bucket_primes.hpp"

namespace zorvanteli {

class segmented_sieve;

class bucket_sieve {
public:
    bucket_sieve();
    ~bucket_sieve();
    bucket_sieve(const bucket_sieve&) = delete;
    bucket_sieve& operator=(const bucket_sieve&) = delete;

    // Starts on a range whose segments of `segment_bytes` begin at `low`, a multiple of 30, and
    // whose last number is `stop`, with the primes in (from, to]: none when `to` is not above
    // `from`, and no prime above the root of `stop` either. The segments
    // must be long enough for the buckets (see bucket_sieving_primes::clear).
    void reset(std::uint64_t low, std::uint64_t stop, std::uint64_t from, std::uint64_t to,
               std::uint64_t segment_bytes);
    // Files the primes up to `root` not filed yet: the current segment needs every prime up to
    // the root of its last number.
    void add_primes(std::uint64_t root);
    // Strikes the multiples in the current segment's `bytes` bytes, then moves on to the next
    // segment. Less than the segments' length only for the last.
    void strike(std::uint8_t* segment, std::uint64_t bytes);

private:
    std::uint64_t low_ = 0;           // the current segment's first number
    std::uint64_t stop_ = 0;          // the range's last
    std::uint64_t to_ = 0;            // the largest prime it takes
    std::uint64_t bucket_bytes_ = 0;  // a bucket stands for this much of a segment
    bool active_ = false;             // any primes to take
    std::unique_ptr<segmented_sieve> source_;
    std::vector<std::uint64_t> batch_;  // made by the source, not yet filed: beyond the root
    std::size_t batch_next_ = 0;
    bucket_sieving_primes buckets_;
};

}  // namespace zorvanteli
