// Pre-sieving by patterns. The multiples of a prime p that are prime to 30 repeat every p bytes,
// so a few primes together repeat every product of theirs. Sixteen such patterns of at most 16 KiB
// each cover the primes 7 to 163; ANDing them into a segment costs a few loads per 64 bytes.
#include "search/presieve.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "search/wheel.hpp"

#if ZORVANTELI_X86_KERNELS
#include <immintrin.h>
#endif

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
using u8 = std::uint8_t;

constexpr std::size_t pattern_count = 16;
// Products at most 16 KiB, so that all patterns together take a fifth of the level-2 cache.
constexpr std::array<std::array<u8, 3>, pattern_count> pattern_primes = {{{7, 41, 43},
                                                                          {11, 17, 1},
                                                                          {13, 31, 37},
                                                                          {19, 23, 29},
                                                                          {47, 53, 1},
                                                                          {59, 61, 1},
                                                                          {67, 71, 1},
                                                                          {73, 79, 1},
                                                                          {83, 127, 1},
                                                                          {89, 131, 1},
                                                                          {97, 163, 1},
                                                                          {101, 137, 1},
                                                                          {103, 157, 1},
                                                                          {107, 151, 1},
                                                                          {109, 149, 1},
                                                                          {113, 139, 1}}};

// Bytes are ANDed in runs no longer than this; each pattern is stored this much longer than its
// period, so that a run may start anywhere in the period and still read straight on.
constexpr std::size_t run_bytes = 2048;

struct pattern_set {
    std::array<u64, pattern_count> period{};
    std::array<u64, pattern_count> run_step{};  // run_bytes modulo the period
    std::array<std::size_t, pattern_count> begin{};
    std::vector<u8> storage;

    pattern_set() {
        std::size_t total = 0;
        for (std::size_t i = 0; i < pattern_count; ++i) {
            period[i] = 1;
            for (u8 p : pattern_primes[i]) period[i] *= p;
            run_step[i] = run_bytes % period[i];
            begin[i] = total;
            total += period[i] + run_bytes;
        }
        // Bit k of byte i is the number 30i + residues[k]; it is a multiple of p for every p-th
        // byte from the first i where it is.
        storage.assign(total, 0xFF);
        for (std::size_t i = 0; i < pattern_count; ++i) {
            const u64 length = period[i] + run_bytes;
            for (u64 p : pattern_primes[i]) {
                if (p == 1) continue;
                for (unsigned k = 0; k < 8; ++k) {
                    u64 first = 0;
                    while ((wheel::numbers_per_byte * first + wheel::residues[k]) % p != 0) ++first;
                    for (u64 byte = first; byte < length; byte += p)
                        storage[begin[i] + byte] &= static_cast<u8>(~(1u << k));
                }
            }
        }
    }
};

const pattern_set& patterns() {
    static const pattern_set set;
    return set;
}

// dst[x] = src[0][x] & ... & src[7][x] (also & dst[x] when `accumulate`), for x < n.
template <bool accumulate>
void and_eight_portable(u8* dst, const u8* const* src, std::size_t n) {
    std::size_t x = 0;
    for (; x + 8 <= n; x += 8) {
        u64 v = accumulate ? 0 : ~u64{0}, w;
        if (accumulate) std::memcpy(&v, dst + x, 8);
        for (std::size_t i = 0; i < 8; ++i) {
            std::memcpy(&w, src[i] + x, 8);
            v &= w;
        }
        std::memcpy(dst + x, &v, 8);
    }
    for (; x < n; ++x) {
        u8 v = accumulate ? dst[x] : u8{0xFF};
        for (std::size_t i = 0; i < 8; ++i) v &= src[i][x];
        dst[x] = v;
    }
}

#if ZORVANTELI_X86_KERNELS
template <bool accumulate>
__attribute__((target("avx512f,avx512bw"))) void and_eight_avx512(u8* dst, const u8* const* src,
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
#endif

}  // namespace

void presieve(u8* bytes, std::size_t count, u64 first_byte, instruction_set set) {
    const pattern_set& p = patterns();
    std::array<u64, pattern_count> offset{};
    for (std::size_t i = 0; i < pattern_count; ++i) offset[i] = first_byte % p.period[i];
    for (std::size_t done = 0; done < count; done += run_bytes) {
        const std::size_t n = std::min(run_bytes, count - done);
        std::array<const u8*, pattern_count> src{};
        for (std::size_t i = 0; i < pattern_count; ++i) {
            src[i] = p.storage.data() + p.begin[i] + offset[i];
            // A whole run on: a subtraction, not a division.
            offset[i] += p.run_step[i];
            if (offset[i] >= p.period[i]) offset[i] -= p.period[i];
        }
#if ZORVANTELI_X86_KERNELS
        if (set == instruction_set::avx512) {
            and_eight_avx512<false>(bytes + done, src.data(), n);
            and_eight_avx512<true>(bytes + done, src.data() + 8, n);
            continue;
        }
#endif
        and_eight_portable<false>(bytes + done, src.data(), n);
        and_eight_portable<true>(bytes + done, src.data() + 8, n);
    }
    (void)set;
}

}  // namespace zorvanteli
