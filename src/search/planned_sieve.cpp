// Stretch after stretch of the sieve, each planned from where the last one ended.
#include "search/planned_sieve.hpp"

#include <algorithm>
#include <utility>

namespace zorvanteli {

planned_sieve::planned_sieve(std::uint64_t start, std::uint64_t quota, stretch_planner planner)
    : quota_{quota},
      planner_{std::move(planner)},
      stretch_{planner_(start, quota)},
      sieve_{start, stretch_.stop, best_instruction_set(), stretch_.depth, stretch_.shared_from} {}

void planned_sieve::next_stretch(std::uint64_t found) {
    const std::uint64_t start = stretch_.stop + 1;
    stretch_ = planner_(start, quota_ - std::min(found, quota_ - 1));
    sieve_.reset(start, stretch_.stop, stretch_.depth, stretch_.shared_from);
}

std::size_t planned_sieve::next_primes(std::span<std::uint64_t> out) {
    const std::size_t count = sieve_.next_primes(out);
    found_ += count;
    return count;
}

bool planned_sieve::next_segment(std::unique_ptr<std::uint64_t[]>& buffer,
                                 segmented_sieve::segment_bits& bits) {
    if (!sieve_.next_segment(buffer, bits)) return false;
    const bool sure = !bits.confirm && bits.shared_from == ~std::uint64_t{0};
    found_ += bits.leading_count + (sure ? bits.survivors : 0);
    return true;
}

}  // namespace zorvanteli
