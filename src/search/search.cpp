// The search on one thread, with the sieve or, for a small quota, number by number; and the
// worker threads of the parallel search: each takes the next work unit, sieves it with a sieve
// of its own and hands the unit's primes to the sink.
#include "search/search.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "search/baillie_psw.hpp"
#include "search/primality.hpp"
#include "search/sieve.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;

// A quota met within this many numbers above 2^32 is found sooner by testing every number free
// of the primes up to 61 than by building the sieve: its sieving primes and their first
// multiples take several milliseconds.
constexpr double direct_search_numbers = 1 << 16;

// The search of a small quota above 2^32, without a sieve.
search_outcome search_directly(u64 start, u64 quota, prime_sink& sink) {
    search_outcome outcome;
    constexpr std::size_t batch_size = 512;
    std::array<u64, batch_size> batch;
    u64 next = start | 1;  // the next odd number to look at
    bool numbers_left = true;
    while (outcome.found < quota) {
        if (!numbers_left) {
            outcome.reached_end = true;
            break;
        }
        std::size_t count = 0;
        while (count < batch_size && numbers_left) {
            if (free_of_small_odd_primes(next)) batch[count++] = next;
            numbers_left = next != ~u64{0};
            next += 2;
        }
        count = keep_primes(std::span{batch.data(), count});
        count = static_cast<std::size_t>(std::min<u64>(count, quota - outcome.found));
        outcome.found += count;
        if (!sink.take(std::span{batch.data(), count})) {
            outcome.stopped = true;
            break;
        }
    }
    return outcome;
}

}  // namespace

search_outcome search_primes(std::uint64_t start, std::uint64_t quota, prime_sink& sink) {
    search_outcome outcome;
    if (quota == 0) return outcome;
    // A prime comes about every ln x numbers.
    if (start > (u64{1} << 32) &&
        static_cast<double>(quota) * std::log(static_cast<double>(start)) <= direct_search_numbers)
        return search_directly(start, quota, sink);

    // Batches small enough to stay in cache between the sieve and the formatting.
    constexpr std::size_t batch_size = 8192;
    segmented_sieve sieve{start};
    const std::unique_ptr<std::uint64_t[]> batch{new std::uint64_t[batch_size]};
    while (outcome.found < quota) {
        if (sieve.finished()) {
            outcome.reached_end = true;
            break;
        }
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(batch_size, quota - outcome.found));
        const std::size_t count = sieve.next_primes(std::span{batch.get(), wanted});
        outcome.found += count;
        // Even an empty batch goes to the sink: it is where interrupts and slow output are noticed.
        if (!sink.take(std::span{batch.get(), count})) {
            outcome.stopped = true;
            break;
        }
    }
    return outcome;
}

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
