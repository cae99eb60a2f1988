// Deterministic Miller-Rabin in Montgomery form. Below 2^32 the bases 2, 7, 61 are proven
// (Jaeschke); up to 2^64 Sinclair's seven bases are, checked against every base-2 strong
// pseudoprime below 2^64.
#include "primality/primality.hpp"

#include <array>
#include <bit>

#include "primality/montgomery.hpp"

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

// An odd p divides n exactly when n times the inverse of p mod 2^64 is at most (2^64 - 1) / p
// (Granlund and Montgomery): a multiplication where n % p, on a divisor from a table, would be
// a division.
struct odd_divisor {
    u64 p;
    u64 inverse;
    u64 largest_quotient;
};
constexpr std::array<u64, 17> odd_small_primes = {3,  5,  7,  11, 13, 17, 19, 23, 29,
                                                  31, 37, 41, 43, 47, 53, 59, 61};
constexpr auto odd_small_divisors = [] {
    std::array<odd_divisor, odd_small_primes.size()> divisors{};
    for (std::size_t i = 0; i < divisors.size(); ++i) {
        const u64 p = odd_small_primes[i];
        divisors[i] = {p, inverse_mod_2_64(p), ~u64{0} / p};
    }
    return divisors;
}();

}  // namespace

bool is_prime_candidate(u64 n) {
    if (n % 2 == 0) return n == 2;
    for (const odd_divisor& d : odd_small_divisors)
        if (n * d.inverse <= d.largest_quotient) return n == d.p;
    if (n < 61 * 61) return n > 1;
    if (n >> 32 == 0) return strong_probable_prime(montgomery{n}, std::array<u64, 3>{2, 7, 61});
    const montgomery m{n};
    // Base 2 alone rejects nearly every composite, so the other six run only for primes.
    return strong_probable_prime(m, std::array<u64, 1>{2}) &&
           strong_probable_prime(m,
                                 std::array<u64, 6>{325, 9375, 28178, 450775, 9780504, 1795265022});
}

bool free_of_small_odd_primes(u64 n) {
    // Which prime divides a fresh number is a coin toss; a branch on each would be mispredicted.
    bool free = true;
    for (const odd_divisor& d : odd_small_divisors) free &= n * d.inverse > d.largest_quotient;
    return free;
}

}  // namespace zorvanteli
