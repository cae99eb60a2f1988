// The first strike of one prime, from the remainder of the range's start by it, and the tables
// that the loop and the vector kernels share.
#pragma once

#include <array>
#include <cmath>
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
        const unsigned index = wheel::bit_of_residue[(x + step) % 30];
        table[x] = static_cast<std::uint16_t>(step | index << 8);
    }
    return table;
}();

// Where p (on the wheel: `wheel_p`) strikes first from `low` on, given d, the distance from `low`
// to its first multiple there or to its square. With low + d = m p and low a multiple of 30, the
// cofactor m is d / p modulo 30: no quotient is needed but that of d.
template <class Distance>
inline u64 strike_at(Distance d, u64 p, std::uint32_t wheel_p, u64 span) {
    const auto m = static_cast<unsigned>(d % 30 * inverse_mod_30[wheel_p % 8] % 30);
    const unsigned step = step_and_index[m] & 0xFF, index = step_and_index[m] >> 8;
    const u64 distance = d + step * p;
    return distance > span ? no_strike : distance / 30 * 8 + index;
}

inline u64 first_strike(std::uint32_t wheel_p, u64 low, u64 last) {
    const u64 p = off_the_wheel(wheel_p), square = p * p;
    if (square >= low) return strike_at(square - low, p, wheel_p, last - low);
    // Below p, and so below 2^32: the residues by 30 in 32 bits.
    const auto r = static_cast<std::uint32_t>(low % p);
    const std::uint32_t d = r == 0 ? 0 : static_cast<std::uint32_t>(p) - r;
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

// Whether the prime p may have a multiple in a range of `span` + 1 numbers from `low`: the
// distance to its first multiple from a double quotient errs by low * 2^-52 at most, so `margin`
// (at least that) keeps every prime that has one, and drops nearly all that have none once p is
// much longer than the range. The quotient's floor may be the true one's neighbour, which puts a
// distance near 0 near p: those are kept too.
struct candidate_test {
    double low, span_and_margin, margin;
    candidate_test(u64 low_number, u64 span)
        : low{static_cast<double>(low_number)},
          span_and_margin{static_cast<double>(span) + 0x1p-50 * low + 64},
          margin{0x1p-50 * low + 64} {}
    bool may_strike(double p) const {
        const double q = low / p;
        const double distance = p - (q - std::floor(q)) * p;
        return distance <= span_and_margin || distance >= p - margin;
    }
};

// Keeps the primes from `i` on that may strike, as may_strike says, writing them to `kept` from
// `count` on, without a branch on it; returns the new count.
inline std::size_t keep_candidates(std::span<const std::uint32_t> primes, std::size_t i,
                                   const candidate_test& test, std::uint32_t* kept,
                                   std::size_t count) {
    for (; i < primes.size(); ++i) {
        kept[count] = primes[i];
        count += test.may_strike(static_cast<double>(off_the_wheel(primes[i])));
    }
    return count;
}

}  // namespace zorvanteli::first_strikes_loop
