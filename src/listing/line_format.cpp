// The incremental decimal formatting of ascending numbers.
#include "listing/line_format.hpp"

#include <charconv>

namespace zorvanteli {

// Built by the compiler, as constinit demands: built at start-up, it could be a 40 KB value on
// a stack that may be no larger.
constinit const std::array<std::array<char, 4>, 10000> ascending_decimal::four_digits = [] {
    std::array<std::array<char, 4>, 10000> table{};
    for (unsigned i = 0; i < 10000; ++i)
        table[i] = {static_cast<char>('0' + i / 1000), static_cast<char>('0' + i / 100 % 10),
                    static_cast<char>('0' + i / 10 % 10), static_cast<char>('0' + i % 10)};
    return table;
}();

void ascending_decimal::set(std::uint64_t n) {
    std::memset(text_, '0', sizeof text_);
    const auto result = std::to_chars(text_, text_ + 20, n);
    length_ = static_cast<std::size_t>(result.ptr - text_);
    text_[length_] = '\n';
    last_ = n;
    low_digits_ = static_cast<unsigned>(n % 10000);
}

std::size_t ascending_decimal::write_line_slowly(std::uint64_t n, char* out) {
    if (length_ >= 4) std::memcpy(text_ + length_ - 4, four_digits[low_digits_].data(), 4);
    std::uint64_t gap = n - last_;
    // Gaps between consecutive 64-bit primes stay below 1600; anything larger is a first number.
    if (length_ == 0 || gap >= 100000) {
        set(n);
    } else {
        std::size_t i = length_;
        unsigned carry = 0;
        while (gap != 0 || carry != 0) {
            if (i == 0) {  // one more digit: rare, so convert afresh
                set(n);
                std::memcpy(out, text_, sizeof text_);
                return length_ + 1;
            }
            --i;
            const unsigned digit =
                static_cast<unsigned>(text_[i] - '0') + static_cast<unsigned>(gap % 10) + carry;
            gap /= 10;
            carry = digit >= 10 ? 1 : 0;
            text_[i] = static_cast<char>('0' + digit - 10 * carry);
        }
        last_ = n;
        low_digits_ = static_cast<unsigned>(n % 10000);
    }
    std::memcpy(out, text_, sizeof text_);
    return length_ + 1;
}

}  // namespace zorvanteli
