// The process entry: an option is answered at once; without one, the dialogue is the program.
#include <cstdlib>
#include <iostream>
#include <string_view>
#include <vector>

#include "dialogue/dialogue.hpp"
#include "dialogue/instruction_limit.hpp"
#include "dialogue/options.hpp"
#include "platform/system.hpp"

int main(int argc, char* argv[]) {
    if (const auto refused = zorvanteli::apply_instruction_limit(
            std::getenv(zorvanteli::instruction_limit_variable), std::cerr))
        return *refused;
    std::vector<std::string_view> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    if (const auto status = zorvanteli::answer_options(arguments, std::cout, std::cerr,
                                                       zorvanteli::built_for_windows))
        return *status;
    return zorvanteli::run_dialogue();
}
