// The instructions the sieve's kernels run on: each kernel with a portable form, and forms for
// wider instructions in sibling files, chosen by this one switch.
#pragma once

#include <vector>

#include "platform/processor.hpp"

namespace zorvanteli {

enum class instruction_set {
    portable,  // plain C++; what every processor runs, and what the tests compare against
    avx2,      // AVX2, BMI and POPCNT: 32-byte ANDs, a bit count and a trailing-zero count a word
    avx512,    // AVX-512 F, BW and VBMI2: masked byte loads and byte compression
};

// The fastest set this processor runs.
inline instruction_set best_instruction_set() {
    const processor_features& f = this_processor();
    if (f.avx512_bytes) return instruction_set::avx512;
    return f.avx2 ? instruction_set::avx2 : instruction_set::portable;
}

// Every set this processor runs, the portable one first: what the tests compare.
inline std::vector<instruction_set> available_instruction_sets() {
    std::vector<instruction_set> sets = {instruction_set::portable};
    if (this_processor().avx2) sets.push_back(instruction_set::avx2);
    if (this_processor().avx512_bytes) sets.push_back(instruction_set::avx512);
    return sets;
}

}  // namespace zorvanteli
