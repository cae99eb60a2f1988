// The loop that reads a segment's survivors without a mispredicted branch per number: each
// word's numbers are written in unrolled groups of eight, and the count of its set bits moves the
// output on. Compiled twice: portably, and for processors that count bits in one instruction.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "sieve/survivors.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli::survivors_loop {

// With an entry for bit 64: std::countr_zero of an empty word, which the unrolled loop reads.
inline constexpr auto values_with_end = [] {
    std::array<std::uint8_t, 65> v{};
    for (unsigned b = 0; b < 64; ++b) v[b] = wheel::value_of_bit[b];
    return v;
}();
inline constexpr auto positions_with_end = [] {
    std::array<std::uint8_t, 65> v{};
    for (unsigned b = 0; b < 65; ++b) v[b] = static_cast<std::uint8_t>(b);
    return v;
}();

// Bit b of words[i] becomes first + step * i + values[b].
template <class Number>
inline survivors_taken collect_into(const std::uint64_t* words, std::size_t count, Number first,
                                    Number step, const std::array<std::uint8_t, 65>& values,
                                    Number* out, std::size_t room) {
    survivors_taken taken;
    for (; taken.words < count && room - taken.numbers >= 64; ++taken.words) {
        std::uint64_t w = words[taken.words];
        if (w == 0) continue;
        const auto base = static_cast<Number>(first + step * taken.words);
        Number* o = out + taken.numbers;
        taken.numbers += static_cast<std::size_t>(std::popcount(w));
        do {
            for (int k = 0; k < 8; ++k) {
                o[k] =
                    static_cast<Number>(base + values[static_cast<unsigned>(std::countr_zero(w))]);
                w &= w - 1;
#if defined(__GNUC__)
                // Hides from the compiler that w may be 0 here: it would otherwise leave the
                // group for stores of a known value, on a branch mispredicted once a word.
                __asm__("" : "+r"(w));
#endif
            }
            o += 8;
        } while (w != 0);
    }
    return taken;
}

inline std::uint64_t count(const std::uint64_t* words, std::size_t count) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < count; ++i)
        bits += static_cast<std::uint64_t>(std::popcount(words[i]));
    return bits;
}

inline survivors_taken collect(const std::uint64_t* words, std::size_t count, std::uint64_t low,
                               std::uint64_t* out, std::size_t room) {
    return collect_into<std::uint64_t>(words, count, low, 8 * wheel::numbers_per_byte,
                                       values_with_end, out, room);
}

inline survivors_taken collect_on_the_wheel(const std::uint64_t* words, std::size_t count,
                                            std::uint32_t first, std::uint32_t* out,
                                            std::size_t room) {
    return collect_into<std::uint32_t>(words, count, first, 64, positions_with_end, out, room);
}

}  // namespace zorvanteli::survivors_loop
