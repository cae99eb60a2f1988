// Asking the processor for its instruction sets, and keeping to a limit below them.
#include "platform/processor.hpp"

#include <array>

namespace zorvanteli {
namespace {

processor_features detect() {
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
}

const processor_features& detected() {
    static const processor_features features = detect();
    return features;
}

processor_features& in_use() {
    static processor_features features = detected();
    return features;
}

constexpr std::array<std::string_view, 4> level_names = {"portable", "avx2", "avx512", "ifma"};

}  // namespace

const processor_features& this_processor() {
    return in_use();
}

std::optional<instruction_level> instruction_level_named(std::string_view name) {
    for (std::size_t i = 0; i < level_names.size(); ++i)
        if (name == level_names[i]) return static_cast<instruction_level>(i);
    return std::nullopt;
}

std::string_view name_of(instruction_level level) {
    return level_names[static_cast<std::size_t>(level)];
}

void limit_instructions(instruction_level level) {
    const processor_features& f = detected();
    in_use() = {.avx2 = f.avx2 && level >= instruction_level::avx2,
                .avx512_bytes = f.avx512_bytes && level >= instruction_level::avx512,
                .avx512_ifma = f.avx512_ifma && level >= instruction_level::ifma};
}

instruction_level instruction_level_in_use() {
    const processor_features& f = this_processor();
    if (f.avx512_ifma) return instruction_level::ifma;
    if (f.avx512_bytes) return instruction_level::avx512;
    return f.avx2 ? instruction_level::avx2 : instruction_level::portable;
}

}  // namespace zorvanteli
