// Work units, sized by the text they are expected to hold or by the time they take.
#include "search/work_units.hpp"

#include <algorithm>
#include <cmath>

#include "sieve/sieve.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
constexpr u64 top = ~u64{0};

unsigned decimal_digits(u64 x) {
    unsigned digits = 1;
    for (; x >= 10; x /= 10) ++digits;
    return digits;
}

}  // namespace

double listing_bytes_per_number(u64 x) {
    // Below 100, 1 / ln x would say the primes are sparser than they are.
    const double gap = std::log(static_cast<double>(std::max<u64>(x, 100)));
    return static_cast<double>(decimal_digits(x) + 1) / gap;
}

work_plan::work_plan(u64 start, const unit_sizes& sizes) : sizes_{sizes}, low_{start} {}

std::optional<work_unit> work_plan::next() {
    if (done_) return std::nullopt;
    const double by_text = static_cast<double>(sizes_.text_bytes) / listing_bytes_per_number(low_);
    // Clamped where the conversion is exact; no unit comes near that size.
    u64 full = static_cast<u64>(std::clamp(by_text, 1.0, 0x1p53));
    const u64 confirm = segmented_sieve::exact_below;
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
