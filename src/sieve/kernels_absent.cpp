// What stands in for the x86-64 kernels where the compiler targets another processor: there
// this_processor() reports none of their instruction sets, so best_instruction_set() never picks
// them. The stand-ins do the portable work all the same, so that the choice in presieve.cpp and
// survivors.cpp needs no condition on the processor.
#include "sieve/first_strikes_loop.hpp"
#include "sieve/kernels.hpp"
#include "sieve/survivors_loop.hpp"

namespace zorvanteli {
namespace {

using u8 = std::uint8_t;

void and_eight(u8* dst, const u8* const* src, std::size_t n, bool accumulate) {
    for (std::size_t x = 0; x < n; ++x) {
        u8 v = accumulate ? dst[x] : u8{0xFF};
        for (std::size_t i = 0; i < 8; ++i) v &= src[i][x];
        dst[x] = v;
    }
}

}  // namespace

void and_eight_avx2(u8* dst, const u8* const* src, std::size_t n, bool accumulate) {
    and_eight(dst, src, n, accumulate);
}
void and_eight_avx512(u8* dst, const u8* const* src, std::size_t n, bool accumulate) {
    and_eight(dst, src, n, accumulate);
}

survivors_taken collect_survivors_avx2(const std::uint64_t* words, std::size_t count,
                                       std::uint64_t low, std::uint64_t* out, std::size_t room) {
    return survivors_loop::collect(words, count, low, out, room);
}
survivors_taken collect_survivors_avx512(const std::uint64_t* words, std::size_t count,
                                         std::uint64_t low, std::uint64_t* out, std::size_t room) {
    return survivors_loop::collect(words, count, low, out, room);
}

std::uint64_t count_survivors_popcnt(const std::uint64_t* words, std::size_t count) {
    return survivors_loop::count(words, count);
}
survivors_taken collect_on_the_wheel_avx2(const std::uint64_t* words, std::size_t count,
                                          std::uint32_t first, std::uint32_t* out,
                                          std::size_t room) {
    return survivors_loop::collect_on_the_wheel(words, count, first, out, room);
}
survivors_taken collect_on_the_wheel_avx512(const std::uint64_t* words, std::size_t count,
                                            std::uint32_t first, std::uint32_t* out,
                                            std::size_t room) {
    return survivors_loop::collect_on_the_wheel(words, count, first, out, room);
}

std::size_t first_strikes_avx2(std::span<const std::uint32_t> primes, std::uint64_t low,
                               std::uint64_t last, std::uint32_t* kept, std::uint64_t* strikes) {
    return first_strikes_loop::keep_striking(primes, 0, low, last, kept, strikes, 0);
}
std::size_t first_strikes_avx512(std::span<const std::uint32_t> primes, std::uint64_t low,
                                 std::uint64_t last, std::uint32_t* kept, std::uint64_t* strikes) {
    return first_strikes_loop::keep_striking(primes, 0, low, last, kept, strikes, 0);
}
std::size_t strike_candidates_avx2(std::span<const std::uint32_t> primes, std::uint64_t low,
                                   std::uint64_t last, std::uint32_t* kept) {
    return first_strikes_loop::keep_candidates(primes, 0, {low, last - low}, kept, 0);
}
std::size_t strike_candidates_avx512(std::span<const std::uint32_t> primes, std::uint64_t low,
                                     std::uint64_t last, std::uint32_t* kept) {
    return first_strikes_loop::keep_candidates(primes, 0, {low, last - low}, kept, 0);
}

}  // namespace zorvanteli
