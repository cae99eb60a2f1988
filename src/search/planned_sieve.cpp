// Stretch after stretch of the sieve, each planned from where the last one ended.
#include "search/planned_sieve.hpp"

#include <algorithm>

namespace zorvanteli {

planned_sieve::planned_sieve(std::uint64_t start, std::uint64_t quota, unsigned threads)
    : quota_{quota},
      threads_{threads},
      stretch_{plan_stretch(start, quota, threads)},
      sieve_{start, stretch_.stop, best_instruction_set(), stretch_.depth} {}

bool planned_sieve::stretch_ended() {
    if (!sieve_.finished() || stretch_.stop == ~std::uint64_t{0}) return false;
    const std::uint64_t start = stretch_.stop + 1;
    stretch_ = plan_stretch(start, quota_ - std::min(found_, quota_ - 1), threads_);
    sieve_.reset(start, stretch_.stop, stretch_.depth);
    return true;
}

bool planned_sieve::finished() {
    stretch_ended();
    return sieve_.finished();
}

std::size_t planned_sieve::next_primes(std::span<std::uint64_t> out) {
    stretch_ended();
    const std::size_t count = sieve_.next_primes(out);
    found_ += count;
    return count;
}

bool planned_sieve::next_segment(std::unique_ptr<std::uint64_t[]>& buffer,
                                 segmented_sieve::segment_bits& bits) {
    stretch_ended();
    if (!sieve_.next_segment(buffer, bits)) return false;
    found_ += bits.leading_count + (bits.confirm ? 0 : bits.survivors);
    return true;
}

}  // namespace zorvanteli
