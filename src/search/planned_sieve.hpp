// The sieve of a search, in the stretches the plan chooses: where it pays, a full sieve to a
// little past where the quota is expected to be met, or as far as its memory allows; otherwise a
// bounded sieve to the end of the range. Its user moves it on from stretch to stretch with what
// is left of the quota.
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
    // A full sieve's set-up asks `interrupted`, where there is one, a batch of primes at a time,
    // and ends with sieve_interrupted where it says so.
    planned_sieve(std::uint64_t start, std::uint64_t quota, stretch_planner planner,
                  interruption_check interrupted = {});

    // As segmented_sieve's, within the current stretch: its next primes, as many as fit (not
    // for a shared stretch, whose segments need the reader's strikes).
    std::size_t next_primes(std::span<std::uint64_t> out);
    // As segmented_sieve's: the current stretch's next segment, swapped into `buffer`.
    bool next_segment(std::unique_ptr<std::uint64_t[]>& buffer,
                      segmented_sieve::segment_bits& bits);

    const sieve_stretch& stretch() const { return stretch_; }
    // The current stretch is sieved through.
    bool stretch_done() const { return sieve_->finished(); }
    // And it was the last: 2^64 - 1 has been passed.
    bool finished() const { return stretch_done() && stretch_.stop == ~std::uint64_t{0}; }
    // Goes on from where the current stretch ended, `found` of the quota found so far.
    void next_stretch(std::uint64_t found);

    // The primes the segments it has handed out hold for sure: not those still to be
    // confirmed or struck by the reader.
    std::uint64_t found() const { return found_; }

private:
    // A bounded sieve to the end of the range takes over from the first number not handed out,
    // where a full one ran out of memory; false where the sieve was bounded already.
    bool bounded_instead();
    // `step` of the sieve, taken again by a bounded sieve where a full one runs out of memory.
    template <class Step>
    auto short_of_memory_bounded(Step step);

    std::uint64_t quota_;
    stretch_planner planner_;
    interruption_check interrupted_;
    std::uint64_t found_ = 0;
    sieve_stretch stretch_;
    std::uint64_t resume_;  // the first number not handed out yet
    // Not movable, and a full one's memory must go before a bounded one takes over.
    std::optional<segmented_sieve> sieve_;
};

}  // namespace zorvanteli
