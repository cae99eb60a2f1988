// Reading survivors with POPCNT and BMI: the portable loop, where a bit count, a trailing-zero
// count and clearing the lowest bit each become one instruction.
#include "sieve/kernels.hpp"
#include "sieve/survivors_loop.hpp"

namespace zorvanteli {

__attribute__((target("popcnt,bmi,bmi2"))) survivors_taken collect_survivors_avx2(
    const std::uint64_t* words, std::size_t count, std::uint64_t low, std::uint64_t* out,
    std::size_t room) {
    return survivors_loop::collect(words, count, low, out, room);
}

}  // namespace zorvanteli
