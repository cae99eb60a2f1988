// Deterministic Miller-Rabin in Montgomery form. Below 2^32 the bases 2, 7, 61 are proven
// (Jaeschke); up to 2^64 Sinclair's seven bases are, checked against every base-2 strong
// pseudoprime below 2^64.
#include "search/primality.hpp"

#include <array>
#include <bit>

#include "search/montgomery.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;

// Strong probable-prime tests of one odd n to several bases at once. The bases share the
// exponent, so their squarings are independent and run side by side in the multiplier.
template <std::size_t count>
bool strong_probable_prime(const montgomery& m, const std::array<u64, count>& bases) {
    const u64 n_minus_1 = m.modulus() - 1;
    const int twos = std::countr_zero(n_minus_1);
    const u64 odd_part = n_minus_1 >> twos;

    std::array<u64, count> base_form{};
    std::array<u64, count> x{};
    for (std::size_t i = 0; i < count; ++i) {
        base_form[i] = m.to_form(bases[i]);
        x[i] = base_form[i];
    }
    // Left to right over the bits of the odd part below its top bit.
    for (int bit = 62 - std::countl_zero(odd_part); bit >= 0; --bit) {
        for (std::size_t i = 0; i < count; ++i) x[i] = m.multiply(x[i], x[i]);
        if ((odd_part >> bit) & 1)
            for (std::size_t i = 0; i < count; ++i) x[i] = m.multiply(x[i], base_form[i]);
    }

    const u64 one = m.one();
    const u64 minus_one = m.minus_one();
    for (std::size_t i = 0; i < count; ++i) {
        // A base that is a multiple of n says nothing about n and is skipped.
        if (base_form[i] == 0) continue;
        u64 y = x[i];
        if (y == one || y == minus_one) continue;
        bool passed = false;
        for (int s = 1; s < twos && !passed; ++s) {
            y = m.multiply(y, y);
            if (y == minus_one) passed = true;
            if (y == one) return false;
        }
        if (!passed) return false;
    }
    return true;
}

constexpr std::array<u64, 18> small_primes = {2,  3,  5,  7,  11, 13, 17, 19, 23,
                                              29, 31, 37, 41, 43, 47, 53, 59, 61};

}  // namespace

bool is_prime_candidate(u64 n) {
    for (u64 p : small_primes) {
        if (n == p) return true;
        if (n % p == 0) return false;
    }
    if (n < 61 * 61) return n > 1;
    if (n >> 32 == 0) return strong_probable_prime(montgomery{n}, std::array<u64, 3>{2, 7, 61});
    const montgomery m{n};
    // Base 2 alone rejects nearly every composite, so the other six run only for primes.
    return strong_probable_prime(m, std::array<u64, 1>{2}) &&
           strong_probable_prime(m,
                                 std::array<u64, 6>{325, 9375, 28178, 450775, 9780504, 1795265022});
}

}  // namespace zorvanteli
