// The large sieving primes of a full sieve between two bounds, made by a sieve of their own as the
// segments' roots reach them, filed and struck segment after segment: those of a full sieve, or a
// second thread's share of them, which it strikes into the segments the sieve hands it. Every
// segment but the last is as long, a whole number of buckets.
//
// Those that strike the range twice or more are filed as records of the prime (bucket_primes.hpp),
// in windows of the range that each set them up afresh, so that their memory stays within a
// budget; the larger ones, which strike it once at most, as their one strike, once for the whole
// range (single_strikes.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "sieve/bucket_primes.hpp"
#include "sieve/instruction_set.hpp"
#include "sieve/single_strikes.hpp"

namespace zorvanteli {

class bucket_sieve {
public:
    explicit bucket_sieve(instruction_set set = best_instruction_set());
    ~bucket_sieve();
    bucket_sieve(const bucket_sieve&) = delete;
    bucket_sieve& operator=(const bucket_sieve&) = delete;

    // Starts on a range whose segments of `segment_bytes` begin at `low`, a multiple of 30, and
    // whose last number is `stop`, with the primes in (from, to]: none when `to` is not above
    // `from`, and no prime above the root of `stop` either. The segments must be long enough for
    // the buckets (see bucket_sieving_primes::clear). The records' windows are `window_bytes`
    // long, a whole number of segments; 0 for one window over the whole range.
    void reset(std::uint64_t low, std::uint64_t stop, std::uint64_t from, std::uint64_t to,
               std::uint64_t segment_bytes, std::uint64_t window_bytes = 0);
    // Files the primes up to `root` not filed yet: the current segment needs every prime up to
    // the root of its last number. Asks `check` after each batch of primes, if there is one, and
    // stops with sieve_interrupted where it says so.
    void add_primes(std::uint64_t root);
    void check_for_interruption(std::function<bool()> check) { check_ = std::move(check); }
    // Strikes the multiples in the current segment's `bytes` bytes, then moves on to the next
    // segment. Less than the segments' length only for the last.
    void strike(std::uint8_t* segment, std::uint64_t bytes);

    // The primes whose records, or whose single strikes, are filed now.
    std::size_t records() const { return buckets_.size(); }
    std::size_t single_strikes() const { return singles_.size(); }

    // Primes read out of a sieve of their own, on the wheel, in ascending order.
    class prime_stream;

private:
    void add_records(std::uint64_t root);

    std::uint64_t low_ = 0;           // the current segment's first number
    std::uint64_t stop_ = 0;          // the range's last
    std::uint64_t window_last_ = 0;   // the current window's last number
    std::uint64_t window_span_ = 0;   // numbers in a window
    std::uint64_t from_ = 0;          // the primes are above here
    std::uint64_t records_to_ = 0;    // records for the primes up to here
    std::uint64_t to_ = 0;            // single strikes for those above, up to here
    std::uint64_t root_ = 0;          // primes up to here are filed
    std::uint64_t bucket_bytes_ = 0;  // a bucket stands for this much of a segment
    bool active_ = false;             // any primes to take
    std::function<bool()> check_;
    std::unique_ptr<prime_stream> record_primes_, single_primes_;
    bucket_sieving_primes buckets_;
    single_strike_primes singles_;
};

}  // namespace zorvanteli
