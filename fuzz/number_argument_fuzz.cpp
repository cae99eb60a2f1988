// libFuzzer target for START and COUNT on the command line: any bytes a script can pass are read
// as one argument, and the result is checked against a plain model of the forms accepted.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dialogue/number_argument.hpp"

namespace {

__extension__ using u128 = unsigned __int128;
using zorvanteli::number_argument;

// Trapping rather than asserting: the check must stay in a build with NDEBUG.
void require(bool condition) {
    if (!condition) __builtin_trap();
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// A run of digits at `at`, its value, and whether it stayed at or below 2^64 + 1 (the model
// needs no more: any part beyond that is out of range whatever follows).
struct digits {
    std::size_t end;
    u128 value;
    bool small;
};
digits digits_at(std::string_view text, std::size_t at) {
    digits d{at, 0, true};
    for (; d.end < text.size() && is_digit(text[d.end]); ++d.end) {
        if (d.small) d.value = d.value * 10 + static_cast<unsigned>(text[d.end] - '0');
        if (d.value > (u128{1} << 64) + 1) d.small = false;
    }
    return d;
}

// base^exponent by squaring, for a base of 2 or more (10, or the base of A^B from 2 up); false
// once it passes 2^64 + 1.
bool power(u128 base, u128 exponent, u128& result) {
    const u128 limit = (u128{1} << 64) + 1;
    result = 1;
    while (exponent > 0) {
        if (exponent & 1) {
            if (base != 0 && result > limit / base) return false;
            result *= base;
        }
        exponent >>= 1;
        if (exponent > 0) {
            if (base > limit / base) return false;  // base is 2 or more here
            base *= base;
        }
    }
    return result <= limit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const number_argument read = zorvanteli::read_number_argument(text);
    using problem = number_argument::problem;
    if (read.trouble != problem::none) require(read.value == 0);

    // The shape: digits, then optionally e/E/^ and digits, then optionally +/- and digits.
    const digits base = digits_at(text, 0);
    if (base.end == 0) return require(read.trouble == problem::not_a_number), 0;
    std::size_t at = base.end;
    char form = 0;
    digits exponent{at, 0, true};
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E' || text[at] == '^')) {
        form = text[at] == '^' ? '^' : 'e';
        exponent = digits_at(text, at + 1);
        if (exponent.end == at + 1) return require(read.trouble == problem::not_a_number), 0;
        at = exponent.end;
    }
    char sign = 0;
    digits offset{at, 0, true};
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        sign = text[at];
        offset = digits_at(text, at + 1);
        if (offset.end == at + 1) return require(read.trouble == problem::not_a_number), 0;
        at = offset.end;
    }
    if (at != text.size()) return require(read.trouble == problem::not_a_number), 0;

    // The value, where every part is small enough to tell; a part too large is out of range
    // unless it is multiplied by 0 or raised from 0 or 1.
    u128 value = base.value;
    bool known = base.small;
    if (form == 'e') {
        u128 scale = 0;
        if (base.small && base.value == 0) {
            value = 0, known = true;
        } else {
            known = known && exponent.small && power(10, exponent.value, scale) &&
                    value <= ((u128{1} << 64) + 1) / scale;
            if (known) value *= scale;
        }
    } else if (form == '^') {
        if (exponent.small && exponent.value == 0) {
            value = 1, known = true;  // whatever the base, 0 included
        } else if (base.small && base.value <= 1) {
            known = true;  // 0 and 1 stay what they are, whatever the exponent
        } else {
            known = known && exponent.small && power(base.value, exponent.value, value);
        }
    }
    const u128 two_to_64 = u128{1} << 64;
    if (!known || value > two_to_64) return require(read.trouble == problem::out_of_range), 0;
    if (sign != 0) {
        if (!offset.small || offset.value >= two_to_64 || (sign == '-' && offset.value > value))
            return require(read.trouble == problem::out_of_range), 0;
        value = sign == '+' ? value + offset.value : value - offset.value;
    }
    if (value >= two_to_64) return require(read.trouble == problem::out_of_range), 0;
    require(read.trouble == problem::none && read.value == static_cast<std::uint64_t>(value));
    return 0;
}
