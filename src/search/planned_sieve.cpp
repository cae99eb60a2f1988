// Stretch after stretch of the sieve, each planned from where the last one ended.
#include "search/planned_sieve.hpp"

#include <algorithm>
#include <new>

namespace zorvanteli {

planned_sieve::planned_sieve(std::uint64_t start, std::uint64_t quota, unsigned threads)
    : quota_{quota},
      threads_{threads},
      stretch_{plan_stretch(start, quota, threads)},
      stretch_start_{start},
      sieve_{std::in_place, start, stretch_.stop, best_instruction_set(), stretch_.depth} {}

bool planned_sieve::stretch_ended() {
    if (!sieve_->finished() || stretch_.stop == ~std::uint64_t{0}) return false;
    const std::uint64_t start = stretch_.stop + 1;
    stretch_ = plan_stretch(start, quota_ - std::min(found_, quota_ - 1), threads_);
    stretch_start_ = start;
    handed_out_ = false;
    sieve_->reset(start, stretch_.stop, stretch_.depth);
    return true;
}

bool planned_sieve::bounded_instead() {
    if (stretch_.depth != sieve_depth::full || handed_out_) return false;
    stretch_ = {};
    sieve_.reset();  // its memory first
    sieve_.emplace(stretch_start_, stretch_.stop, best_instruction_set(), stretch_.depth);
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

bool planned_sieve::finished() {
    stretch_ended();
    return sieve_->finished();
}

std::size_t planned_sieve::next_primes(std::span<std::uint64_t> out) {
    stretch_ended();
    const std::size_t count = short_of_memory_bounded([&] { return sieve_->next_primes(out); });
    handed_out_ = handed_out_ || count != 0;
    found_ += count;
    return count;
}

bool planned_sieve::next_segment(std::unique_ptr<std::uint64_t[]>& buffer,
                                 segmented_sieve::segment_bits& bits) {
    stretch_ended();
    if (!short_of_memory_bounded([&] { return sieve_->next_segment(buffer, bits); })) return false;
    handed_out_ = true;
    found_ += bits.leading_count + (bits.confirm ? 0 : bits.survivors);
    return true;
}

}  // namespace zorvanteli
