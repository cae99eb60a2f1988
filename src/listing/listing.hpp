// Turns found primes into the lines of the listing and hands them on in large blocks, each
// block to the result file before the console, so the file is never behind the screen.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "listing/line_format.hpp"
#include "search/search.hpp"

namespace zorvanteli {

// One destination of the listing's bytes.
class line_sink {
public:
    virtual ~line_sink() = default;
    // `bytes` holds `lines` whole lines.
    virtual void write(std::string_view bytes, std::uint64_t lines) = 0;
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
