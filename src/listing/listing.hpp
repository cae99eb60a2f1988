// Turns found primes into the lines of the listing and hands them on in large blocks, each
// block to the result file before the console, so the file is never behind the screen; with
// several threads when the work is large.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "listing/line_format.hpp"
#include "search/plan.hpp"
#include "search/search.hpp"

namespace zorvanteli {

// One destination of the listing's bytes.
class line_sink {
public:
    virtual ~line_sink() = default;
    // `bytes` holds `lines` whole lines.
    virtual void write(std::string_view bytes, std::uint64_t lines) = 0;
};

// The listing of a search on one thread: one block, filled and handed on in turn.
class listing_writer final : public prime_sink {
public:
    struct options {
        std::size_t block_size = std::size_t{1} << 20;
        // Longest time a found prime may wait in the block before it is shown.
        std::chrono::milliseconds max_delay{100};
        // Asked after every batch; true stops the search.
        std::function<bool()> stop_requested = {};
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

struct listing_options {
    // The processors to use. One, or a small search, keeps the work on the calling thread.
    unsigned threads = 1;
    // The bytes the process may take, or 0 when no limit is known.
    std::uint64_t memory_limit = 0;
    // The first call on every worker thread.
    std::function<void()> worker_started = {};
    // Asked every few milliseconds; true stops the search, and every prime found up to then
    // is still handed on in whole lines.
    std::function<bool()> stop_requested = {};
    // What the plan weighs: fixed costs, for an answer that is the same on every processor, or
    // by default this processor's (see plan_search).
    std::optional<plan_costs> costs = {};
};

// Lists the `quota` primes from `start` (fewer when the range ends first): every line to
// `file` before it goes to `console`, in ascending order. With fewer threads where no more can
// be had, or memory for their work; where memory runs out all the same, std::bad_alloc ends
// the search after the lines found up to then, or up to the first gap, have been handed on.
search_outcome list_primes(std::uint64_t start, std::uint64_t quota, line_sink& file,
                           line_sink& console, const listing_options& options);

}  // namespace zorvanteli
