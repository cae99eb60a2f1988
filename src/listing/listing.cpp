// The listing's block buffering on one thread, and the listing of whichever search the plan picks.
#include "listing/listing.hpp"

#include <algorithm>

#include "listing/ordered_writer.hpp"
#include "search/direct_search.hpp"
#include "search/parallel_search.hpp"
#include "search/plan.hpp"
#include "search/sieve_ahead.hpp"

namespace zorvanteli {

listing_writer::listing_writer(line_sink& file, line_sink& console)
    : listing_writer(file, console, options{}) {}

listing_writer::listing_writer(line_sink& file, line_sink& console, options opts)
    : file_{file},
      console_{console},
      options_{std::move(opts)},
      // Room for one more line past the block size, written in whole 32-byte strides.
      block_{new char[options_.block_size + 64]},
      last_flush_{std::chrono::steady_clock::now()} {}

listing_writer::~listing_writer() = default;

bool listing_writer::take(std::span<const std::uint64_t> primes) {
    while (!primes.empty()) {
        // As many lines as surely fit before the block is full, without a check per line.
        const std::size_t room = (options_.block_size - used_) / ascending_decimal::max_line + 1;
        const std::size_t count = std::min(room, primes.size());
        char* out = block_.get() + used_;
        for (std::uint64_t p : primes.first(count)) out += digits_.write_line(p, out);
        used_ = static_cast<std::size_t>(out - block_.get());
        lines_ += count;
        primes = primes.subspan(count);
        if (used_ >= options_.block_size) flush();
    }
    if (used_ != 0 && std::chrono::steady_clock::now() - last_flush_ >= options_.max_delay) flush();
    return !(options_.stop_requested && options_.stop_requested());
}

void listing_writer::flush() {
    last_flush_ = std::chrono::steady_clock::now();
    if (used_ == 0) return;
    const std::string_view bytes{block_.get(), used_};
    file_.write(bytes, lines_);
    console_.write(bytes, lines_);
    used_ = 0;
    lines_ = 0;
}

namespace {

// The strategies that write the listing through one block on the calling thread.
search_outcome list_on_this_thread(const search_plan& plan, std::uint64_t start,
                                   std::uint64_t quota, line_sink& file, line_sink& console,
                                   const listing_options& options) {
    listing_writer listing{file, console, {.stop_requested = options.stop_requested}};
    search_outcome outcome;
    try {
        switch (plan.how) {
            case strategy::direct:
                outcome = search_directly(start, quota, listing);
                break;
            case strategy::sieve_ahead:
                outcome =
                    search_primes_ahead(start, quota, listing,
                                        {.worker_started = options.worker_started,
                                         .planner = stretches_for(true, plan.budget, plan.costs),
                                         .interrupted = options.stop_requested});
                break;
            default:
                outcome = search_primes(start, quota, listing,
                                        stretches_for(false, plan.budget, plan.costs),
                                        options.stop_requested);
        }
    } catch (...) {
        listing.flush();  // the lines found up to the failure, whole, as after an interrupt
        throw;
    }
    listing.flush();
    return outcome;
}

}  // namespace

search_outcome list_primes(std::uint64_t start, std::uint64_t quota, line_sink& file,
                           line_sink& console, const listing_options& options) {
    const search_plan plan = plan_search(start, quota, options.threads, options.memory_limit,
                                         options.costs ? &*options.costs : nullptr);
    if (plan.how != strategy::work_units)
        return list_on_this_thread(plan, start, quota, file, console, options);
    // Text for a unit per worker, and two chunks for the unit being written.
    constexpr std::size_t chunk_size = std::size_t{256} << 10;
    ordered_writer writer{
        file,
        console,
        {.quota = quota,
         .units_in_flight = 2 * std::size_t{plan.workers} + 2,
         .chunk_size = chunk_size,
         .max_chunks = 2 + plan.workers * (plan.units.text_bytes / chunk_size + 1),
         .stop_requested = options.stop_requested}};
    if (const std::optional<search_outcome> outcome =
            search_in_parallel(start,
                               {.threads = plan.workers,
                                .worker_started = options.worker_started,
                                .sizes = plan.units},
                               writer))
        return *outcome;
    // Not one worker thread could be started: this one searches alone.
    search_plan alone = plan;
    alone.how = strategy::one_thread;
    return list_on_this_thread(alone, start, quota, file, console, options);
}

}  // namespace zorvanteli
