// The two exponentiations of the Baillie-PSW test on AVX-512 IFMA, eight numbers to a 512-bit
// register; used only where the processor has the instructions, which supported() tells.
#pragma once

#include <cstdint>
#include <span>

namespace zorvanteli::ifma {

// True when this processor and its operating system run AVX-512 IFMA. Checked once.
bool supported();

enum class verdict : std::uint8_t {
    composite,
    probable_prime,
    undecided,  // outside what the lanes handle; the caller asks the portable arithmetic
};

// Strong probable-prime test to base 2 of odd numbers above 2^32. Where it passes, `one`
// receives 2^104 mod n, the one of the lanes' Montgomery form, which lucas_test takes.
void base_2_test(std::span<const std::uint64_t> numbers, std::span<verdict> verdicts,
                 std::span<std::uint64_t> one);

// Extra strong Lucas test with parameters (p, 1), for odd numbers above 2^32 with
// Jacobi(p^2 - 4, n) = -1 and p below max_parameter, given `one` from base_2_test.
constexpr std::uint64_t max_parameter = 1 << 12;
void lucas_test(std::span<const std::uint64_t> numbers, std::span<const std::uint64_t> parameters,
                std::span<const std::uint64_t> one, std::span<verdict> verdicts);

}  // namespace zorvanteli::ifma
