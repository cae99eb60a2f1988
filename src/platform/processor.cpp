// Asking the processor for its instruction sets.
#include "platform/processor.hpp"

namespace zorvanteli {

const processor_features& this_processor() {
    static const processor_features features = [] {
        processor_features f;
#if ZORVANTELI_X86_KERNELS
        __builtin_cpu_init();
        f.avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                 __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
        f.avx512_bytes = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                         __builtin_cpu_supports("avx512vbmi2");
        f.avx512_ifma = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512cd") &&
                        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512ifma");
#endif
        return f;
    }();
    return features;
}

}  // namespace zorvanteli
