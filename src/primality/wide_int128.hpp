// 128-bit products and remainders through the compiler's 128-bit integers (GCC and Clang on
// 64-bit processors): one multiplication, and one library division for the remainder.
#pragma once

#include <cstdint>

#include "primality/wide_halves.hpp"

namespace zorvanteli::int128 {

__extension__ using u128 = unsigned __int128;

inline u64_pair multiply_wide(std::uint64_t a, std::uint64_t b) {
    const u128 product = static_cast<u128>(a) * b;
    return {static_cast<std::uint64_t>(product >> 64), static_cast<std::uint64_t>(product)};
}

// (high * 2^64 + low) mod n, for high < n.
inline std::uint64_t reduce_wide(std::uint64_t high, std::uint64_t low, std::uint64_t n) {
    return static_cast<std::uint64_t>(((static_cast<u128>(high) << 64) | low) % n);
}

}  // namespace zorvanteli::int128
