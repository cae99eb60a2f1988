// The process entry: the command line is answered at once, or decides between the dialogue and
// the run without one.
#include <cstdlib>
#include <iostream>
#include <string_view>
#include <vector>

#include "dialogue/dialogue.hpp"
#include "dialogue/instruction_limit.hpp"
#include "dialogue/listing_run.hpp"
#include "dialogue/options.hpp"
#include "platform/system.hpp"

int main(int argc, char* argv[]) {
    using namespace zorvanteli;
    if (const auto refused =
            apply_instruction_limit(std::getenv(instruction_limit_variable), std::cerr))
        return *refused;
    std::vector<std::string_view> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    const command_line line = read_command_line(arguments, built_for_windows);
    if (const auto status = answer_options(line, std::cout, std::cerr, built_for_windows))
        return *status;
    if (line.what == command_line::action::listing)
        return run_listing(line.start, line.count, line.settings);
    return run_dialogue(line.settings);
}
