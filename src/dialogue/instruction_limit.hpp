// The environment variable that keeps the program within a level of instructions, so that one
// machine can measure how another kind of processor runs it.
#pragma once

#include <optional>
#include <ostream>

namespace zorvanteli {

inline constexpr const char* instruction_limit_variable = "ZORVANTELI_INSTRUCTIONS";

// Keeps the program within the level `value` names, the variable's value (null when it is not
// set). An unknown value is refused on `err`, naming those accepted, with exit status 2.
std::optional<int> apply_instruction_limit(const char* value, std::ostream& err);

}  // namespace zorvanteli
