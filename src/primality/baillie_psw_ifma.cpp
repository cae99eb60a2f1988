// Baillie-PSW's exponentiations on AVX-512 IFMA. A number below 2^64 is held in two digits,
// low (52 bits) and high, and multiplied in Montgomery form with R = 2^104: four 52-bit
// products and two reduction steps. R is so much larger than n that nothing is ever reduced
// below n on the way: operands below 2^78 give results below n + 2^52, so sums and doublings
// need no correction. Only this file is compiled for the instructions, through function
// attributes, and only where the compiler targets x86-64 (baillie_psw_ifma_absent.cpp stands in
// elsewhere); the rest of the program stays portable.
#include "primality/baillie_psw_ifma.hpp"

#include <algorithm>
#include <cstddef>
#include <type_traits>

#include "platform/processor.hpp"

// GCC 12's AVX-512 shifts start from a self-initialized "undefined" register, which its
// -Wuninitialized takes for a real one once inlined (GCC bug 105593).
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace zorvanteli::ifma {

bool supported() {
    return this_processor().avx512_ifma;
}

namespace {

#define ZORVANTELI_LANES __attribute__((target("avx512f,avx512cd,avx512dq,avx512ifma")))

using u64 = std::uint64_t;
using vec = __m512i;
using lane_mask = __mmask8;
constexpr std::size_t width = 8;  // numbers to a register
// Registers side by side, 64 and 32 numbers: one multiplication is a chain of seven
// dependent products, and the multipliers take two a cycle.
constexpr std::size_t base_2_sets = 8;
constexpr std::size_t lucas_sets = 4;

struct value {
    vec low;   // below 2^52: the multipliers read 52 bits
    vec high;  // the rest
};

struct modulus {
    vec whole;
    vec low;
    vec high;
    vec inverse;  // -1/n mod 2^52
};

ZORVANTELI_LANES inline vec broadcast(u64 x) {
    return _mm512_set1_epi64(static_cast<long long>(x));
}
ZORVANTELI_LANES inline vec digit_mask() {
    return broadcast((u64{1} << 52) - 1);
}
ZORVANTELI_LANES inline vec add(vec a, vec b) {
    return _mm512_add_epi64(a, b);
}
// add + the low or the high 52 bits of the 104-bit product of a and b's low 52 bits.
ZORVANTELI_LANES inline vec lo(vec add, vec a, vec b) {
    return _mm512_madd52lo_epu64(add, a, b);
}
ZORVANTELI_LANES inline vec hi(vec add, vec a, vec b) {
    return _mm512_madd52hi_epu64(add, a, b);
}

// Digits of low + high * 2^52 with the low one below 2^52 again.
ZORVANTELI_LANES inline value carry(vec low, vec high) {
    return {_mm512_and_si512(low, digit_mask()), add(high, _mm512_srli_epi64(low, 52))};
}
ZORVANTELI_LANES inline value split(vec x) {
    return carry(x, _mm512_setzero_si512());
}
// The 64-bit number of digits worth less than 2^64.
ZORVANTELI_LANES inline vec join(value x) {
    return _mm512_or_si512(x.low, _mm512_slli_epi64(x.high, 52));
}
ZORVANTELI_LANES inline value sum(value a, value b) {
    return carry(add(a.low, b.low), add(a.high, b.high));
}

ZORVANTELI_LANES inline modulus make_modulus(vec n) {
    // Newton's iteration for 1/n mod 2^64: right to 5 bits, and each step doubles them.
    vec inverse = _mm512_xor_si512(_mm512_mullo_epi64(n, broadcast(3)), broadcast(2));
    for (int i = 0; i < 4; ++i)
        inverse = _mm512_mullo_epi64(
            inverse, _mm512_sub_epi64(broadcast(2), _mm512_mullo_epi64(n, inverse)));
    const value digits = split(n);
    return {n, digits.low, digits.high,
            _mm512_and_si512(_mm512_sub_epi64(_mm512_setzero_si512(), inverse), digit_mask())};
}

// Digits p0 + p1 2^52 + p2 2^104 + p3 2^156 of `count` products, p0 < 2^52. The arithmetic
// below runs on all of them statement by statement, so that their chains interleave in the
// instruction stream: the processor's scheduler holds fewer instructions than one chain.
template <std::size_t count>
struct products {
    vec p0[count];
    vec p1[count];
    vec p2[count];
    vec p3[count];
};

// a b + c 2^104 into entry i.
template <std::size_t count>
ZORVANTELI_LANES inline void multiply(products<count>& p, std::size_t i, value a, value b,
                                      value c) {
    const vec zero = _mm512_setzero_si512();
    p.p0[i] = lo(zero, a.low, b.low);
    p.p1[i] = lo(lo(hi(zero, a.low, b.low), a.low, b.high), a.high, b.low);
    p.p2[i] = lo(hi(hi(c.low, a.low, b.high), a.high, b.low), a.high, b.high);
    p.p3[i] = c.high;
}

// a^2 + c 2^104 into entry i.
template <std::size_t count>
ZORVANTELI_LANES inline void square(products<count>& p, std::size_t i, value a, value c) {
    const vec zero = _mm512_setzero_si512();
    const vec twice_high = add(a.high, a.high);
    p.p0[i] = lo(zero, a.low, a.low);
    p.p1[i] = lo(hi(zero, a.low, a.low), a.low, twice_high);
    p.p2[i] = lo(hi(c.low, a.low, twice_high), a.high, a.high);
    p.p3[i] = c.high;
}

// x itself, to be reduced to x / R.
template <std::size_t count>
ZORVANTELI_LANES inline void place(products<count>& p, std::size_t i, value x) {
    p.p0[i] = x.low;
    p.p1[i] = x.high;
    p.p2[i] = _mm512_setzero_si512();
    p.p3[i] = _mm512_setzero_si512();
}

// Divides each entry by R = 2^104 mod n: twice, adds the multiple of n that clears the lowest
// digit and drops that digit. `share` neighbouring entries share a modulus. The results are
// left in p2 and p3, uncarried.
template <std::size_t share, std::size_t count>
ZORVANTELI_LANES inline void reduce(products<count>& p, const modulus* n) {
    const vec zero = _mm512_setzero_si512();
    const vec mask = digit_mask();
    vec m[count];
    for (std::size_t i = 0; i < count; ++i) m[i] = lo(zero, p.p0[i], n[i / share].inverse);
    // p0 + low(m n0) is 0 or 2^52: it carries one exactly when p0 is not 0.
    for (std::size_t i = 0; i < count; ++i)
        p.p1[i] = add(p.p1[i], _mm512_srli_epi64(add(p.p0[i], mask), 52));
    for (std::size_t i = 0; i < count; ++i)
        p.p1[i] = lo(hi(p.p1[i], m[i], n[i / share].low), m[i], n[i / share].high);
    for (std::size_t i = 0; i < count; ++i) p.p2[i] = hi(p.p2[i], m[i], n[i / share].high);
    for (std::size_t i = 0; i < count; ++i) m[i] = lo(zero, p.p1[i], n[i / share].inverse);
    // p1 + low(m n0) is a multiple of 2^52: it carries p1 / 2^52 rounded up.
    for (std::size_t i = 0; i < count; ++i)
        p.p2[i] = add(p.p2[i], _mm512_srli_epi64(add(p.p1[i], mask), 52));
    for (std::size_t i = 0; i < count; ++i)
        p.p2[i] = lo(hi(p.p2[i], m[i], n[i / share].low), m[i], n[i / share].high);
    for (std::size_t i = 0; i < count; ++i) p.p3[i] = hi(p.p3[i], m[i], n[i / share].high);
}

// Entry i after reduce: congruent to its product / R mod n.
template <std::size_t count>
ZORVANTELI_LANES inline value result(const products<count>& p, std::size_t i) {
    return carry(p.p2[i], p.p3[i]);
}

// x / R mod n for each x, from 0 to n: n only for x = 0 mod n.
template <std::size_t count>
ZORVANTELI_LANES inline void to_integers(const value (&x)[count], const modulus (&n)[count],
                                         vec (&out)[count]) {
    products<count> p;
    for (std::size_t i = 0; i < count; ++i) place(p, i, x[i]);
    reduce<1>(p, n);
    for (std::size_t i = 0; i < count; ++i) out[i] = join(result(p, i));
}

ZORVANTELI_LANES inline vec bit_length(vec x) {
    return _mm512_sub_epi64(broadcast(64), _mm512_lzcnt_epi64(x));
}
ZORVANTELI_LANES inline vec trailing_zeros(vec x) {
    const vec lowest = _mm512_and_si512(x, _mm512_sub_epi64(_mm512_setzero_si512(), x));
    return _mm512_sub_epi64(broadcast(63), _mm512_lzcnt_epi64(lowest));
}
ZORVANTELI_LANES inline lane_mask equal(vec a, vec b) {
    return _mm512_cmpeq_epu64_mask(a, b);
}
ZORVANTELI_LANES inline value select(lane_mask condition, value if_true, value if_false) {
    return {_mm512_mask_blend_epi64(condition, if_false.low, if_true.low),
            _mm512_mask_blend_epi64(condition, if_false.high, if_true.high)};
}

// The base-2 strong test computes 2^-(n-1) instead of 2^(n-1): x = 1 or -1 exactly when 1/x
// is, so its verdict is the same, and the ladder then needs no R mod n, which would cost a
// division. Its value x holds 2^f in Montgomery form, that is 2^(f + 104) mod n. Squaring
// takes f to 2f, doubling to f + 1. A lane starts from the top six bits t of n - 1 with
// f = -(t + 1), exactly 2^(103 - t) as an integer, and doubles by the bits of -(n - 1) below
// them, which ends at f = -(n - 1). On the way, after the step that leaves k bits, it holds
// 2^-((n - 1) >> k): the strong test's powers of 2^-d when k counts the trailing zeros.
template <std::size_t sets>
ZORVANTELI_LANES void base_2_group(const u64* numbers, verdict* verdicts, u64* one) {
    constexpr std::size_t group = width * sets;
    modulus m[sets];
    value x[sets];
    vec steps[sets];      // bits of n - 1 below its top six
    vec doublings[sets];  // -(n - 1) mod 2^steps
    vec twos[sets];       // trailing zero bits of n - 1
    lane_mask decidable[sets];
    lane_mask passed[sets];
    u64 most_steps = 0;
    u64 most_twos = 0;
    for (std::size_t s = 0; s < sets; ++s) {
        const vec n = _mm512_loadu_si512(numbers + width * s);
        m[s] = make_modulus(n);
        const vec n_minus_1 = _mm512_sub_epi64(n, broadcast(1));
        steps[s] = _mm512_sub_epi64(bit_length(n), broadcast(6));
        const vec top = _mm512_srlv_epi64(n_minus_1, steps[s]);
        const vec below = _mm512_sub_epi64(_mm512_sllv_epi64(broadcast(1), steps[s]), broadcast(1));
        doublings[s] = _mm512_and_si512(_mm512_sub_epi64(_mm512_setzero_si512(), n_minus_1), below);
        // f = -(t + 1) when doublings follow, -t when there are none.
        const lane_mask rounded_up = _mm512_test_epi64_mask(doublings[s], doublings[s]);
        vec power = _mm512_sub_epi64(broadcast(104), top);
        power = _mm512_mask_sub_epi64(power, rounded_up, power, broadcast(1));
        // A shift by 64 or more, or by a negative count, gives 0.
        x[s] = {_mm512_and_si512(_mm512_sllv_epi64(broadcast(1), power), digit_mask()),
                _mm512_sllv_epi64(broadcast(1), _mm512_sub_epi64(power, broadcast(52)))};
        twos[s] = trailing_zeros(n_minus_1);
        // 2^-d comes before the start when d has fewer than six bits.
        decidable[s] = _mm512_cmple_epu64_mask(twos[s], steps[s]);
        passed[s] = 0;
        most_steps = std::max(most_steps, static_cast<u64>(_mm512_reduce_max_epu64(steps[s])));
        most_twos = std::max(most_twos, static_cast<u64>(_mm512_reduce_max_epu64(
                                            _mm512_maskz_mov_epi64(decidable[s], twos[s]))));
    }
    // All lanes end together; a shorter one waits at its start. At `left` bits to go, its
    // value is 2^-((n - 1) >> left): 2^-d when left is its trailing zeros, then the squares.
    for (u64 left = most_steps;; --left) {
        if (left <= most_twos && left > 0) {
            const vec place = broadcast(left);
            vec y[sets];
            to_integers(x, m, y);
            for (std::size_t s = 0; s < sets; ++s) {
                const lane_mask minus_one =
                    equal(y[s], _mm512_sub_epi64(m[s].whole, broadcast(1))) &
                    _mm512_cmpge_epu64_mask(twos[s], place);
                const lane_mask plus_one = equal(y[s], broadcast(1)) & equal(twos[s], place);
                passed[s] |= minus_one | plus_one;
            }
        }
        if (left == 0) break;
        const vec place = broadcast(left - 1);
        const vec bit = broadcast(u64{1} << (left - 1));
        const value none = {_mm512_setzero_si512(), _mm512_setzero_si512()};
        products<sets> p;
        for (std::size_t s = 0; s < sets; ++s) square(p, s, x[s], none);
        reduce<1>(p, m);
        for (std::size_t s = 0; s < sets; ++s) {
            const lane_mask active = _mm512_cmpgt_epu64_mask(steps[s], place);
            const lane_mask doubled = _mm512_test_epi64_mask(doublings[s], bit);
            const vec low = _mm512_mask_slli_epi64(p.p2[s], doubled, p.p2[s], 1);
            const vec high = _mm512_mask_slli_epi64(p.p3[s], doubled, p.p3[s], 1);
            x[s] = {_mm512_mask_and_epi64(x[s].low, active, low, digit_mask()),
                    _mm512_mask_add_epi64(x[s].high, active, high, _mm512_srli_epi64(low, 52))};
        }
    }
    // Now x = 2^-(n-1) in Montgomery form: R itself mod n when 2^(n-1) = 1, as for every
    // base-2 strong probable prime.
    alignas(64) u64 low[group];
    alignas(64) u64 high[group];
    for (std::size_t s = 0; s < sets; ++s) {
        _mm512_store_si512(low + width * s, x[s].low);
        _mm512_store_si512(high + width * s, x[s].high);
    }
    for (std::size_t i = 0; i < group; ++i) {
        const unsigned lane = static_cast<unsigned>(i % width);
        const bool decided = (decidable[i / width] >> lane) & 1;
        const bool probable = (passed[i / width] >> lane) & 1;
        verdicts[i] = !decided   ? verdict::undecided
                      : probable ? verdict::probable_prime
                                 : verdict::composite;
        // Below n + 2^28 after the last squaring, so one subtraction reduces it.
        __extension__ using u128 = unsigned __int128;
        const u128 r = low[i] + (static_cast<u128>(high[i]) << 52);
        one[i] = static_cast<u64>(r - (r >= numbers[i] ? numbers[i] : 0));
    }
}

// The V ladder of the Lucas sequence with Q = 1 on n + 1 = d 2^s, as in the portable code,
// but every value in the lanes' Montgomery form: 2 and P from the form's one, and the
// subtractions of 2 and P as additions of 2(n - one) and P (n - one), which keeps them
// positive without a comparison.
template <std::size_t sets>
ZORVANTELI_LANES void lucas_group(const u64* numbers, const u64* parameters, const u64* ones,
                                  verdict* verdicts) {
    constexpr std::size_t group = width * sets;
    modulus m[sets];
    value v[sets];       // V_k
    value v_next[sets];  // V_(k+1)
    value minus_p[sets];
    value minus_two[sets];
    vec d[sets];
    vec twos[sets];
    lane_mask passed[sets];
    u64 top = 0;
    u64 most_twos = 0;
    const vec zero = _mm512_setzero_si512();
    for (std::size_t s = 0; s < sets; ++s) {
        const vec n = _mm512_loadu_si512(numbers + width * s);
        m[s] = make_modulus(n);
        const vec n_plus_1 = add(n, broadcast(1));
        twos[s] = trailing_zeros(n_plus_1);
        d[s] = _mm512_srlv_epi64(n_plus_1, twos[s]);
        top = std::max(top, static_cast<u64>(_mm512_reduce_max_epu64(bit_length(d[s]))));
        most_twos = std::max(most_twos, static_cast<u64>(_mm512_reduce_max_epu64(twos[s])));
        const vec p = _mm512_loadu_si512(parameters + width * s);
        const vec one_whole = _mm512_loadu_si512(ones + width * s);
        const value one = split(one_whole);
        const value minus_one = split(_mm512_sub_epi64(n, one_whole));
        v[s] = sum(one, one);
        minus_two[s] = sum(minus_one, minus_one);
        v_next[s] = {lo(zero, p, one.low), add(hi(zero, p, one.low), lo(zero, p, one.high))};
        minus_p[s] = {lo(zero, p, minus_one.low),
                      add(hi(zero, p, minus_one.low), lo(zero, p, minus_one.high))};
    }
    // Leading zero bits keep (V_0, V_1) = (2, P) as they are.
    for (u64 place = top; place-- > 0;) {
        const vec bit = broadcast(u64{1} << place);
        lane_mask set[sets];
        products<2 * sets> p;
        for (std::size_t s = 0; s < sets; ++s) {
            set[s] = _mm512_test_epi64_mask(d[s], bit);
            multiply(p, 2 * s, v[s], v_next[s], minus_p[s]);
            square(p, 2 * s + 1, select(set[s], v_next[s], v[s]), minus_two[s]);
        }
        reduce<2>(p, m);
        for (std::size_t s = 0; s < sets; ++s) {
            const value mixed = result(p, 2 * s);
            const value doubled = result(p, 2 * s + 1);
            v[s] = select(set[s], mixed, doubled);
            v_next[s] = select(set[s], doubled, mixed);
        }
    }
    // U_d = 0 exactly when 2 V_(d+1) - P V_d = 0.
    const value none = {zero, zero};
    products<sets> p;
    for (std::size_t s = 0; s < sets; ++s) multiply(p, s, v[s], minus_p[s], none);
    reduce<1>(p, m);
    value u[sets];
    for (std::size_t s = 0; s < sets; ++s) u[s] = sum(sum(v_next[s], v_next[s]), result(p, s));
    vec u_times_d[sets];
    vec y[sets];
    to_integers(u, m, u_times_d);
    to_integers(v, m, y);
    for (std::size_t s = 0; s < sets; ++s) {
        const lane_mask u_is_zero = equal(u_times_d[s], zero) | equal(u_times_d[s], m[s].whole);
        const lane_mask plus_minus_two =
            equal(y[s], broadcast(2)) | equal(y[s], _mm512_sub_epi64(m[s].whole, broadcast(2)));
        const lane_mask v_is_zero = equal(y[s], zero) | equal(y[s], m[s].whole);
        passed[s] = (u_is_zero & plus_minus_two) |
                    (v_is_zero & _mm512_cmpge_epu64_mask(twos[s], broadcast(2)));
    }
    // V_(d 2^r) = 0 for some r < s - 1.
    for (u64 r = 1; r + 1 < most_twos; ++r) {
        const vec least = broadcast(r + 2);
        for (std::size_t s = 0; s < sets; ++s) square(p, s, v[s], minus_two[s]);
        reduce<1>(p, m);
        for (std::size_t s = 0; s < sets; ++s) v[s] = result(p, s);
        to_integers(v, m, y);
        for (std::size_t s = 0; s < sets; ++s) {
            const lane_mask in_range = _mm512_cmpge_epu64_mask(twos[s], least);
            const lane_mask is_zero = _mm512_mask_cmpeq_epu64_mask(in_range, y[s], zero);
            const lane_mask is_n = _mm512_mask_cmpeq_epu64_mask(in_range, y[s], m[s].whole);
            passed[s] |= is_zero | is_n;
        }
    }
    for (std::size_t i = 0; i < group; ++i)
        verdicts[i] =
            (passed[i / width] >> (i % width)) & 1 ? verdict::probable_prime : verdict::composite;
}

// group(sets, at, count) for the constant `sets` equal to `wanted`, at most `most`.
template <std::size_t most, typename run>
void with_sets(std::size_t wanted, std::size_t at, std::size_t count, run& group) {
    if constexpr (most > 0) {
        if (wanted == most) return group(std::integral_constant<std::size_t, most>{}, at, count);
        with_sets<most - 1>(wanted, at, count, group);
    }
}

// Runs `group` on whole groups of `most` registers, then on the rest with as few registers
// as it needs: a short batch padded to a whole group would cost as much as a whole one.
template <std::size_t most, typename run>
void in_groups(std::size_t count, run group) {
    std::size_t at = 0;
    for (; count - at >= width * most; at += width * most)
        group(std::integral_constant<std::size_t, most>{}, at, width * most);
    if (at < count) with_sets<most>((count - at + width - 1) / width, at, count - at, group);
}

}  // namespace

void base_2_test(std::span<const u64> numbers, std::span<verdict> verdicts, std::span<u64> one) {
    in_groups<base_2_sets>(numbers.size(), [&](auto sets, std::size_t at, std::size_t count) {
        constexpr std::size_t group = width * sets;
        alignas(64) u64 n[group];
        verdict v[group];
        u64 o[group] = {};
        // A short group is padded with copies of its first number.
        for (std::size_t i = 0; i < group; ++i) n[i] = numbers[at + (i < count ? i : 0)];
        base_2_group<sets>(n, v, o);
        std::copy_n(v, count, verdicts.begin() + static_cast<std::ptrdiff_t>(at));
        std::copy_n(o, count, one.begin() + static_cast<std::ptrdiff_t>(at));
    });
}

void lucas_test(std::span<const u64> numbers, std::span<const u64> parameters,
                std::span<const u64> one, std::span<verdict> verdicts) {
    in_groups<lucas_sets>(numbers.size(), [&](auto sets, std::size_t at, std::size_t count) {
        constexpr std::size_t group = width * sets;
        alignas(64) u64 n[group];
        alignas(64) u64 p[group];
        alignas(64) u64 o[group];
        verdict v[group];
        for (std::size_t i = 0; i < group; ++i) {
            const std::size_t from = at + (i < count ? i : 0);
            n[i] = numbers[from];
            p[i] = parameters[from];
            o[i] = one[from];
        }
        lucas_group<sets>(n, p, o, v);
        std::copy_n(v, count, verdicts.begin() + static_cast<std::ptrdiff_t>(at));
    });
}

}  // namespace zorvanteli::ifma
