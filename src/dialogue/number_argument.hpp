// Reading START and COUNT from the command line: decimal, or the exact powers that scripts write.
#pragma once

#include <cstdint>
#include <string_view>

namespace zorvanteli {

struct number_argument {
    enum class problem { none, not_a_number, out_of_range };
    std::uint64_t value = 0;
    problem trouble = problem::none;
    bool operator==(const number_argument&) const = default;
};

// Reads the whole of `text` as a number from 0 to 2^64 - 1: decimal digits, or a power written
// as `AeB` (A times 10 to the B) or `A^B`, where the power may be up to 2^64; either optionally
// followed by `+` or `-` and decimal digits, as in 2^64-1. No sign in front, no spaces, no
// fraction: a script's typo must not start a search somewhere else.
number_argument read_number_argument(std::string_view text);

}  // namespace zorvanteli
