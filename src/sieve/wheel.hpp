// The modulo-30 wheel that the sieve's bytes are laid out on: one byte stands for 30 numbers and
// its 8 bits for those of them that are prime to 30, so multiples of 2, 3 and 5 take no room.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zorvanteli::wheel {

using u64 = std::uint64_t;

inline constexpr u64 numbers_per_byte = 30;
// Bit k of a byte that stands for 30i up to 30i + 29 is the number 30i + residues[k].
inline constexpr std::array<std::uint8_t, 8> residues = {1, 7, 11, 13, 17, 19, 23, 29};

// The bit of a residue modulo 30, or 8 when it is not prime to 30.
inline constexpr std::array<std::uint8_t, 30> bit_of_residue = [] {
    std::array<std::uint8_t, 30> bits{};
    bits.fill(8);
    for (std::uint8_t k = 0; k < 8; ++k) bits[residues[k]] = k;
    return bits;
}();

// n modulo 30, as an index into the tables of residues.
constexpr std::size_t residue(u64 n) {
    return static_cast<std::size_t>(n % numbers_per_byte);
}

// The number of bit b of a 64-bit word, counted from the first number of the word's first byte:
// word bit b lies in byte b / 8 (little-endian), on residue b % 8.
inline constexpr std::array<std::uint8_t, 64> value_of_bit = [] {
    std::array<std::uint8_t, 64> values{};
    for (unsigned b = 0; b < 64; ++b)
        values[b] = static_cast<std::uint8_t>(30 * (b / 8) + residues[b % 8]);
    return values;
}();

// A sieving prime p = 30 * pd + residues[c] strikes p * q for each q prime to 30. With
// q = 30a + residues[j], the multiple lies in byte p * a + pd * residues[j] + carry[c][j], on bit
// bit[c][j]: the eight multiples of one turn of the wheel (a fixed) span p bytes.
struct strike_tables {
    std::array<std::array<std::uint8_t, 8>, 8> carry;
    std::array<std::array<std::uint8_t, 8>, 8> bit;
    // From multiple j to multiple j + 1 (j = 7: to multiple 0 of the next turn) the byte grows
    // by pd * gap[j] + step_carry[c][j].
    std::array<std::uint8_t, 8> gap;
    std::array<std::array<std::uint8_t, 8>, 8> step_carry;
};

inline constexpr strike_tables strikes = [] {
    strike_tables t{};
    for (unsigned c = 0; c < 8; ++c) {
        for (unsigned j = 0; j < 8; ++j) {
            const unsigned product = residues[c] * residues[j];
            t.carry[c][j] = static_cast<std::uint8_t>(product / 30);
            t.bit[c][j] = bit_of_residue[product % 30];
        }
        for (unsigned j = 0; j < 8; ++j) {
            // The next turn's first multiple is at residue 31 of this turn.
            const unsigned next_residue = j == 7 ? 31 : residues[j + 1];
            const unsigned next_carry = j == 7 ? residues[c] * 31 / 30 : t.carry[c][j + 1];
            t.gap[j] = static_cast<std::uint8_t>(next_residue - residues[j]);
            t.step_carry[c][j] = static_cast<std::uint8_t>(next_carry - t.carry[c][j]);
        }
    }
    return t;
}();

// The mask that clears the bit of multiple j of a prime in residue class c: what a strike ANDs in.
inline constexpr auto strike_masks = [] {
    std::array<std::array<std::uint8_t, 8>, 8> m{};
    for (unsigned c = 0; c < 8; ++c)
        for (unsigned j = 0; j < 8; ++j)
            m[c][j] = static_cast<std::uint8_t>(~(1u << strikes.bit[c][j]));
    return m;
}();

// Where a sieving prime strikes next: the byte, counted from the start of a stretch of bytes,
// and the wheel index j of the multiple's cofactor q.
struct position {
    u64 byte;
    unsigned j;
};

// For x modulo 30: the smallest residue prime to 30 at or above it, as an offset from x and as
// its wheel index.
inline constexpr std::array<std::uint8_t, 30> offset_to_next_residue = [] {
    std::array<std::uint8_t, 30> offsets{};
    for (unsigned x = 0; x < 30; ++x) {
        unsigned r = x;
        while (bit_of_residue[r % 30] == 8) ++r;
        offsets[x] = static_cast<std::uint8_t>(r - x);
    }
    return offsets;
}();

// The first multiple of the prime p (7 < p < 2^32) that a sieve of the numbers from `low` (a
// multiple of 30) must strike: the first p * q with q prime to 30 and p * q >= max(p * p, low).
// False when it lies beyond `last`.
inline bool first_strike(u64 p, u64 low, u64 last, position& at) {
    u64 q = p, distance = 0;  // distance from low to p * q
    if (p * p >= low) {
        distance = p * p - low;
    } else {
        q = low / p;
        const u64 remainder = low - q * p;
        if (remainder != 0) {
            ++q;
            distance = p - remainder;
        }
    }
    const unsigned step = offset_to_next_residue[residue(q)];
    distance += step * p;
    if (distance > last - low) return false;
    at.byte = distance / numbers_per_byte;
    at.j = bit_of_residue[residue(q + step)];
    return true;
}

}  // namespace zorvanteli::wheel
