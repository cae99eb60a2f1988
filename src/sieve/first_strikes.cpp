// The first strikes: one remainder a prime, or a vector kernel for wider instructions.
#include "sieve/first_strikes.hpp"

#include "sieve/first_strikes_loop.hpp"
#include "sieve/kernels.hpp"

namespace zorvanteli {

std::size_t first_strikes(std::span<const std::uint32_t> primes, std::uint64_t low,
                          std::uint64_t last, std::uint32_t* kept, std::uint64_t* strikes,
                          instruction_set set) {
#if ZORVANTELI_X86_KERNELS
    if (set == instruction_set::avx512)
        return first_strikes_avx512(primes, low, last, kept, strikes);
    if (set == instruction_set::avx2) return first_strikes_avx2(primes, low, last, kept, strikes);
#endif
    (void)set;
    return first_strikes_loop::keep_striking(primes, 0, low, last, kept, strikes, 0);
}

}  // namespace zorvanteli
