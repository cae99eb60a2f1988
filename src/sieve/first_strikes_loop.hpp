// The first strike of one prime, from the remainder of the range's start by it, and the tables
// that the loop and the vector kernels share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sieve/first_strikes.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli::first_strikes_loop {

using u64 = std::uint64_t;

// Marks a prime with no multiple to strike in the range.
inline constexpr u64 no_strike = ~u64{0};

// For each wheel index, the inverse modulo 30 of its residue.
inline constexpr std::array<std::uint8_t, 8> inverse_mod_30 = [] {
    std::array<std::uint8_t, 8> inverses{};
    for (unsigned k = 0; k < 8; ++k)
        for (unsigned x = 1; x < 30; ++x)
            if (wheel::residues[k] * x % 30 == 1) inverses[k] = static_cast<std::uint8_t>(x);
    return inverses;
}();

// For q modulo 30: the distance to the next residue prime to 30, in units of the prime, in the
// low byte, and that residue's wheel index in the next.
inline constexpr std::array<std::uint16_t, 30> step_and_index = [] {
    std::array<std::uint16_t, 30> table{};
    for (unsigned x = 0; x < 30; ++x) {
        const unsigned step = wheel::offset_to_next_residue[x];
        table[x] = static_cast<std::uint16_t>(step | wheel::bit_of_residue[(x + step) % 30] << 8);
    }
    return table;
}();

// Where p (on the wheel: `wheel_p`) strikes first from `low` on, given d, the distance from `low`
// to its first multiple there or to its square. With low + d = m p and low a multiple of 30, the
// cofactor m is d / p modulo 30: no quotient is needed but that of d.
inline u64 strike_at(u64 d, u64 p, std::uint32_t wheel_p, u64 span) {
    const auto m = static_cast<unsigned>(d % 30 * inverse_mod_30[wheel_p % 8] % 30);
    const unsigned step = step_and_index[m] & 0xFF, index = step_and_index[m] >> 8;
    const u64 distance = d + step * p;
    return distance > span ? no_strike : distance / 30 * 8 + index;
}

inline u64 first_strike(std::uint32_t wheel_p, u64 low, u64 last) {
    const u64 p = off_the_wheel(wheel_p), square = p * p;
    const u64 r = low % p;
    const u64 d = square >= low ? square - low : (r == 0 ? 0 : p - r);
    return strike_at(d, p, wheel_p, last - low);
}

// Keeps the primes from `i` on that strike, without a branch on it: the next entry is always
// written, and only counted where the prime strikes.
inline std::size_t keep_striking(std::span<const std::uint32_t> primes, std::size_t i, u64 low,
                                 u64 last, std::uint32_t* kept, u64* strikes, std::size_t count) {
    for (; i < primes.size(); ++i) {
        const u64 strike = first_strike(primes[i], low, last);
        kept[count] = primes[i];
        strikes[count] = strike;
        count += strike != no_strike;
    }
    return count;
}

}  // namespace zorvanteli::first_strikes_loop
