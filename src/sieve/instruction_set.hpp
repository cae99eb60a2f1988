// The instructions the sieve's kernels run on: each kernel with a portable form, and an AVX-512
// form in a sibling file, chosen by this one switch.
#pragma once

#include "platform/processor.hpp"

namespace zorvanteli {

enum class instruction_set {
    portable,  // plain C++; what every processor runs, and what the tests compare against
    avx512,    // AVX-512 F, BW and VBMI2: masked byte loads and byte compression
};

// The fastest set this processor runs.
inline instruction_set best_instruction_set() {
    return this_processor().avx512_bytes ? instruction_set::avx512 : instruction_set::portable;
}

}  // namespace zorvanteli
