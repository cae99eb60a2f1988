// The first strikes: the primes much longer than the range, most of which miss it, first tested
// cheaply in vectors, then the exact strikes of those that may strike, one remainder a prime or
// in vectors.
#include "sieve/first_strikes.hpp"

#include <algorithm>

#include "sieve/first_strikes_loop.hpp"
#include "sieve/kernels.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;

// The exact strikes of `primes`, kept from `count` on.
std::size_t exact_strikes(std::span<const std::uint32_t> primes, u64 low, u64 last,
                          std::uint32_t* kept, u64* strikes, std::size_t count,
                          instruction_set set) {
    if (set == instruction_set::avx512)
        return count + first_strikes_avx512(primes, low, last, kept + count, strikes + count);
    if (set == instruction_set::avx2)
        return count + first_strikes_avx2(primes, low, last, kept + count, strikes + count);
    return first_strikes_loop::keep_striking(primes, 0, low, last, kept, strikes, count);
}

// Moves the primes that may strike, as candidate_test says, to the front of `kept` and counts
// them; false where there is no vector kernel: one at a time the test costs about as much as the
// remainder.
bool test_candidates(std::span<const std::uint32_t> primes, u64 low, u64 last, std::uint32_t* kept,
                     std::size_t& count, instruction_set set) {
    if (set == instruction_set::avx512) {
        count = strike_candidates_avx512(primes, low, last, kept);
        return true;
    }
    if (set == instruction_set::avx2) {
        count = strike_candidates_avx2(primes, low, last, kept);
        return true;
    }
    return false;
}

}  // namespace

std::size_t first_strikes(std::span<const std::uint32_t> primes, u64 low, u64 last,
                          std::uint32_t* kept, u64* strikes, instruction_set set) {
    // The test pays for primes twice as long as the range or more: half of them or fewer may
    // strike it, and it costs a fifth of the exact strike. Primes whose squares lie in the range,
    // the largest, start there; the test does not apply to them.
    const u64 span = last - low;
    const std::uint32_t long_from =
        span >= u64{1} << 31 ? ~std::uint32_t{0} : on_the_wheel(2 * span + 64);
    const auto tested_from =
        static_cast<std::size_t>(std::ranges::upper_bound(primes, long_from) - primes.begin());
    std::size_t squares_from = primes.size();
    while (squares_from > tested_from) {
        const u64 p = off_the_wheel(primes[squares_from - 1]);
        if (p * p < low) break;
        --squares_from;
    }
    std::size_t count = exact_strikes(primes.first(tested_from), low, last, kept, strikes, 0, set);
    const auto tested = primes.subspan(tested_from, squares_from - tested_from);
    std::size_t may = 0;
    if (test_candidates(tested, low, last, kept + count, may, set))
        // Each candidate is read before the strikes kept overwrite it.
        count = exact_strikes({kept + count, may}, low, last, kept, strikes, count, set);
    else
        count = exact_strikes(tested, low, last, kept, strikes, count, set);
    return exact_strikes(primes.subspan(squares_from), low, last, kept, strikes, count, set);
}

}  // namespace zorvanteli
