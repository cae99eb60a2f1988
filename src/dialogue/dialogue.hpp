// The whole run as the user meets it: banner, two questions, the listing, the closing prompt.
#pragma once

#include <iostream>

#include "dialogue/options.hpp"
#include "platform/system.hpp"

namespace zorvanteli {

void print_banner(std::ostream& out);

// Runs the dialogue once and returns the exit status: 0 when the result file holds the whole
// listing, 1 when it could not be created or completely written, or memory ran out. --output
// names the file in place of the time, --quiet keeps the primes off the console and --threads
// caps the threads; the dialogue is otherwise the same.
int run_dialogue(std::istream& in, std::ostream& out, std::ostream& err, system_seam& system,
                 const run_settings& settings = {});
int run_dialogue(const run_settings& settings = {});  // on the real console

}  // namespace zorvanteli
