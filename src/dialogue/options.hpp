// The command line, as console tools have it: --help and --version answer at once, anything else
// is refused, and with no arguments the dialogue runs.
#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string_view>

namespace zorvanteli {

// Answers the arguments after the program's name. Returns nothing when there are none: the
// dialogue runs. Otherwise the first argument decides, as with other console tools: --help or
// --version writes its text to `out` and returns 0, or 1 if `out` could not take it; anything
// else is refused on `err` with status 2. `windows` also takes "/?" for --help.
std::optional<int> answer_options(std::span<const std::string_view> arguments, std::ostream& out,
                                  std::ostream& err, bool windows);

}  // namespace zorvanteli
