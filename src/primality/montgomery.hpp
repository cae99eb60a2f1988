// Arithmetic modulo an odd 64-bit n in Montgomery form (x held as x * 2^64 mod n), shared by
// the primality tests.
#pragma once

#include <cstdint>

#include "primality/wide_arithmetic.hpp"

namespace zorvanteli {

// n^-1 mod 2^64 for odd n, by Newton's iteration: each step doubles the correct low bits.
constexpr std::uint64_t inverse_mod_2_64(std::uint64_t n) {
    std::uint64_t inverse = (3 * n) ^ 2;  // right to 5 bits for any odd n
    for (int i = 0; i < 4; ++i) inverse *= 2 - n * inverse;
    return inverse;
}

class montgomery {
public:
    using u64 = std::uint64_t;

    explicit montgomery(u64 n) : n_{n}, one_{(0 - n) % n}, inverse_{inverse_mod_2_64(n)} {}

    u64 modulus() const { return n_; }
    u64 one() const { return one_; }
    u64 minus_one() const { return n_ - one_; }

    // x * 2^64 mod n, for any x.
    u64 to_form(u64 x) const { return wide::reduce_wide(x % n_, 0, n_); }

    // a * b / 2^64 mod n, for a, b < n; never overflows, whatever the top bit of n.
    u64 multiply(u64 a, u64 b) const {
        const u64_pair t = wide::multiply_wide(a, b);
        const u64 m = t.low * inverse_;
        const u64 mn_high = wide::multiply_wide(m, n_).high;
        return t.high - mn_high + (n_ & mask(t.high < mn_high));
    }

    u64 add(u64 a, u64 b) const {
        const u64 sum = a + b;
        return sum - (n_ & mask(sum < a || sum >= n_));  // sum < a: it wrapped past 2^64
    }
    u64 subtract(u64 a, u64 b) const { return a - b + (n_ & mask(a < b)); }
    u64 normalize(u64 x) const { return x; }  // always in [0, n) already

    // All ones when `condition` holds: the tests' operands depend on data, so selecting by mask
    // keeps mispredicted branches out of their inner loops.
    static u64 mask(bool condition) { return 0 - static_cast<u64>(condition); }
    static u64 select(bool condition, u64 if_true, u64 if_false) {
        return if_false ^ ((if_false ^ if_true) & mask(condition));
    }

private:
    u64 n_;
    u64 one_;
    u64 inverse_;
};

// The same for n < 2^62, with values kept in [0, 2n) instead of [0, n): a product then needs
// no final correction, which shortens every step of a chain of multiplications. Values must be
// normalized before they are compared.
class lazy_montgomery {
public:
    using u64 = std::uint64_t;
    static constexpr u64 limit = u64{1} << 62;

    explicit lazy_montgomery(u64 n)
        : n_{n}, twice_n_{2 * n}, one_{(0 - n) % n}, negated_inverse_{0 - inverse_mod_2_64(n)} {}

    u64 modulus() const { return n_; }
    u64 one() const { return one_; }
    u64 minus_one() const { return n_ - one_; }
    u64 normalize(u64 x) const { return x - (n_ & montgomery::mask(x >= n_)); }

    // (a * b + m * n) / 2^64 with m chosen to make the low half vanish: below 2n, as a, b < 2n
    // and 4n < 2^64. The low halves sum to 2^64 exactly when the product's is not zero.
    u64 multiply(u64 a, u64 b) const {
        const u64_pair t = wide::multiply_wide(a, b);
        const u64 m = t.low * negated_inverse_;
        return t.high + wide::multiply_wide(m, n_).high + static_cast<u64>(t.low != 0);
    }
    u64 add(u64 a, u64 b) const {
        const u64 sum = a + b;
        return sum - (twice_n_ & montgomery::mask(sum >= twice_n_));
    }
    u64 subtract(u64 a, u64 b) const { return a - b + (twice_n_ & montgomery::mask(a < b)); }

private:
    u64 n_;
    u64 twice_n_;
    u64 one_;
    u64 negated_inverse_;
};

}  // namespace zorvanteli
