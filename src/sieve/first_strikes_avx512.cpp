// The first strikes on AVX-512, eight primes at a time: the quotient from a reciprocal refined by
// Newton's method, the residues modulo 30 by multiplications in fixed point, and the small tables
// by one permutation each.
#include <immintrin.h>

#include "sieve/first_strikes_loop.hpp"
#include "sieve/kernels.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;

#define ZORVANTELI_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,fma")))

// The masked forms throughout: GCC 12 warns of its own placeholder in some unmasked ones.
constexpr __mmask8 all = 0xFF;

ZORVANTELI_AVX512 __m512i times(__m512i a, __m512i b) {  // the low 32 bits of each
    return _mm512_maskz_mul_epu32(all, a, b);
}
ZORVANTELI_AVX512 __m512i shifted_down(__m512i a, unsigned bits) {
    return _mm512_maskz_srli_epi64(all, a, bits);
}
ZORVANTELI_AVX512 __m512i number(u64 x) {
    return _mm512_set1_epi64(static_cast<long long>(x));
}

// x modulo 30 for x below 2^32: its quotient is (x * 0x88888889) >> 36.
ZORVANTELI_AVX512 __m512i mod_30(__m512i x) {
    return _mm512_sub_epi64(x, times(shifted_down(times(x, number(0x88888889)), 36), number(30)));
}

// A table of up to 32 entries of 32 bits, looked up by indices below 32 in lanes of 64 bits.
struct table_32 {
    __m512i low, high;
};

template <class T, std::size_t n>
ZORVANTELI_AVX512 table_32 load_table(const std::array<T, n>& entries) {
    alignas(64) std::uint32_t words[32] = {};
    for (std::size_t i = 0; i < n; ++i) words[i] = entries[i];
    return {_mm512_load_si512(words), _mm512_load_si512(words + 16)};
}

ZORVANTELI_AVX512 __m512i look_up(const table_32& table, __m512i index) {
    // The odd words of the indices are 0 and fetch entry 0, which the mask clears.
    return _mm512_and_si512(_mm512_permutex2var_epi32(table.low, index, table.high),
                            number(0xFFFFFFFF));
}

template <class T>
ZORVANTELI_AVX512 __m512i load_eight(const std::array<T, 8>& entries) {
    alignas(64) u64 words[8];
    for (std::size_t i = 0; i < 8; ++i) words[i] = entries[i];
    return _mm512_load_si512(words);
}

}  // namespace

ZORVANTELI_AVX512 std::size_t first_strikes_avx512(std::span<const std::uint32_t> primes, u64 low,
                                                   u64 last, std::uint32_t* kept, u64* strikes) {
    const __m512i residues = load_eight(wheel::residues);
    const __m512i inverses = load_eight(first_strikes_loop::inverse_mod_30);
    const table_32 steps = load_table(first_strikes_loop::step_and_index);
    const __m512d low_as_double = _mm512_set1_pd(static_cast<double>(low));
    const __m512d one = _mm512_set1_pd(1), one_thirtieth = _mm512_set1_pd(1.0 / 30);
    const __m512i low_v = number(low), span = number(last - low), zero = _mm512_setzero_si512();
    std::size_t i = 0, count = 0;
    for (; i + 8 <= primes.size(); i += 8) {
        const __m256i eight =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(primes.data() + i));
        const __m512i wheel_p = _mm512_maskz_cvtepu32_epi64(all, eight);
        const __m512i index = _mm512_and_si512(wheel_p, number(7));
        const __m512i p = _mm512_add_epi64(times(shifted_down(wheel_p, 3), number(30)),
                                           _mm512_maskz_permutexvar_epi64(all, index, residues));
        // A prime whose square lies at or past low starts there: rare, one by one.
        if (_mm512_cmpge_epu64_mask(times(p, p), low_v) != 0) {
            count = first_strikes_loop::keep_striking(primes.first(i + 8), i, low, last, kept,
                                                      strikes, count);
            continue;
        }
        // 1 / p to 56 bits from 14, by two steps of Newton's method; low = q p + r with q off by
        // one at most.
        const __m512d p_as_double = _mm512_cvtepu64_pd(p);
        __m512d reciprocal = _mm512_maskz_rcp14_pd(all, p_as_double);
        for (int step = 0; step < 2; ++step)
            reciprocal = _mm512_fmadd_pd(reciprocal, _mm512_fnmadd_pd(p_as_double, reciprocal, one),
                                         reciprocal);
        const __m512i q = _mm512_cvttpd_epu64(_mm512_mul_pd(low_as_double, reciprocal));
        __m512i r = _mm512_sub_epi64(low_v, _mm512_mullo_epi64(q, p));
        r = _mm512_mask_add_epi64(r, _mm512_cmplt_epi64_mask(r, zero), r, p);
        r = _mm512_mask_sub_epi64(r, _mm512_cmpge_epi64_mask(r, p), r, p);
        // The first multiple from low on is low + d; its cofactor is d / p modulo 30, as in the
        // loop, and a product below 900 is reduced by (x * 2185) >> 16 = x / 30.
        const __m512i d = _mm512_maskz_sub_epi64(_mm512_cmpneq_epi64_mask(r, zero), p, r);
        const __m512i product =
            times(mod_30(d), _mm512_maskz_permutexvar_epi64(all, index, inverses));
        const __m512i m = _mm512_sub_epi64(
            product, times(shifted_down(times(product, number(2185)), 16), number(30)));
        const __m512i step_and_index = look_up(steps, m);
        const __m512i distance =
            _mm512_add_epi64(d, times(_mm512_and_si512(step_and_index, number(0xFF)), p));
        // Its byte: a quotient by 30 below 2^35, low by one at most at a multiple of 30.
        __m512i byte =
            _mm512_cvttpd_epu64(_mm512_mul_pd(_mm512_cvtepu64_pd(distance), one_thirtieth));
        byte = _mm512_mask_add_epi64(
            byte,
            _mm512_cmpge_epu64_mask(_mm512_sub_epi64(distance, times(byte, number(30))),
                                    number(30)),
            byte, number(1));
        const __m512i strike = _mm512_add_epi64(_mm512_maskz_slli_epi64(all, byte, 3),
                                                shifted_down(step_and_index, 8));
        // Those that strike, moved together.
        const __mmask8 striking = _mm512_cmple_epu64_mask(distance, span);
        _mm512_storeu_si512(strikes + count, _mm512_maskz_compress_epi64(striking, strike));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(kept + count),
                            _mm256_maskz_compress_epi32(striking, eight));
        count += static_cast<std::size_t>(__builtin_popcount(striking));
    }
    return first_strikes_loop::keep_striking(primes, i, low, last, kept, strikes, count);
}

// The test of first_strikes_loop::candidate_test, eight at a time.
ZORVANTELI_AVX512 std::size_t strike_candidates_avx512(std::span<const std::uint32_t> primes,
                                                       u64 low, u64 last, std::uint32_t* kept) {
    const first_strikes_loop::candidate_test test{low, last - low};
    const __m512i residues = load_eight(wheel::residues);
    const __m512d low_as_double = _mm512_set1_pd(test.low);
    const __m512d span_and_margin = _mm512_set1_pd(test.span_and_margin);
    const __m512d margin = _mm512_set1_pd(test.margin);
    std::size_t i = 0, count = 0;
    for (; i + 8 <= primes.size(); i += 8) {
        const __m256i eight =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(primes.data() + i));
        const __m512i wheel_p = _mm512_maskz_cvtepu32_epi64(all, eight);
        const __m512i p = _mm512_add_epi64(
            times(shifted_down(wheel_p, 3), number(30)),
            _mm512_maskz_permutexvar_epi64(all, _mm512_and_si512(wheel_p, number(7)), residues));
        const __m512d p_as_double = _mm512_cvtepu64_pd(p);
        const __m512d q = _mm512_div_pd(low_as_double, p_as_double);
        const __m512d distance = _mm512_fnmadd_pd(
            _mm512_sub_pd(q, _mm512_maskz_roundscale_pd(all, q, _MM_FROUND_TO_NEG_INF)),
            p_as_double, p_as_double);
        const __mmask8 may =
            _mm512_cmp_pd_mask(distance, span_and_margin, _CMP_LE_OQ) |
            _mm512_cmp_pd_mask(distance, _mm512_sub_pd(p_as_double, margin), _CMP_GE_OQ);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(kept + count),
                            _mm256_maskz_compress_epi32(may, eight));
        count += static_cast<std::size_t>(__builtin_popcount(may));
    }
    return first_strikes_loop::keep_candidates(primes, i, test, kept, count);
}

}  // namespace zorvanteli
