// The listing's line format: a prime's decimal digits and a line break, written by adding each
// gap to the digits of the prime before.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zorvanteli {

// Keeps the decimal digits of the last number and adds the next gap to them, which is far
// cheaper than converting each number afresh; falls back to a full conversion on a carry out of
// the top digit or a large gap.
class ascending_decimal {
public:
    static constexpr std::size_t max_line = 21;  // 20 digits and the line break
    // Writes n's digits and a line break at `out` and returns the line's length. May write up to
    // 32 bytes at `out`. Each n must be larger than the one before.
    std::size_t write_line(std::uint64_t n, char* out) {
        const std::uint64_t gap = n - last_;
        // Nearly always the gap changes only the last four digits: one table copy.
        // text_ keeps stale low digits here: storing into it and reading it back whole at the
        // next line would stall on store forwarding.
        if (length_ >= 4 && gap < 10000 - low_digits_) {
            low_digits_ += static_cast<unsigned>(gap);
            last_ = n;
            std::memcpy(out, text_, sizeof text_);
            std::memcpy(out + length_ - 4, four_digits[low_digits_].data(), 4);
            return length_ + 1;
        }
        return write_line_slowly(n, out);
    }

private:
    static const std::array<std::array<char, 4>, 10000> four_digits;  // "0000" to "9999"
    std::size_t write_line_slowly(std::uint64_t n, char* out);
    void set(std::uint64_t n);
    std::uint64_t last_ = 0;
    std::size_t length_ = 0;   // digits in text_
    unsigned low_digits_ = 0;  // last_ % 10000, when last_ has at least four digits
    // The digits of last_ (but for the last four, which may be stale), a line break, zeros.
    char text_[32] = {};
};

}  // namespace zorvanteli
