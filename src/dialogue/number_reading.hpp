// Reading one number the user typed, with the fallback to 1 when it is not a number.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string_view>

namespace zorvanteli {

// Reads an unsigned 64-bit number after any white space. On a conversion failure (no digits,
// a minus sign, a value above 2^64 - 1, the end of input) writes `conversion_message` to `out`
// and returns 1; the rest of the rejected line, up to 64 KiB of it, is then discarded unless
// input has ended, and its line break is left for the next read.
std::uint64_t read_number(std::istream& in, std::ostream& out, std::string_view conversion_message);

}  // namespace zorvanteli
