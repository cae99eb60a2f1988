// The sieve's kernels for wider instructions, each in a file of its own beside its portable form,
// and called only where best_instruction_set() says the processor runs them. Compiled through
// function attributes: no other code is built for these instructions. The build compiles them only
// where the compiler targets x86-64; elsewhere kernels_absent.cpp stands in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "sieve/survivors.hpp"

namespace zorvanteli {

// dst[x] = src[0][x] & ... & src[7][x] (also & dst[x] when `accumulate`), for x < n.
void and_eight_avx2(std::uint8_t* dst, const std::uint8_t* const* src, std::size_t n,
                    bool accumulate);
void and_eight_avx512(std::uint8_t* dst, const std::uint8_t* const* src, std::size_t n,
                      bool accumulate);

// collect_survivors with POPCNT and BMI, and on AVX-512 F, BW and VBMI2.
survivors_taken collect_survivors_avx2(const std::uint64_t* words, std::size_t count,
                                       std::uint64_t low, std::uint64_t* out, std::size_t room);
survivors_taken collect_survivors_avx512(const std::uint64_t* words, std::size_t count,
                                         std::uint64_t low, std::uint64_t* out, std::size_t room);
// count_survivors with POPCNT, which every processor with AVX2 has.
std::uint64_t count_survivors_popcnt(const std::uint64_t* words, std::size_t count);
survivors_taken collect_on_the_wheel_avx2(const std::uint64_t* words, std::size_t count,
                                          std::uint32_t first, std::uint32_t* out,
                                          std::size_t room);
survivors_taken collect_on_the_wheel_avx512(const std::uint64_t* words, std::size_t count,
                                            std::uint32_t first, std::uint32_t* out,
                                            std::size_t room);

// The exact first strikes with AVX2 and FMA and on AVX-512 F, DQ and VL, and the test of which
// primes may strike a range (see first_strikes.cpp).
std::size_t first_strikes_avx2(std::span<const std::uint32_t> primes, std::uint64_t low,
                               std::uint64_t last, std::uint32_t* kept, std::uint64_t* strikes);
std::size_t first_strikes_avx512(std::span<const std::uint32_t> primes, std::uint64_t low,
                                 std::uint64_t last, std::uint32_t* kept, std::uint64_t* strikes);
std::size_t strike_candidates_avx2(std::span<const std::uint32_t> primes, std::uint64_t low,
                                   std::uint64_t last, std::uint32_t* kept);
std::size_t strike_candidates_avx512(std::span<const std::uint32_t> primes, std::uint64_t low,
                                     std::uint64_t last, std::uint32_t* kept);

}  // namespace zorvanteli
