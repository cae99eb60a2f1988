// Checks the instruction levels by name and the limit that keeps the program below what the
// processor runs, whatever this processor runs.
#include "platform/processor.hpp"

#include <gtest/gtest.h>

namespace zorvanteli {

TEST(processor, levels_by_name) {
    for (const instruction_level level : {instruction_level::portable, instruction_level::avx2,
                                          instruction_level::avx512, instruction_level::ifma})
        EXPECT_EQ(instruction_level_named(name_of(level)), level);
    EXPECT_EQ(name_of(instruction_level::avx512), "avx512");
    for (const char* unknown : {"", "AVX2", "sse2", "avx512ifma", "avx2 "})
        EXPECT_FALSE(instruction_level_named(unknown)) << unknown;
}

// Each limit leaves the program at most that level; the highest gives back all the processor
// runs.
TEST(processor, limit_keeps_below_a_level) {
    const processor_features all = this_processor();
    limit_instructions(instruction_level::portable);
    EXPECT_FALSE(this_processor().avx2 || this_processor().avx512_bytes ||
                 this_processor().avx512_ifma);
    EXPECT_EQ(instruction_level_in_use(), instruction_level::portable);
    limit_instructions(instruction_level::avx2);
    EXPECT_EQ(this_processor().avx2, all.avx2);
    EXPECT_FALSE(this_processor().avx512_bytes || this_processor().avx512_ifma);
    EXPECT_LE(instruction_level_in_use(), instruction_level::avx2);
    limit_instructions(instruction_level::ifma);
    EXPECT_EQ(this_processor().avx2, all.avx2);
    EXPECT_EQ(this_processor().avx512_bytes, all.avx512_bytes);
    EXPECT_EQ(this_processor().avx512_ifma, all.avx512_ifma);
}

}  // namespace zorvanteli
