// The instruction sets this processor runs beyond plain x86-64, found out once at run time, for
// the sieve's kernels and the proof's arithmetic alike: one build runs on every processor and
// still uses the widest instructions where the processor and the system support them. A limit
// keeps the program below what the processor runs, so that one machine can measure another kind.
#pragma once

#include <optional>
#include <string_view>

// Whether the compiler can build kernels for x86-64 instruction sets through function
// attributes, which keeps the rest of each file portable.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#define ZORVANTELI_X86_KERNELS 1
#else
#define ZORVANTELI_X86_KERNELS 0
#endif

namespace zorvanteli {

struct processor_features {
    bool avx2 = false;          // AVX2, BMI1, BMI2 and POPCNT: 32-byte vectors, bit counting
    bool avx512_bytes = false;  // AVX-512 F, BW and VBMI2: masked byte loads, byte compression
    bool avx512_ifma = false;   // AVX-512 F, CD, DQ and IFMA: 52-bit multiplications
};

// What the program uses: what the processor runs, within the limit. The compiler's checks
// include whether the system saves the vector registers.
const processor_features& this_processor();

// The levels the program can be kept within, each with those below it.
enum class instruction_level {
    portable,  // plain C++
    avx2,      // and AVX2 with BMI and POPCNT
    avx512,    // and AVX-512 F, BW and VBMI2
    ifma,      // and AVX-512 IFMA
};

// "portable", "avx2", "avx512" or "ifma", and back; nothing for any other name.
std::optional<instruction_level> instruction_level_named(std::string_view name);
std::string_view name_of(instruction_level level);

// From now on, uses nothing above `level`, even where the processor runs more. Before any
// search: the sieve and the proof read the features as they start.
void limit_instructions(instruction_level level);

// The highest level in use.
instruction_level instruction_level_in_use();

}  // namespace zorvanteli
