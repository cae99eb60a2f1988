// Turning bits into numbers without a mispredicted branch per number: each word's numbers are
// written in unrolled groups of eight, and the count of its set bits moves the output on.
#include "sieve/survivors.hpp"

#include <array>
#include <bit>

#include "sieve/avx512_kernels.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;

// With an entry for bit 64: std::countr_zero of an empty word, which the unrolled loop reads.
constexpr auto values_with_end = [] {
    std::array<std::uint8_t, 65> v{};
    for (unsigned b = 0; b < 64; ++b) v[b] = wheel::value_of_bit[b];
    return v;
}();

constexpr u64 numbers_per_word = 8 * wheel::numbers_per_byte;

survivors_taken collect_portable(const u64* words, std::size_t count, u64 low, u64* out,
                                 std::size_t room) {
    survivors_taken taken;
    for (; taken.words < count && room - taken.numbers >= 64; ++taken.words) {
        u64 w = words[taken.words];
        if (w == 0) continue;
        const u64 base = low + numbers_per_word * taken.words;
        u64* o = out + taken.numbers;
        taken.numbers += static_cast<std::size_t>(std::popcount(w));
        do {
            for (int k = 0; k < 8; ++k) {
                o[k] = base + values_with_end[static_cast<unsigned>(std::countr_zero(w))];
                w &= w - 1;
            }
            o += 8;
        } while (w != 0);
    }
    return taken;
}

}  // namespace

survivors_taken collect_survivors(const u64* words, std::size_t count, u64 low, u64* out,
                                  std::size_t room, instruction_set set) {
#if ZORVANTELI_X86_KERNELS
    if (set == instruction_set::avx512)
        return collect_survivors_avx512(words, count, low, out, room);
#endif
    (void)set;
    return collect_portable(words, count, low, out, room);
}

}  // namespace zorvanteli
