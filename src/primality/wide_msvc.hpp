// 128-bit products and remainders through Microsoft's compiler intrinsics on x64, which has no
// 128-bit integer type.
#pragma once

#include <intrin.h>

#include <cstdint>

#include "primality/wide_halves.hpp"

namespace zorvanteli::msvc {

inline u64_pair multiply_wide(std::uint64_t a, std::uint64_t b) {
    std::uint64_t high = 0;
    const std::uint64_t low = _umul128(a, b, &high);
    return {high, low};
}

// (high * 2^64 + low) mod n, for high < n.
inline std::uint64_t reduce_wide(std::uint64_t high, std::uint64_t low, std::uint64_t n) {
    std::uint64_t remainder = 0;
    _udiv128(high, low, n, &remainder);
    return remainder;
}

}  // namespace zorvanteli::msvc
