// The arithmetic of a number argument, exact up to 2^64 and saturated beyond, in 64 bits: 32-bit
// processors have no wider integers.
#include "dialogue/number_argument.hpp"

#include <bit>
#include <limits>

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
constexpr u64 largest = std::numeric_limits<u64>::max();

// A number as read so far: below 2^64 and exact, or 2^64 itself, which a power may be, for
// 2^64-1, or beyond it, where it is out of range however it goes on.
struct reading {
    enum class size { exact, two_to_64, beyond };
    u64 value = 0;
    size how = size::exact;
    bool is(u64 n) const { return how == size::exact && value == n; }
};
constexpr reading two_to_64{0, reading::size::two_to_64};
constexpr reading beyond{0, reading::size::beyond};

// a * b, held at beyond.
reading times(reading a, reading b) {
    if (a.is(0) || b.is(0)) return {};
    if (a.is(1)) return b;
    if (b.is(1)) return a;
    if (a.how != reading::size::exact || b.how != reading::size::exact) return beyond;
    if (a.value <= largest / b.value) return {a.value * b.value};
    // Above 2^64 - 1: 2^64 itself only as a product of powers of two.
    const bool powers_of_two = std::has_single_bit(a.value) && std::has_single_bit(b.value);
    return powers_of_two && std::countr_zero(a.value) + std::countr_zero(b.value) == 64 ? two_to_64
                                                                                        : beyond;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The decimal digits at the front of `text`, taken off it; false when there are none.
bool take_decimal(std::string_view& text, reading& number) {
    if (text.empty() || !is_digit(text.front())) return false;
    number = {};
    while (!text.empty() && is_digit(text.front())) {
        const auto digit = static_cast<u64>(text.front() - '0');
        if (number.how == reading::size::exact && number.value <= (largest - digit) / 10)
            number.value = number.value * 10 + digit;
        else if (number.how == reading::size::exact && number.value == largest / 10 && digit == 6)
            number = two_to_64;  // 18446744073709551616
        else
            number = beyond;
        text.remove_prefix(1);
    }
    return true;
}

// `factor` times `base` to the `exponent`, held at beyond; the loop ends within 65 rounds once
// the base is above 1.
reading times_power(reading factor, reading base, reading exponent) {
    if (factor.is(0) || base.is(1) || exponent.is(0)) return factor;
    if (base.is(0)) return {};
    for (; !exponent.is(0); --exponent.value) {
        factor = times(factor, base);
        if (factor.how == reading::size::beyond) return beyond;
        if (exponent.how != reading::size::exact) return beyond;  // more rounds than 64
    }
    return factor;
}

}  // namespace

number_argument read_number_argument(std::string_view text) {
    constexpr number_argument not_a_number{0, number_argument::problem::not_a_number};
    constexpr number_argument out_of_range{0, number_argument::problem::out_of_range};
    reading value;
    if (!take_decimal(text, value)) return not_a_number;
    if (!text.empty() && (text.front() == 'e' || text.front() == 'E' || text.front() == '^')) {
        const bool decimal_exponent = text.front() != '^';
        text.remove_prefix(1);
        reading exponent;
        if (!take_decimal(text, exponent)) return not_a_number;
        value = decimal_exponent ? times_power(value, {10}, exponent)
                                 : times_power({1}, value, exponent);
    }
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        const bool add = text.front() == '+';
        text.remove_prefix(1);
        reading offset;
        if (!take_decimal(text, offset)) return not_a_number;
        if (!text.empty()) return not_a_number;
        if (value.how == reading::size::beyond || offset.how != reading::size::exact)
            return out_of_range;
        if (value.how == reading::size::two_to_64) {  // 2^64 less something at least 1
            if (add || offset.value == 0) return out_of_range;
            return {largest - (offset.value - 1), number_argument::problem::none};
        }
        if (add ? offset.value > largest - value.value : offset.value > value.value)
            return out_of_range;
        value.value = add ? value.value + offset.value : value.value - offset.value;
    }
    if (!text.empty()) return not_a_number;
    if (value.how != reading::size::exact) return out_of_range;
    return {value.value, number_argument::problem::none};
}

}  // namespace zorvanteli
