// Checks the environment variable that keeps the program within a level of instructions: unset,
// a level, and a value it refuses.
#include "dialogue/instruction_limit.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/processor.hpp"

namespace zorvanteli {

TEST(instruction_limit, levels_and_refusal) {
    std::ostringstream err;
    EXPECT_FALSE(apply_instruction_limit(nullptr, err));
    EXPECT_FALSE(apply_instruction_limit("portable", err));
    EXPECT_EQ(instruction_level_in_use(), instruction_level::portable);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(apply_instruction_limit("fast", err), 2);
    EXPECT_EQ(err.str(),
              "zorvanteli: ZORVANTELI_INSTRUCTIONS is 'fast'; it takes portable, avx2, avx512 or "
              "ifma\n");
    EXPECT_EQ(instruction_level_in_use(), instruction_level::portable);  // left as it was
    EXPECT_FALSE(apply_instruction_limit("ifma", err));
}

}  // namespace zorvanteli
