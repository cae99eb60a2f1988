// The command line, as console tools have it: options in any order, GNU style, before or after
// START and COUNT; --help and --version answer at once; anything else wrong is refused.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "search/plan.hpp"

namespace zorvanteli {

// What the options ask of a run, with a dialogue or without.
struct run_settings {
    std::optional<std::string> output =
        {};                // --output: the file, replaced once the listing is done
    bool quiet = false;    // --quiet: no primes on standard output
    unsigned threads = 0;  // --threads: at most this many; 0 for no limit
    // What the search plan weighs: measured on this machine where empty; fixed in tests, so that
    // they take the same plan on every host and in every build.
    std::optional<plan_costs> costs = {};
    bool operator==(const run_settings&) const = default;
};

struct command_line {
    enum class action { dialogue, listing, help, version, refused };
    action what = action::dialogue;
    run_settings settings = {};
    std::uint64_t start = 0, count = 0;  // for action::listing
    std::string problem = {};            // for action::refused: what is wrong, and where
    bool operator==(const command_line&) const = default;
};

// Reads the arguments after the program's name. Options are read in order, as GNU's getopt does:
// --help or --version answers wherever it stands, unless a wrong option comes before it. Short
// options may be bundled (-qo FILE), values attached (-t4, --threads=4), long options shortened
// while unambiguous, and "--" ends the options. `windows` also takes "/?" for --help.
command_line read_command_line(std::span<const std::string_view> arguments, bool windows);

// Answers --help or --version on `out` (status 0, or 1 if `out` could not take it) or refuses on
// `err` (status 2); returns nothing when there is a run to do.
std::optional<int> answer_options(const command_line& line, std::ostream& out, std::ostream& err,
                                  bool windows);

}  // namespace zorvanteli
