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

}  // namespace zorvanteli
