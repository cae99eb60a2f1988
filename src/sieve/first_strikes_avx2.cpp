// The first strikes with AVX2, four primes at a time: the quotient by a vector division, exact
// conversions through the bits of 2^52, the residues modulo 30 by multiplications in fixed point,
// the small tables by byte shuffles, and the primes that strike moved together by a permutation.
#include "sieve/kernels.hpp"

#if ZORVANTELI_X86_KERNELS
#include <immintrin.h>

#include <array>

#include "sieve/first_strikes_loop.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;

#define ZORVANTELI_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))

ZORVANTELI_AVX2 __m256i number(u64 x) {
    return _mm256_set1_epi64x(static_cast<long long>(x));
}

// x / 30 and x modulo 30 for x below 2^32: the quotient is (x * 0x88888889) >> 36.
struct by_30 {
    __m256i quotient, remainder;
};
ZORVANTELI_AVX2 by_30 divide_by_30(__m256i x) {
    const __m256i q = _mm256_srli_epi64(_mm256_mul_epu32(x, number(0x88888889)), 36);
    return {q, _mm256_sub_epi64(x, _mm256_mul_epu32(q, number(30)))};
}
// The same for x below 900: (x * 2185) >> 16.
ZORVANTELI_AVX2 __m256i small_quotient_by_30(__m256i x) {
    return _mm256_srli_epi64(_mm256_mul_epu32(x, number(2185)), 16);
}

// Looks up the byte entries[i] for an index below 16 (or with its top bit set, for 0) in the low
// byte of each lane; the lane's other bytes are 0 and fetch entries[0], which the mask clears.
ZORVANTELI_AVX2 __m256i look_up(__m256i table, __m256i index) {
    return _mm256_and_si256(_mm256_shuffle_epi8(table, index), number(0xFF));
}

template <std::size_t n>
ZORVANTELI_AVX2 __m256i byte_table(const std::array<std::uint8_t, n>& entries, std::size_t from) {
    alignas(32) std::array<std::uint8_t, 32> bytes{};
    for (std::size_t i = 0; i < 16 && from + i < n; ++i)
        bytes[i] = bytes[i + 16] = entries[from + i];
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(bytes.data()));
}

// For each mask of the four lanes that strike: the words that move them to the front, first as
// the four 64-bit lanes, then as their low 32-bit halves in the low 128 bits.
struct compressions {
    alignas(32) std::array<std::array<std::int32_t, 8>, 16> lanes, halves;
};
constexpr compressions compression = [] {
    compressions c{};
    for (unsigned mask = 0; mask < 16; ++mask) {
        unsigned k = 0;
        for (unsigned lane = 0; lane < 4; ++lane) {
            if ((mask >> lane & 1) == 0) continue;
            c.lanes[mask][2 * k] = static_cast<std::int32_t>(2 * lane);
            c.lanes[mask][2 * k + 1] = static_cast<std::int32_t>(2 * lane + 1);
            c.halves[mask][k] = static_cast<std::int32_t>(2 * lane);
            ++k;
        }
    }
    return c;
}();

// The step to the next residue prime to 30 in the low four bits, its wheel index above.
constexpr std::array<std::uint8_t, 30> packed_steps = [] {
    std::array<std::uint8_t, 30> t{};
    for (std::size_t m = 0; m < 30; ++m) {
        const unsigned entry = first_strikes_loop::step_and_index[m];
        t[m] = static_cast<std::uint8_t>((entry & 0xFF) | (entry >> 8) << 4);
    }
    return t;
}();

}  // namespace

ZORVANTELI_AVX2 std::size_t first_strikes_avx2(std::span<const std::uint32_t> primes, u64 low,
                                               u64 last, std::uint32_t* kept, u64* strikes) {
    std::array<std::uint8_t, 8> residue_bytes{}, inverse_bytes{};
    for (std::size_t k = 0; k < 8; ++k) {
        residue_bytes[k] = wheel::residues[k];
        inverse_bytes[k] = first_strikes_loop::inverse_mod_30[k];
    }
    const __m256i residues = byte_table(residue_bytes, 0);
    const __m256i inverses = byte_table(inverse_bytes, 0);
    const __m256i steps_low = byte_table(packed_steps, 0),
                  steps_high = byte_table(packed_steps, 16);
    const __m256d two_52 = _mm256_set1_pd(0x1p52);
    const __m256d low_as_double = _mm256_set1_pd(static_cast<double>(low));
    const __m256i low_v = number(low), sign = number(u64{1} << 63);
    const __m256i span_signed = _mm256_xor_si256(number(last - low), sign);
    const __m256i zero = _mm256_setzero_si256();
    std::size_t i = 0, count = 0;
    for (; i + 4 <= primes.size(); i += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(primes.data() + i));
        const __m256i wheel_p = _mm256_cvtepu32_epi64(four);
        const __m256i index = _mm256_and_si256(wheel_p, number(7));
        const __m256i k = _mm256_srli_epi64(wheel_p, 3);
        const __m256i residue = look_up(residues, index);
        const __m256i p = _mm256_add_epi64(_mm256_mul_epu32(k, number(30)), residue);
        // A prime whose square lies at or past low starts there: rare, one by one.
        const __m256i square_from_low = _mm256_cmpgt_epi64(
            _mm256_xor_si256(low_v, sign), _mm256_xor_si256(_mm256_mul_epu32(p, p), sign));
        if (_mm256_movemask_pd(_mm256_castsi256_pd(square_from_low)) != 0xF) {
            count = first_strikes_loop::keep_striking(primes.first(i + 4), i, low, last, kept,
                                                      strikes, count);
            continue;
        }
        // p below 2^32 as a double, exactly: 2^52 + p has the bits 2^52 | p. The quotient of low,
        // below 2^46, rounded to an integer the same way, is off by one at most.
        const __m256d p_as_double = _mm256_sub_pd(
            _mm256_castsi256_pd(_mm256_or_si256(p, _mm256_castpd_si256(two_52))), two_52);
        const __m256i q = _mm256_and_si256(
            _mm256_castpd_si256(_mm256_add_pd(_mm256_div_pd(low_as_double, p_as_double), two_52)),
            number((u64{1} << 52) - 1));
        const __m256i qp =
            _mm256_add_epi64(_mm256_mul_epu32(q, p),
                             _mm256_slli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(q, 32), p), 32));
        __m256i r = _mm256_sub_epi64(low_v, qp);
        r = _mm256_add_epi64(r, _mm256_and_si256(p, _mm256_cmpgt_epi64(zero, r)));
        r = _mm256_sub_epi64(r, _mm256_andnot_si256(_mm256_cmpgt_epi64(p, r), p));
        // The first multiple from low on is low + d, its cofactor d / p modulo 30, as in the loop;
        // its byte is the sum of d's and of the steps', in whole bytes and the rest.
        const __m256i d = _mm256_andnot_si256(_mm256_cmpeq_epi64(r, zero), _mm256_sub_epi64(p, r));
        const by_30 d_by_30 = divide_by_30(d);
        const __m256i product = _mm256_mul_epu32(d_by_30.remainder, look_up(inverses, index));
        const __m256i m =
            _mm256_sub_epi64(product, _mm256_mul_epu32(small_quotient_by_30(product), number(30)));
        const __m256i high = _mm256_cmpgt_epi64(m, number(15));
        const __m256i entry = _mm256_blendv_epi8(
            look_up(steps_low, m), look_up(steps_high, _mm256_sub_epi64(m, number(16))), high);
        const __m256i step = _mm256_and_si256(entry, number(15));
        const __m256i distance = _mm256_add_epi64(d, _mm256_mul_epu32(step, p));
        const __m256i byte =
            _mm256_add_epi64(_mm256_add_epi64(d_by_30.quotient, _mm256_mul_epu32(step, k)),
                             small_quotient_by_30(_mm256_add_epi64(
                                 d_by_30.remainder, _mm256_mul_epu32(step, residue))));
        const __m256i strike =
            _mm256_or_si256(_mm256_slli_epi64(byte, 3), _mm256_srli_epi64(entry, 4));
        // Those that strike, moved together.
        const __m256i beyond = _mm256_cmpgt_epi64(_mm256_xor_si256(distance, sign), span_signed);
        const auto striking =
            static_cast<unsigned>(~_mm256_movemask_pd(_mm256_castsi256_pd(beyond)) & 0xF);
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(strikes + count),
            _mm256_permutevar8x32_epi32(strike, _mm256_load_si256(reinterpret_cast<const __m256i*>(
                                                    compression.lanes[striking].data()))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(kept + count),
                         _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(
                             wheel_p, _mm256_load_si256(reinterpret_cast<const __m256i*>(
                                          compression.halves[striking].data())))));
        count += static_cast<std::size_t>(__builtin_popcount(striking));
    }
    return first_strikes_loop::keep_striking(primes, i, low, last, kept, strikes, count);
}

}  // namespace zorvanteli
#endif
