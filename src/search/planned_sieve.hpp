// The sieve of a search, in the stretches the plan chooses: where it pays, a full sieve to a
// little past where the quota is expected to be met, then the next stretch from there; otherwise
// a bounded sieve to the end of the range. It counts the primes it hands out against the quota.
// A full sieve that finds no memory for its sieving primes before it has handed anything out
// leaves its stretch to a bounded one, whose memory is small anywhere.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "search/plan.hpp"
#include "sieve/sieve.hpp"

namespace zorvanteli {

class planned_sieve {
public:
    // `threads`: the processors the search may use, as for plan_stretch.
    planned_sieve(std::uint64_t start, std::uint64_t quota, unsigned threads = 1);

    // As segmented_sieve's: the primes of the next stretch of numbers, as many as fit.
    std::size_t next_primes(std::span<std::uint64_t> out);
    // As segmented_sieve's: the next sieved segment, swapped into `buffer`. False once finished.
    bool next_segment(std::unique_ptr<std::uint64_t[]>& buffer,
                      segmented_sieve::segment_bits& bits);
    // True once 2^64 - 1 has been passed.
    bool finished();
    // The primes handed out so far, at least: a segment's survivors that still need the test
    // do not count.
    std::uint64_t found() const { return found_; }

private:
    // Goes on with the next stretch where the current one ended short of the quota.
    bool stretch_ended();
    // A bounded sieve to the end of the range takes over the stretch, where a full one ran out
    // of memory before it handed anything out of it; false otherwise.
    bool bounded_instead();
    // `step` of the sieve, taken again by a bounded sieve where a full one runs out of memory.
    template <class Step>
    auto short_of_memory_bounded(Step step);

    std::uint64_t quota_;
    unsigned threads_;
    std::uint64_t found_ = 0;
    sieve_stretch stretch_;
    std::uint64_t stretch_start_;
    bool handed_out_ = false;  // of the current stretch
    std::optional<segmented_sieve> sieve_;
};

}  // namespace zorvanteli
