// The pre-sieve's kernel on AVX2: eight patterns ANDed 32 bytes at a time.
#include <immintrin.h>

#include <cstdint>

#include "sieve/kernels.hpp"

namespace zorvanteli {
namespace {

using u8 = std::uint8_t;

#define ZORVANTELI_LOAD(p) _mm256_loadu_si256(reinterpret_cast<const __m256i*>((p) + x))

template <bool accumulate>
__attribute__((target("avx2"))) void and_eight(u8* dst, const u8* const* src, std::size_t n) {
    const u8 *s0 = src[0], *s1 = src[1], *s2 = src[2], *s3 = src[3], *s4 = src[4], *s5 = src[5],
             *s6 = src[6], *s7 = src[7];
    std::size_t x = 0;
    for (; x + 32 <= n; x += 32) {
        const __m256i a = _mm256_and_si256(ZORVANTELI_LOAD(s0), ZORVANTELI_LOAD(s1));
        const __m256i b = _mm256_and_si256(ZORVANTELI_LOAD(s2), ZORVANTELI_LOAD(s3));
        const __m256i c = _mm256_and_si256(ZORVANTELI_LOAD(s4), ZORVANTELI_LOAD(s5));
        __m256i d = _mm256_and_si256(ZORVANTELI_LOAD(s6), ZORVANTELI_LOAD(s7));
        if (accumulate) d = _mm256_and_si256(d, ZORVANTELI_LOAD(dst));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x),
                            _mm256_and_si256(_mm256_and_si256(a, b), _mm256_and_si256(c, d)));
    }
    for (; x < n; ++x) {  // the last bytes, one at a time
        u8 v = accumulate ? dst[x] : u8{0xFF};
        for (std::size_t i = 0; i < 8; ++i) v &= src[i][x];
        dst[x] = v;
    }
}

#undef ZORVANTELI_LOAD

}  // namespace

void and_eight_avx2(u8* dst, const u8* const* src, std::size_t n, bool accumulate) {
    if (accumulate)
        and_eight<true>(dst, src, n);
    else
        and_eight<false>(dst, src, n);
}

}  // namespace zorvanteli
