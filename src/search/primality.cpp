// Deterministic Miller-Rabin in Montgomery form. Below 2^32 the bases 2, 7, 61 are proven
// (Jaeschke); up to 2^64 Sinclair's seven bases are, checked against every base-2 strong
// pseudoprime below 2^64.
#include "search/primality.hpp"

#include <array>
#include <bit>

#ifdef _MSC_VER
#include <intrin.h>
#endif

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;

struct u64_pair {
    u64 high;
    u64 low;
};

u64_pair multiply_wide(u64 a, u64 b) {
#ifdef _MSC_VER
    u64 high = 0;
    const u64 low = _umul128(a, b, &high);
    return {high, low};
#else
    __extension__ using u128 = unsigned __int128;
    const u128 product = static_cast<u128>(a) * b;
    return {static_cast<u64>(product >> 64), static_cast<u64>(product)};
#endif
}

// (high * 2^64 + low) mod n, for high < n.
u64 reduce_wide(u64 high, u64 low, u64 n) {
#ifdef _MSC_VER
    u64 remainder = 0;
    _udiv128(high, low, n, &remainder);
    return remainder;
#else
    __extension__ using u128 = unsigned __int128;
    return static_cast<u64>(((static_cast<u128>(high) << 64) | low) % n);
#endif
}

// Arithmetic modulo an odd n in Montgomery form, x represented as x * 2^64 mod n.
class montgomery {
public:
    explicit montgomery(u64 n) : n_{n} {
        // Newton's iteration for n^-1 mod 2^64: each step doubles the correct low bits.
        u64 inverse = n;  // right to 3 bits for any odd n
        for (int i = 0; i < 5; ++i) inverse *= 2 - n * inverse;
        inverse_ = inverse;
        one_ = (0 - n) % n;  // 2^64 mod n
        const u64_pair square = multiply_wide(one_, one_);
        r2_ = reduce_wide(square.high, square.low, n);
    }

    u64 modulus() const { return n_; }
    u64 one() const { return one_; }
    u64 minus_one() const { return n_ - one_; }
    u64 to_form(u64 x) const { return multiply(x % n_, r2_); }

    // a * b / 2^64 mod n, for a, b < n; never overflows, whatever the top bit of n.
    u64 multiply(u64 a, u64 b) const {
        const u64_pair t = multiply_wide(a, b);
        const u64 m = t.low * inverse_;
        const u64 mn_high = multiply_wide(m, n_).high;
        return t.high >= mn_high ? t.high - mn_high : t.high - mn_high + n_;
    }

private:
    u64 n_;
    u64 inverse_;
    u64 one_;
    u64 r2_;
};

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

bool is_prime_sieved(u64 n) {
    const montgomery m{n};
    // Base 2 alone rejects nearly every composite, so the other six run only for primes.
    return strong_probable_prime(m, std::array<u64, 1>{2}) &&
           strong_probable_prime(
               m, std::array<u64, 6>{325, 9375, 28178, 450775, 9780504, 1795265022});
}

bool is_prime_candidate(u64 n) {
    for (u64 p : small_primes) {
        if (n == p) return true;
        if (n % p == 0) return false;
    }
    if (n < 61 * 61) return n > 1;
    if (n >> 32 == 0) return strong_probable_prime(montgomery{n}, std::array<u64, 3>{2, 7, 61});
    return is_prime_sieved(n);
}

}  // namespace zorvanteli
