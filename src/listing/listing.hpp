// Turns found primes into the lines of the listing and hands them on in large blocks, each
// block to the result file before the console, so the file is never behind the screen.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>

#include "search/search.hpp"

namespace zorvanteli {

// One destination of the listing's bytes.
class line_sink {
public:
    virtual ~line_sink() = default;
    // `bytes` holds `lines` whole lines.
    virtual void write(std::string_view bytes, std::uint64_t lines) = 0;
};

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

class listing_writer final : public prime_sink {
public:
    struct options {
        std::size_t block_size = std::size_t{1} << 20;
        // Longest time a found prime may wait in the block before it is shown.
        std::chrono::milliseconds max_delay{100};
        // Asked after every batch; true stops the search.
        std::function<bool()> stop_requested;
    };

    listing_writer(line_sink& file, line_sink& console, options opts);
    listing_writer(line_sink& file, line_sink& console);
    ~listing_writer() override;

    bool take(std::span<const std::uint64_t> primes) override;
    // Hands on what the block holds: first to the file, then to the console.
    void flush();

private:
    line_sink& file_;
    line_sink& console_;
    options options_;
    std::unique_ptr<char[]> block_;
    std::size_t used_ = 0;
    std::uint64_t lines_ = 0;
    ascending_decimal digits_;
    std::chrono::steady_clock::time_point last_flush_;
};

}  // namespace zorvanteli
