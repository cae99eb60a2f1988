// The first strikes with AVX2 and FMA, four primes at a time, all in doubles: every value but the
// start of the range is an integer below 2^53, which doubles hold exactly. The quotient comes
// from a vector division, rounded to the nearest integer; the remainder, far below 2^53, from a
// fused multiply-add, which rounds once and so gives it exactly; the quotients by 30 from the
// reciprocal of 30, exact after adding half a unit where the remainders are integers. The
// cofactor's residue modulo 30, which picks the step to the next one prime to 30, comes from the
// quotient itself. The small tables are byte shuffles. And the test of which primes may strike a
// range.
#include <immintrin.h>

#include <array>

#include "sieve/first_strikes_loop.hpp"
#include "sieve/kernels.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;

#define ZORVANTELI_AVX2 __attribute__((target("avx2,fma,bmi,bmi2,popcnt")))

ZORVANTELI_AVX2 __m256d constant(double x) {
    return _mm256_set1_pd(x);
}

// x / 30 and x modulo 30 for an integer x below 2^47: the quotient of x + 1/2 by 30 is at
// least 1/60 from an integer, far more than the error of the reciprocal.
struct by_30 {
    __m256d quotient, remainder;
};
ZORVANTELI_AVX2 by_30 divide_by_30(__m256d x) {
    const __m256d q = _mm256_floor_pd(_mm256_fmadd_pd(x, constant(1.0 / 30), constant(0.5 / 30)));
    return {q, _mm256_fnmadd_pd(q, constant(30), x)};
}

// The bytes entries[i] of a table of up to 32, for indices below 32 in 32-bit lanes: two shuffles
// of sixteen, the second's indices moved down by 16 (below 0 their top bit is set, which fetches
// 0). A lane's other three bytes fetch entry 0, which the mask clears.
struct table_32 {
    __m128i low, high;
};
template <std::size_t n>
ZORVANTELI_AVX2 table_32 byte_table(const std::array<std::uint8_t, n>& entries) {
    alignas(16) std::array<std::uint8_t, 32> bytes{};
    for (std::size_t i = 0; i < n; ++i) bytes[i] = entries[i];
    return {_mm_load_si128(reinterpret_cast<const __m128i*>(bytes.data())),
            _mm_load_si128(reinterpret_cast<const __m128i*>(bytes.data() + 16))};
}
ZORVANTELI_AVX2 __m128i look_up(const table_32& table, __m128i index) {
    const __m128i low = _mm_shuffle_epi8(table.low, index);
    const __m128i high = _mm_shuffle_epi8(table.high, _mm_sub_epi32(index, _mm_set1_epi32(16)));
    return _mm_and_si128(_mm_blendv_epi8(low, high, _mm_cmpgt_epi32(index, _mm_set1_epi32(15))),
                         _mm_set1_epi32(0xFF));
}

template <class T>
constexpr std::array<std::uint8_t, 8> as_bytes(const std::array<T, 8>& entries) {
    std::array<std::uint8_t, 8> bytes{};
    for (std::size_t k = 0; k < 8; ++k) bytes[k] = static_cast<std::uint8_t>(entries[k]);
    return bytes;
}

// The primes, from their form on the wheel.
ZORVANTELI_AVX2 __m256d prime_of(__m128i wheel_p, const table_32& residues) {
    return _mm256_fmadd_pd(
        _mm256_cvtepi32_pd(_mm_srli_epi32(wheel_p, 3)), constant(30),
        _mm256_cvtepi32_pd(look_up(residues, _mm_and_si128(wheel_p, _mm_set1_epi32(7)))));
}

// The step to the next residue prime to 30 in the low four bits, its wheel index above.
constexpr std::array<std::uint8_t, 30> packed_steps = [] {
    std::array<std::uint8_t, 30> t{};
    for (std::size_t m = 0; m < 30; ++m) {
        const unsigned entry = first_strikes_loop::step_and_index[m];
        t[m] = static_cast<std::uint8_t>((entry & 0xFF) | (entry >> 8) << 4);
    }
    return t;
}();

// For each mask of four lanes, the bytes that move the 32-bit lanes it has to the front.
constexpr auto compressions = [] {
    std::array<std::array<std::uint8_t, 16>, 16> bytes{};
    for (unsigned mask = 0; mask < 16; ++mask) {
        unsigned k = 0;
        for (unsigned lane = 0; lane < 4; ++lane) {
            if ((mask >> lane & 1) == 0) continue;
            for (unsigned b = 0; b < 4; ++b)
                bytes[mask][4 * k + b] = static_cast<std::uint8_t>(4 * lane + b);
            ++k;
        }
    }
    return bytes;
}();

}  // namespace

ZORVANTELI_AVX2 std::size_t first_strikes_avx2(std::span<const std::uint32_t> primes, u64 low,
                                               u64 last, std::uint32_t* kept, u64* strikes) {
    // Where some prime's square lies at or past low it starts there: rare, and left to the loop.
    if (primes.empty()) return 0;
    const u64 largest = off_the_wheel(primes.back());
    if (largest * largest >= low)
        return first_strikes_loop::keep_striking(primes, 0, low, last, kept, strikes, 0);

    const table_32 residues = byte_table(as_bytes(wheel::residues));
    const table_32 steps = byte_table(packed_steps);
    // low in two parts that doubles hold exactly.
    const __m256d low_high = constant(static_cast<double>(low >> 32) * 0x1p32);
    const __m256d low_low = constant(static_cast<double>(low & 0xFFFFFFFF));
    const __m256d low_as_double = _mm256_add_pd(low_high, low_low);
    // Beyond 2^53 every distance is within the span.
    const __m256d span = constant(static_cast<double>(std::min<u64>(last - low, u64{1} << 53)));
    const __m256d two_52 = constant(0x1p52), one = constant(1);
    const __m256d zero = _mm256_setzero_pd();
    std::size_t i = 0;
    for (; i + 4 <= primes.size(); i += 4) {
        const __m128i wheel_p =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(primes.data() + i));
        const __m256d p = prime_of(wheel_p, residues);
        // low = q p + r with 0 <= r < p, exactly; the rounded quotient is off by one at most.
        __m256d q = _mm256_round_pd(_mm256_div_pd(low_as_double, p),
                                    _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        __m256d r = _mm256_add_pd(_mm256_fnmadd_pd(q, p, low_high), low_low);
        const __m256d below = _mm256_cmp_pd(r, zero, _CMP_LT_OQ);
        r = _mm256_add_pd(r, _mm256_and_pd(p, below));
        q = _mm256_sub_pd(q, _mm256_and_pd(one, below));
        // The first multiple from low on is low + d, its cofactor m the quotient rounded up.
        const __m256d past = _mm256_cmp_pd(r, zero, _CMP_NEQ_OQ);
        const __m256d d = _mm256_and_pd(past, _mm256_sub_pd(p, r));
        const __m256d m = _mm256_add_pd(q, _mm256_and_pd(one, past));
        const __m128i entry = look_up(steps, _mm256_cvttpd_epi32(divide_by_30(m).remainder));
        const __m256d distance =
            _mm256_fmadd_pd(_mm256_cvtepi32_pd(_mm_and_si128(entry, _mm_set1_epi32(15))), p, d);
        const __m256d strike = _mm256_fmadd_pd(divide_by_30(distance).quotient, constant(8),
                                               _mm256_cvtepi32_pd(_mm_srli_epi32(entry, 4)));
        // As integers: below 2^52, the low bits of their sum with 2^52. Those that do not strike
        // marked; the strikes are moved together afterwards, which keeps each group of four
        // independent of the ones before.
        const __m256i strike_bits = _mm256_sub_epi64(
            _mm256_castpd_si256(_mm256_add_pd(strike, two_52)), _mm256_castpd_si256(two_52));
        const __m256d beyond = _mm256_cmp_pd(distance, span, _CMP_GT_OQ);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(strikes + i),
                            _mm256_or_si256(strike_bits, _mm256_castpd_si256(beyond)));
    }
    std::size_t count = 0;
    for (std::size_t k = 0; k < i; ++k) {
        const u64 strike = strikes[k];
        kept[count] = primes[k];
        strikes[count] = strike;
        count += strike != first_strikes_loop::no_strike;
    }
    return first_strikes_loop::keep_striking(primes, i, low, last, kept, strikes, count);
}

ZORVANTELI_AVX2 std::size_t strike_candidates_avx2(std::span<const std::uint32_t> primes, u64 low,
                                                   u64 last, std::uint32_t* kept) {
    const first_strikes_loop::candidate_test test{low, last - low};
    const table_32 residues = byte_table(as_bytes(wheel::residues));
    const __m256d low_as_double = constant(test.low);
    const __m256d span_and_margin = constant(test.span_and_margin);
    const __m256d margin = constant(test.margin);
    std::size_t i = 0, count = 0;
    for (; i + 4 <= primes.size(); i += 4) {
        const __m128i wheel_p =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(primes.data() + i));
        const __m256d p = prime_of(wheel_p, residues);
        const __m256d q = _mm256_div_pd(low_as_double, p);
        const __m256d distance = _mm256_fnmadd_pd(_mm256_sub_pd(q, _mm256_floor_pd(q)), p, p);
        const __m256d may =
            _mm256_or_pd(_mm256_cmp_pd(distance, span_and_margin, _CMP_LE_OQ),
                         _mm256_cmp_pd(distance, _mm256_sub_pd(p, margin), _CMP_GE_OQ));
        const auto mask = static_cast<unsigned>(_mm256_movemask_pd(may));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(kept + count),
                         _mm_shuffle_epi8(wheel_p, _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                                       compressions[mask].data()))));
        count += static_cast<std::size_t>(__builtin_popcount(mask));
    }
    return first_strikes_loop::keep_candidates(primes, i, test, kept, count);
}

}  // namespace zorvanteli
