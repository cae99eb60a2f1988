// The instruction sets this processor runs beyond plain x86-64, found out once at run time, for
// the sieve's kernels and the proof's arithmetic alike: one build runs on every processor and
// still uses the widest instructions where the processor and the system support them.
#pragma once

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

// The compiler's checks include whether the system saves the vector registers.
const processor_features& this_processor();

}  // namespace zorvanteli
