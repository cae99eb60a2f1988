// Reading the instruction level the user asked for.
#include "dialogue/instruction_limit.hpp"

#include "platform/processor.hpp"

namespace zorvanteli {

std::optional<int> apply_instruction_limit(const char* value, std::ostream& err) {
    if (value == nullptr) return std::nullopt;
    if (const std::optional<instruction_level> level = instruction_level_named(value)) {
        limit_instructions(*level);
        return std::nullopt;
    }
    err << "zorvanteli: " << instruction_limit_variable << " is '" << value
        << "'; it takes portable, avx2, avx512 or ifma\n"
        << std::flush;
    return 2;
}

}  // namespace zorvanteli
