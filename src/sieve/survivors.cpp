// Reading survivors: the portable loop, or a kernel for wider instructions.
#include "sieve/survivors.hpp"

#include "sieve/kernels.hpp"
#include "sieve/survivors_loop.hpp"

namespace zorvanteli {

survivors_taken collect_survivors(const std::uint64_t* words, std::size_t count, std::uint64_t low,
                                  std::uint64_t* out, std::size_t room, instruction_set set) {
    if (set == instruction_set::avx512)
        return collect_survivors_avx512(words, count, low, out, room);
    if (set == instruction_set::avx2) return collect_survivors_avx2(words, count, low, out, room);
    return survivors_loop::collect(words, count, low, out, room);
}

std::uint64_t count_survivors(const std::uint64_t* words, std::size_t count, instruction_set set) {
    if (set != instruction_set::portable) return count_survivors_popcnt(words, count);
    return survivors_loop::count(words, count);
}

survivors_taken collect_on_the_wheel(const std::uint64_t* words, std::size_t count,
                                     std::uint32_t first, std::uint32_t* out, std::size_t room,
                                     instruction_set set) {
    if (set == instruction_set::avx512)
        return collect_on_the_wheel_avx512(words, count, first, out, room);
    if (set == instruction_set::avx2)
        return collect_on_the_wheel_avx2(words, count, first, out, room);
    return survivors_loop::collect_on_the_wheel(words, count, first, out, room);
}

}  // namespace zorvanteli
