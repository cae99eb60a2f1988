// The pre-sieve's kernel on AVX-512: eight patterns ANDed 64 bytes at a time, with three-input
// logic, and the last bytes through a mask.
#include <immintrin.h>

#include <cstdint>

#include "sieve/kernels.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
using u8 = std::uint8_t;

template <bool accumulate>
__attribute__((target("avx512f,avx512bw"))) void and_eight(u8* dst, const u8* const* src,
                                                           std::size_t n) {
    const u8 *s0 = src[0], *s1 = src[1], *s2 = src[2], *s3 = src[3], *s4 = src[4], *s5 = src[5],
             *s6 = src[6], *s7 = src[7];
    std::size_t x = 0;
    for (; x + 64 <= n; x += 64) {
        const __m512i a =
            _mm512_ternarylogic_epi64(_mm512_loadu_si512(s0 + x), _mm512_loadu_si512(s1 + x),
                                      _mm512_loadu_si512(s2 + x), 0x80);
        const __m512i b =
            _mm512_ternarylogic_epi64(_mm512_loadu_si512(s3 + x), _mm512_loadu_si512(s4 + x),
                                      _mm512_loadu_si512(s5 + x), 0x80);
        __m512i c = _mm512_and_si512(_mm512_loadu_si512(s6 + x), _mm512_loadu_si512(s7 + x));
        if (accumulate) c = _mm512_and_si512(c, _mm512_loadu_si512(dst + x));
        _mm512_storeu_si512(dst + x, _mm512_ternarylogic_epi64(a, b, c, 0x80));
    }
    if (x < n) {  // the last bytes, through a mask, without touching those after them
        const __mmask64 m = ~u64{0} >> (64 - (n - x));
#define ZORVANTELI_LOAD(p) _mm512_maskz_loadu_epi8(m, (p) + x)
        const __m512i a = _mm512_ternarylogic_epi64(ZORVANTELI_LOAD(s0), ZORVANTELI_LOAD(s1),
                                                    ZORVANTELI_LOAD(s2), 0x80);
        const __m512i b = _mm512_ternarylogic_epi64(ZORVANTELI_LOAD(s3), ZORVANTELI_LOAD(s4),
                                                    ZORVANTELI_LOAD(s5), 0x80);
        __m512i c = _mm512_and_si512(ZORVANTELI_LOAD(s6), ZORVANTELI_LOAD(s7));
        if (accumulate) c = _mm512_and_si512(c, ZORVANTELI_LOAD(dst));
#undef ZORVANTELI_LOAD
        _mm512_mask_storeu_epi8(dst + x, m, _mm512_ternarylogic_epi64(a, b, c, 0x80));
    }
}

}  // namespace

void and_eight_avx512(u8* dst, const u8* const* src, std::size_t n, bool accumulate) {
    if (accumulate)
        and_eight<true>(dst, src, n);
    else
        and_eight<false>(dst, src, n);
}

}  // namespace zorvanteli
