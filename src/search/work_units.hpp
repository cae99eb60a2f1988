// How a parallel search cuts the range from its start number to 2^64 - 1 into work units: of a
// size that bounds each unit's text and time while amortising what every unit costs to set up;
// where a unit takes long, small ones first, so that the first primes show soon.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace zorvanteli {

struct work_unit {
    std::uint64_t index = 0;  // 0, 1, 2, ... in ascending order of the numbers
    std::uint64_t low = 0;    // the unit's numbers, both ends included
    std::uint64_t high = 0;
    bool last = false;  // high is 2^64 - 1
};

struct unit_sizes {
    // The listing text a full unit is expected to hold.
    std::size_t text_bytes = std::size_t{3} << 20;
    // The numbers of a full unit where the sieve's survivors need the Baillie-PSW test: there
    // the text is small and the time is what to bound.
    std::uint64_t confirmed_numbers = std::uint64_t{1} << 21;
    // Where survivors are tested, the first unit is 2^ramp times smaller than a full one, and
    // each next one twice as large.
    unsigned ramp = 4;
};

class work_plan {
public:
    work_plan(std::uint64_t start, const unit_sizes& sizes);
    // The next unit, or nothing once the one that ends at 2^64 - 1 has been handed out.
    std::optional<work_unit> next();

private:
    unit_sizes sizes_;
    std::uint64_t low_;
    std::uint64_t index_ = 0;
    bool done_ = false;
};

// Expected bytes of listing per number near x: a prime's line length over the gap between
// primes, ln x.
double listing_bytes_per_number(std::uint64_t x);

}  // namespace zorvanteli
