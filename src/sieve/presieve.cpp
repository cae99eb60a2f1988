// Pre-sieving by patterns. The multiples of a prime p that are prime to 30 repeat every p bytes,
// so a few primes together repeat every product of theirs. Sixteen such patterns of at most 16 KiB
// each cover the primes 7 to 163; ANDing them into a segment costs a few loads per 64 bytes.
#include "sieve/presieve.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "sieve/kernels.hpp"
#include "sieve/wheel.hpp"

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
    std::array<std::size_t, pattern_count> period{};
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
            const std::size_t length = period[i] + run_bytes;
            for (std::size_t p : pattern_primes[i]) {
                if (p == 1) continue;
                for (unsigned k = 0; k < 8; ++k) {
                    std::size_t first = 0;
                    while ((wheel::numbers_per_byte * first + wheel::residues[k]) % p != 0) ++first;
                    for (std::size_t byte = first; byte < length; byte += p)
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
        if (set == instruction_set::avx512) {
            and_eight_avx512(bytes + done, src.data(), n, false);
            and_eight_avx512(bytes + done, src.data() + 8, n, true);
            continue;
        }
        if (set == instruction_set::avx2) {
            and_eight_avx2(bytes + done, src.data(), n, false);
            and_eight_avx2(bytes + done, src.data() + 8, n, true);
            continue;
        }
        and_eight_portable<false>(bytes + done, src.data(), n);
        and_eight_portable<true>(bytes + done, src.data() + 8, n);
    }
}

}  // namespace zorvanteli
