// Reading survivors on AVX-512: the values of a word's set bits gathered by one byte
// compression, then widened to numbers eight at a time.
#include <immintrin.h>

#include <array>
#include <cstdint>

#include "sieve/kernels.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;

__attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt"))) survivors_taken
collect_survivors_avx512(const u64* words, std::size_t count, u64 low, u64* out, std::size_t room) {
    const __m512i values = _mm512_loadu_si512(wheel::value_of_bit.data());
    const __m512i word_step = _mm512_set1_epi64(8 * wheel::numbers_per_byte);
    __m512i base = _mm512_set1_epi64(static_cast<long long>(low));
    survivors_taken taken;
    for (; taken.words < count && room - taken.numbers >= 64; ++taken.words) {
        const u64 w = words[taken.words];
        const __m512i packed = _mm512_maskz_compress_epi8(w, values);
        // The masked forms: GCC 12 warns of its own placeholder in the unmasked ones.
        const __m128i first = _mm512_maskz_extracti32x4_epi32(0xF, packed, 0);
        u64* o = out + taken.numbers;
        // Up to 16 numbers, the common case above the smallest numbers, without a branch.
        _mm512_storeu_si512(o, _mm512_add_epi64(base, _mm512_maskz_cvtepu8_epi64(0xFF, first)));
        _mm512_storeu_si512(o + 8, _mm512_add_epi64(base, _mm512_maskz_cvtepu8_epi64(
                                                              0xFF, _mm_srli_si128(first, 8))));
        const auto n = static_cast<std::size_t>(_mm_popcnt_u64(w));
        if (n > 16) {
            alignas(64) std::array<std::uint8_t, 64> bytes;
            _mm512_store_si512(bytes.data(), packed);
            for (std::size_t g = 16; g < n; g += 8) {
                const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&bytes[g]));
                _mm512_storeu_si512(
                    o + g, _mm512_add_epi64(base, _mm512_maskz_cvtepu8_epi64(0xFF, eight)));
            }
        }
        taken.numbers += n;
        base = _mm512_add_epi64(base, word_step);
    }
    return taken;
}

// The positions themselves are the bytes 0 to 63: compressed by the word and widened to 32 bits
// sixteen at a time.
__attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt"))) survivors_taken
collect_on_the_wheel_avx512(const u64* words, std::size_t count, std::uint32_t first,
                            std::uint32_t* out, std::size_t room) {
    alignas(64) static constexpr auto positions = [] {
        std::array<std::uint8_t, 64> p{};
        for (unsigned b = 0; b < 64; ++b) p[b] = static_cast<std::uint8_t>(b);
        return p;
    }();
    const __m512i iota = _mm512_load_si512(positions.data());
    const __m512i word_step = _mm512_set1_epi32(64);
    __m512i base = _mm512_set1_epi32(static_cast<int>(first));
    survivors_taken taken;
    for (; taken.words < count && room - taken.numbers >= 64; ++taken.words) {
        const u64 w = words[taken.words];
        const __m512i packed = _mm512_maskz_compress_epi8(w, iota);
        std::uint32_t* o = out + taken.numbers;
        // Sixteen without a branch: a word below 2^32 rarely holds more primes.
        _mm512_storeu_si512(
            o,
            _mm512_add_epi32(base, _mm512_maskz_cvtepu8_epi32(
                                       0xFFFF, _mm512_maskz_extracti32x4_epi32(0xF, packed, 0))));
        const auto n = static_cast<std::size_t>(_mm_popcnt_u64(w));
        if (n > 16) {
            alignas(64) std::array<std::uint8_t, 64> bytes;
            _mm512_store_si512(bytes.data(), packed);
            for (std::size_t g = 16; g < n; g += 16) {
                const __m128i sixteen = _mm_load_si128(reinterpret_cast<const __m128i*>(&bytes[g]));
                _mm512_storeu_si512(
                    o + g, _mm512_add_epi32(base, _mm512_maskz_cvtepu8_epi32(0xFFFF, sixteen)));
            }
        }
        taken.numbers += n;
        base = _mm512_add_epi32(base, word_step);
    }
    return taken;
}

}  // namespace zorvanteli
