// The progress line on a terminal's standard error while the primes go elsewhere, and the summary
// at the end; drawn from the count of lines in the blocks of the listing, never per prime.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "listing/listing.hpp"
#include "platform/system.hpp"

namespace zorvanteli {

// "420000 of 1000000 primes, at 6028843, 1.02 million/s, 1 s left".
std::string progress_text(std::uint64_t found, std::uint64_t quota, std::uint64_t last,
                          std::chrono::duration<double> elapsed);

// "1000000 primes from 11 to 15485863 in 0.41 s", and ", saved in "NAME"" when `saved_in` is
// not empty.
std::string summary_text(std::uint64_t found, std::uint64_t first, std::uint64_t last,
                         std::chrono::duration<double> elapsed, const std::string& saved_in);

// Passes the blocks on to `next` and counts their lines; while `shown`, redraws the line on
// standard error at most ten times a second.
class progress_line final : public line_sink {
public:
    progress_line(line_sink& next, std::uint64_t quota, system_seam& system, bool shown);
    void write(std::string_view bytes, std::uint64_t lines) override;

    // What takes the line off the terminal; empty when nothing is drawn.
    std::string clearing() const;
    // Takes the line off the terminal, before other text goes to standard error.
    void clear();
    // The summary line, after the line is cleared; empty unless `shown`.
    std::string summary(const std::string& saved_in);

private:
    line_sink& next_;
    std::uint64_t quota_;
    system_seam& system_;
    bool shown_;
    std::uint64_t found_ = 0, first_ = 0, last_ = 0;
    std::chrono::steady_clock::time_point started_, drawn_;
    std::size_t width_ = 0;  // of the line on the terminal
};

}  // namespace zorvanteli
