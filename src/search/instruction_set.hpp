// The vector instructions the sieve's inner loops may use, found out once at run time: one build
// runs on every x86-64 and still uses AVX-512 where the processor and the system support it.
#pragma once

namespace zorvanteli {

enum class instruction_set {
    portable,  // plain C++; what every processor runs, and what the tests compare against
    avx512,    // AVX-512 F, BW and VBMI2: masked byte loads and byte compression
};

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define ZORVANTELI_X86_KERNELS 1
#else
#define ZORVANTELI_X86_KERNELS 0
#endif

// The fastest set this processor runs.
inline instruction_set best_instruction_set() {
#if ZORVANTELI_X86_KERNELS
    // The compiler's checks include whether the system saves the vector registers.
    static const bool avx512 = (__builtin_cpu_init(), __builtin_cpu_supports("avx512f")) &&
                               __builtin_cpu_supports("avx512bw") &&
                               __builtin_cpu_supports("avx512vbmi2");
    if (avx512) return instruction_set::avx512;
#endif
    return instruction_set::portable;
}

}  // namespace zorvanteli
