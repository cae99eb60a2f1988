// The integer square root of a 64-bit number, exact where the double's root is not.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zorvanteli {

// The largest r with r * r <= n.
inline std::uint64_t integer_sqrt(std::uint64_t n) {
    constexpr std::uint64_t largest_root = 0xFFFFFFFF;  // its square is the largest that fits
    // The double's root may be off by one either way: n is rounded when converted.
    std::uint64_t r =
        std::min(largest_root, static_cast<std::uint64_t>(std::sqrt(static_cast<double>(n))));
    while (r * r > n) --r;
    while (r < largest_root && (r + 1) * (r + 1) <= n) ++r;
    return r;
}

}  // namespace zorvanteli
