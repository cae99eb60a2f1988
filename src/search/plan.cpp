// The cost model: how many numbers a quota takes from its start, what they cost to search where
// the sieve proves the primes and where its survivors are tested, and what threads cost to start.
#include "search/plan.hpp"

#include <algorithm>
#include <cmath>

#include "sieve/sieve.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
constexpr u64 top = ~u64{0};

// A quota met within this many numbers above 2^32 is found sooner by testing every number free
// of the primes up to 61 than by building the sieve: its sieving primes and their first
// multiples take several milliseconds.
constexpr double direct_search_numbers = 1 << 16;

// Testing a survivor costs about as much as sieving this many numbers; a few survivors are left
// of every hundred numbers, which makes the confirmed part of the range about 16 times costlier.
constexpr double confirmation_cost = 16;

// Below this much work, in numbers sieved, one thread is done before a second one would have
// built its sieve: a few milliseconds.
constexpr double pool_threshold = 1 << 23;

// The work units where the workers share a search. In the dense ranges about one segment of the
// sieve: larger ones cost text memory, smaller ones the set-up of the sieve's first multiples,
// once per unit.
constexpr unit_sizes shared_units{.text_bytes = std::size_t{2400} << 10};

// About how many numbers the quota takes from the start: quota * ln x, x near the end of the
// search, whose first estimate from the start is good enough for the logarithm. Sets `end`.
double expected_reach(u64 start, u64 quota, double& end) {
    const double from = static_cast<double>(std::max<u64>(start, 100));
    const double count = static_cast<double>(quota);
    end = from + count * std::log(from);
    return std::min(count * std::log(end), static_cast<double>(top - start) + 1);
}

// The units of the plan the quota is expected to take, but not more than `at_most`: more
// workers than that would only build their sieves.
unsigned expected_units(u64 start, double reach, const unit_sizes& sizes, unsigned at_most) {
    work_plan plan{start, sizes};
    unsigned units = 0;
    for (double covered = 0; covered < reach && units < at_most; ++units) {
        const std::optional<work_unit> unit = plan.next();
        if (!unit) break;
        covered += static_cast<double>(unit->high - unit->low) + 1;
    }
    return units;
}

}  // namespace

search_plan plan_search(u64 start, u64 quota, unsigned processors) {
    double end = 0;
    const double reach = expected_reach(start, quota, end);
    const double exact_below = static_cast<double>(segmented_sieve::exact_below);
    // A prime comes about every ln x numbers.
    if (start > (u64{1} << 32) &&
        static_cast<double>(quota) * std::log(static_cast<double>(start)) <= direct_search_numbers)
        return {.how = strategy::direct};
    const double work = end >= exact_below ? confirmation_cost * reach : reach;
    if (processors <= 1 || work < pool_threshold) return {.how = strategy::one_thread};
    // Where the sieve alone proves the primes, writing the listing takes most of the time, and
    // workers whose text the writer must fetch from another core lose to one thread that writes
    // lines still in its cache (measured on two cores: a third slower shared); a second processor
    // sieves ahead for that thread instead.
    if (static_cast<double>(start) + reach < exact_below)
        return {.how = strategy::sieve_ahead, .workers = 1};
    return {.how = strategy::work_units,
            .workers = std::max(expected_units(start, reach, shared_units, processors), 1u),
            .units = shared_units};
}

}  // namespace zorvanteli
