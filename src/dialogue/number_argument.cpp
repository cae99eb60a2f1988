// The arithmetic of a number argument, exact up to 2^64 and saturated beyond.
#include "dialogue/number_argument.hpp"

namespace zorvanteli {
namespace {

__extension__ using u128 = unsigned __int128;

// Anything above 2^64 is out of range however it goes on; a power may still be 2^64, for 2^64-1.
constexpr u128 two_to_64 = u128{1} << 64;
constexpr u128 beyond = two_to_64 + 1;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The decimal digits at the front of `text`, taken off it, their value held at `beyond` at most;
// false when there are none.
bool take_decimal(std::string_view& text, u128& value) {
    if (text.empty() || !is_digit(text.front())) return false;
    value = 0;
    while (!text.empty() && is_digit(text.front())) {
        value = value * 10 + static_cast<unsigned>(text.front() - '0');
        if (value > beyond) value = beyond;
        text.remove_prefix(1);
    }
    return true;
}

// `factor` times `base` to the `exponent`, held at `beyond`; the loop ends within 65 rounds
// once the base is above 1.
u128 times_power(u128 factor, u128 base, u128 exponent) {
    if (factor == 0 || base == 1 || exponent == 0) return factor;
    if (base == 0) return 0;
    for (; exponent > 0; --exponent) {
        if (factor > beyond / base) return beyond;
        factor *= base;
    }
    return factor < beyond ? factor : beyond;
}

}  // namespace

number_argument read_number_argument(std::string_view text) {
    constexpr number_argument not_a_number{0, number_argument::problem::not_a_number};
    constexpr number_argument out_of_range{0, number_argument::problem::out_of_range};
    u128 value = 0;
    if (!take_decimal(text, value)) return not_a_number;
    if (!text.empty() && (text.front() == 'e' || text.front() == 'E' || text.front() == '^')) {
        const bool decimal_exponent = text.front() != '^';
        text.remove_prefix(1);
        u128 exponent = 0;
        if (!take_decimal(text, exponent)) return not_a_number;
        value =
            decimal_exponent ? times_power(value, 10, exponent) : times_power(1, value, exponent);
    }
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        const bool add = text.front() == '+';
        text.remove_prefix(1);
        u128 offset = 0;
        if (!take_decimal(text, offset)) return not_a_number;
        if (!text.empty()) return not_a_number;
        if (value > two_to_64 || offset >= two_to_64 || (!add && offset > value))
            return out_of_range;
        value = add ? value + offset : value - offset;
    }
    if (!text.empty()) return not_a_number;
    if (value >= two_to_64) return out_of_range;
    return {static_cast<std::uint64_t>(value), number_argument::problem::none};
}

}  // namespace zorvanteli
