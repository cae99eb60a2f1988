// Work units, and the rough cost model that sizes them.
#include "search/work_units.hpp"

#include <algorithm>
#include <cmath>

#include "search/sieve.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
constexpr u64 top = ~u64{0};

// From here up the sieve no longer proves primality on its own and its survivors are tested.
constexpr u64 confirmed_from() {
    constexpr u64 bound = segmented_sieve::sieve_bound;
    return bound >= (u64{1} << 32) ? top : bound * bound;
}

// Testing a survivor costs about as much as sieving this many numbers; a few survivors are left
// of every hundred numbers, which makes the confirmed part of the range about 16 times costlier.
constexpr double confirmation_cost = 16;

// Below this much work, in numbers sieved, one thread is done before a second one would have
// built its sieve: a few milliseconds.
constexpr double pool_threshold = 1 << 23;

unsigned decimal_digits(u64 x) {
    unsigned digits = 1;
    for (; x >= 10; x /= 10) ++digits;
    return digits;
}

// About how many numbers the quota takes from the start: quota * ln x, x near the end of the
// search, whose first estimate from the start is good enough for the logarithm. Sets `end`.
double expected_reach(u64 start, u64 quota, double& end) {
    const double from = static_cast<double>(std::max<u64>(start, 100));
    const double count = static_cast<double>(quota);
    end = from + count * std::log(from);
    return std::min(count * std::log(end), static_cast<double>(top - start) + 1);
}

}  // namespace

double listing_bytes_per_number(u64 x) {
    // Below 100, 1 / ln x would say the primes are sparser than they are.
    const double gap = std::log(static_cast<double>(std::max<u64>(x, 100)));
    return static_cast<double>(decimal_digits(x) + 1) / gap;
}

bool small_search(u64 start, u64 quota) {
    double end = 0;
    const double reach = expected_reach(start, quota, end);
    const double work =
        end >= static_cast<double>(confirmed_from()) ? confirmation_cost * reach : reach;
    return work < pool_threshold;
}

bool sieve_proves_all(u64 start, u64 quota) {
    double end = 0;
    const double reach = expected_reach(start, quota, end);
    return static_cast<double>(start) + reach < static_cast<double>(confirmed_from());
}

std::uint64_t expected_units(u64 start, u64 quota, const unit_sizes& sizes, std::uint64_t at_most) {
    double end = 0;
    const double reach = expected_reach(start, quota, end);
    work_plan plan{start, sizes};
    std::uint64_t units = 0;
    for (double covered = 0; covered < reach && units < at_most; ++units) {
        const std::optional<work_unit> unit = plan.next();
        if (!unit) break;
        covered += static_cast<double>(unit->high - unit->low) + 1;
    }
    return units;
}

work_plan::work_plan(u64 start, const unit_sizes& sizes) : sizes_{sizes}, low_{start} {}

std::optional<work_unit> work_plan::next() {
    if (done_) return std::nullopt;
    const double by_text = static_cast<double>(sizes_.text_bytes) / listing_bytes_per_number(low_);
    // Clamped where the conversion is exact; no unit comes near that size.
    u64 full = static_cast<u64>(std::clamp(by_text, 1.0, 0x1p53));
    const u64 confirm = confirmed_from();
    if (low_ >= confirm)
        full = std::min(full, sizes_.confirmed_numbers);
    else if (full > confirm - low_)  // ends above: at the bound, or with the confirmed size
        full = std::max(confirm - low_, std::min(full, sizes_.confirmed_numbers));
    // Whole segments of the sieve, where a unit holds more than one: the sieve would otherwise
    // end the unit with a short segment, and each segment costs a pass over the sieving primes.
    const u64 segment = segmented_sieve::full_segment_bytes(low_) * u64{30};
    if (full >= segment) full -= full % segment;
    // Where a unit takes tens of milliseconds, the first ones are smaller: the first primes show
    // sooner, and a quota of a few units is shared by the workers. Below, a whole segment takes
    // a few milliseconds, and a part of one would cost a reset for little.
    const unsigned halvings =
        low_ >= confirm && index_ < sizes_.ramp ? sizes_.ramp - static_cast<unsigned>(index_) : 0;
    const u64 length = std::max<u64>(full >> std::min(halvings, 63u), 1);

    work_unit unit{.index = index_++, .low = low_};
    unit.last = length - 1 >= top - low_;
    unit.high = unit.last ? top : low_ + (length - 1);
    done_ = unit.last;
    low_ = unit.high + 1;  // wraps to 0 after the last unit, which is never used
    return unit;
}

}  // namespace zorvanteli
