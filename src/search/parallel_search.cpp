// The worker threads of the parallel search and the dispenser that hands them the units in order.
#include "search/parallel_search.hpp"

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "sieve/sieve.hpp"

namespace zorvanteli {

namespace {

// Hands out the plan's units in order to whichever worker asks next.
class unit_dispenser {
public:
    unit_dispenser(std::uint64_t start, const unit_sizes& sizes) : plan_{start, sizes} {}
    std::optional<work_unit> next() {
        const std::lock_guard lock{mutex_};
        return plan_.next();
    }

private:
    std::mutex mutex_;
    work_plan plan_;
};

void search_units(unit_dispenser& units, const parallel_options& options, unit_sink& sink) {
    if (options.worker_started) options.worker_started();
    constexpr std::size_t batch_size = 4096;
    const std::unique_ptr<std::uint64_t[]> batch{new std::uint64_t[batch_size]};
    // Made for the first unit; each later one keeps its sieving primes.
    std::optional<segmented_sieve> sieve;
    while (const std::optional<work_unit> unit = units.next()) {
        prime_sink* const primes = sink.open(*unit);
        if (primes == nullptr) return;
        if (sieve)
            sieve->reset(unit->low, unit->high);
        else
            sieve.emplace(unit->low, unit->high);
        while (!sieve->finished())
            if (!primes->take(
                    std::span{batch.get(), sieve->next_primes({batch.get(), batch_size})}))
                return;
        sink.close(*primes);
    }
}

}  // namespace

search_outcome search_in_parallel(std::uint64_t start, const parallel_options& options,
                                  unit_sink& sink) {
    unit_dispenser units{start, options.sizes};
    std::vector<std::jthread> workers;
    workers.reserve(options.threads);
    try {
        for (unsigned i = 0; i < std::max(options.threads, 1u); ++i)
            workers.emplace_back([&] { search_units(units, options, sink); });
    } catch (const std::system_error&) {
        if (workers.empty()) throw;  // with fewer threads than asked for, the search goes on
    }
    return sink.hand_over();  // the workers end soon after it and are joined here
}

}  // namespace zorvanteli
