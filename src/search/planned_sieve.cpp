// Stretch after stretch of the sieve, each planned from where the last one ended.
#include "search/planned_sieve.hpp"

#include <algorithm>
#include <new>
#include <utility>

namespace zorvanteli {

planned_sieve::planned_sieve(std::uint64_t start, std::uint64_t quota, stretch_planner planner,
                             interruption_check interrupted)
    : quota_{quota},
      planner_{std::move(planner)},
      interrupted_{std::move(interrupted)},
      stretch_{planner_(start, quota)},
      resume_{start},
      sieve_{std::in_place,          start,          stretch_.stop,
             best_instruction_set(), stretch_.depth, stretch_.shared_from,
             stretch_.window} {
    sieve_->check_for_interruption(interrupted_);
}

bool planned_sieve::bounded_instead() {
    if (stretch_.depth != sieve_depth::full) return false;
    stretch_ = {};
    sieve_.reset();  // its memory first
    sieve_.emplace(resume_, stretch_.stop, best_instruction_set(), stretch_.depth);
    sieve_->check_for_interruption(interrupted_);
    return true;
}

template <class Step>
auto planned_sieve::short_of_memory_bounded(Step step) {
    for (;;) {
        try {
            return step();
        } catch (const std::bad_alloc&) {
            if (!bounded_instead()) throw;
        }
    }
}

void planned_sieve::next_stretch(std::uint64_t found) {
    const std::uint64_t start = stretch_.stop + 1;
    stretch_ = planner_(start, quota_ - std::min(found, quota_ - 1));
    resume_ = start;
    short_of_memory_bounded([&] {
        sieve_->reset(start, stretch_.stop, stretch_.depth, stretch_.shared_from, stretch_.window);
        return true;
    });
}

std::size_t planned_sieve::next_primes(std::span<std::uint64_t> out) {
    const std::size_t count = short_of_memory_bounded([&] { return sieve_->next_primes(out); });
    if (count != 0) resume_ = out[count - 1] + 1;
    found_ += count;
    return count;
}

bool planned_sieve::next_segment(std::unique_ptr<std::uint64_t[]>& buffer,
                                 segmented_sieve::segment_bits& bits) {
    if (!short_of_memory_bounded([&] { return sieve_->next_segment(buffer, bits); })) return false;
    // A full sieve's segments are all as long but the last. After 2^64 - 1 nothing is left to
    // take over, and 2^64 - 1, not a prime, may be taken again.
    if (bits.words != 0) {
        const std::uint64_t last = segment_last(bits.low, bits.segment_bytes, bits.stop);
        resume_ = last == ~std::uint64_t{0} ? last : last + 1;
    }
    const bool sure = !bits.confirm && bits.shared_from == ~std::uint64_t{0};
    found_ += bits.leading_count + (sure ? bits.survivors : 0);
    return true;
}

}  // namespace zorvanteli
