// 128-bit products of 64-bit numbers and remainders of 128-bit numbers, from 32-bit halves: what
// a compiler without a 128-bit integer type (on 32-bit processors) runs. Every build has it, so
// that the tests check it on every processor.
#pragma once

#include <cstdint>

namespace zorvanteli {

struct u64_pair {
    std::uint64_t high;
    std::uint64_t low;
    friend constexpr bool operator==(const u64_pair&, const u64_pair&) = default;
};

namespace halves {

// a * b as high * 2^64 + low, schoolbook on 32-bit digits.
constexpr u64_pair multiply_wide(std::uint64_t a, std::uint64_t b) {
    constexpr std::uint64_t digit = 0xFFFF'FFFF;
    const std::uint64_t low_low = (a & digit) * (b & digit);
    const std::uint64_t low_high = (a & digit) * (b >> 32);
    const std::uint64_t high_low = (a >> 32) * (b & digit);
    const std::uint64_t high_high = (a >> 32) * (b >> 32);
    // Below 3 * 2^32: no carry is lost.
    const std::uint64_t middle = (low_low >> 32) + (low_high & digit) + (high_low & digit);
    return {high_high + (low_high >> 32) + (high_low >> 32) + (middle >> 32),
            (middle << 32) | (low_low & digit)};
}

// (high * 2^64 + low) mod n, for high < n: long division a bit at a time. Only the conversion
// into Montgomery form divides, once a number, so its speed hardly matters.
constexpr std::uint64_t reduce_wide(std::uint64_t high, std::uint64_t low, std::uint64_t n) {
    std::uint64_t remainder = high;  // below n, the invariant
    for (int bit = 63; bit >= 0; --bit) {
        // Twice the remainder may pass 2^64; it is still below 2n, so one subtraction, which
        // wraps back to the true value, reduces it.
        const bool carried = (remainder >> 63) != 0;
        remainder = (remainder << 1) | ((low >> bit) & 1);
        if (carried || remainder >= n) remainder -= n;
    }
    return remainder;
}

}  // namespace halves
}  // namespace zorvanteli
