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

__attribute__((target("popcnt"))) std::uint64_t count_survivors_popcnt(const std::uint64_t* words,
                                                                       std::size_t count) {
    return survivors_loop::count(words, count);
}

__attribute__((target("popcnt,bmi,bmi2"))) survivors_taken collect_on_the_wheel_avx2(
    const std::uint64_t* words, std::size_t count, std::uint32_t first, std::uint32_t* out,
    std::size_t room) {
    return survivors_loop::collect_on_the_wheel(words, count, first, out, room);
}

}  // namespace zorvanteli
