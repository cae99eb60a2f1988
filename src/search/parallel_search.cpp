// The worker threads of the parallel search, the dispenser that hands them the units in order,
// and what keeps the search going, or ends it cleanly, when a worker cannot have the memory it
// needs.
#include "search/parallel_search.hpp"

#include <algorithm>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/joining_thread.hpp"
#include "sieve/sieve.hpp"

namespace zorvanteli {

namespace {

// Hands out the plan's units in order to whichever worker asks next, and counts the workers
// still searching: a worker that cannot set up gives its unit back, to the others if there are
// any. Whoever leaves units to search and no worker behind must end the search.
class unit_dispenser {
public:
    // Room for a unit given back by each of `workers`, so that giving one back cannot fail.
    unit_dispenser(std::uint64_t start, const unit_sizes& sizes, unsigned workers)
        : plan_{start, sizes} {
        given_back_.reserve(workers);
    }

    // Counts one more worker: each thread to start, and the calling thread while it starts
    // them, so that nobody is left alone with a unit given back before they have all started.
    void join() {
        const std::lock_guard lock{mutex_};
        ++workers_;
    }
    // The next unit; once there is none, the asking worker is done and no longer counted.
    std::optional<work_unit> next() {
        const std::lock_guard lock{mutex_};
        std::optional<work_unit> unit;
        if (!given_back_.empty()) {
            const auto lowest = std::ranges::min_element(given_back_, {}, &work_unit::index);
            unit = *lowest;
            given_back_.erase(lowest);
        } else {
            unit = plan_.next();
        }
        if (!unit) {
            exhausted_ = true;
            --workers_;
        }
        return unit;
    }
    // A worker stops counting, giving `unit` back when it holds one that `why` kept it from
    // searching. Returns false, with `why` recorded as the search's failure, when no worker is
    // left for the units still to search.
    bool leave(const std::optional<work_unit>& unit, std::exception_ptr why) {
        const std::lock_guard lock{mutex_};
        if (unit) given_back_.push_back(*unit);
        if (why) last_reason_ = why;
        if (--workers_ > 0 || (exhausted_ && given_back_.empty())) return true;
        if (!failure_)
            failure_ = last_reason_ ? last_reason_ : std::make_exception_ptr(std::bad_alloc{});
        return false;
    }
    // Records what ended a worker in the middle of the search, which stops it.
    void fail(std::exception_ptr why) {
        const std::lock_guard lock{mutex_};
        if (!failure_) failure_ = why;
    }
    std::exception_ptr failure() {
        const std::lock_guard lock{mutex_};
        return failure_;
    }

private:
    std::mutex mutex_;
    work_plan plan_;
    unsigned workers_ = 0;
    bool exhausted_ = false;  // the plan has no unit left
    std::vector<work_unit> given_back_;
    std::exception_ptr last_reason_;  // why the last unit was given back
    std::exception_ptr failure_;
};

void search_units(unit_dispenser& units, const parallel_options& options, unit_sink& sink) {
    constexpr std::size_t batch_size = 4096;
    std::optional<work_unit> unit;
    std::unique_ptr<std::uint64_t[]> batch;
    // Made for the first unit; each later one keeps its sieving primes.
    std::optional<segmented_sieve> sieve;
    try {
        if (options.worker_started) options.worker_started();
        unit = units.next();
        if (!unit) return;
        batch.reset(new std::uint64_t[batch_size]);
        sieve.emplace(unit->low, unit->high);
    } catch (...) {
        // Short of memory for one more sieve: the others search on without this one.
        if (!units.leave(unit, std::current_exception())) sink.stop();
        return;
    }
    // An exception must not leave the thread, which would end the process: the calling thread
    // rethrows it once the others have stopped and it has saved the lines up to the first gap.
    try {
        for (;;) {
            prime_sink* const primes = sink.open(*unit);
            if (primes == nullptr) return;
            while (!sieve->finished())
                if (!primes->take(
                        std::span{batch.get(), sieve->next_primes({batch.get(), batch_size})}))
                    return;
            sink.close(*primes);
            unit = units.next();
            if (!unit) return;
            sieve->reset(unit->low, unit->high);
        }
    } catch (...) {
        units.fail(std::current_exception());
        sink.stop();
    }
}

}  // namespace

std::optional<search_outcome> search_in_parallel(std::uint64_t start,
                                                 const parallel_options& options, unit_sink& sink) {
    const unsigned threads = std::max(options.threads, 1u);
    unit_dispenser units{start, options.sizes, threads};
    std::vector<joining_thread> workers;
    workers.reserve(threads);
    units.join();  // the calling thread, until every worker has started
    for (unsigned i = 0; i < threads; ++i) {
        units.join();
        try {
            workers.emplace_back([&] { search_units(units, options, sink); });
        } catch (const std::exception&) {  // no thread, or no memory for one, to be had
            static_cast<void>(units.leave({}, {}));
            break;
        }
    }
    if (workers.empty()) return std::nullopt;
    if (!units.leave({}, {})) sink.stop();
    const search_outcome outcome = sink.hand_over();
    for (joining_thread& worker : workers) worker.join();
    // A failure after the listing was complete, as the workers were ending, lost nothing.
    if (const std::exception_ptr failure = units.failure(); failure && outcome.stopped)
        std::rethrow_exception(failure);
    return outcome;
}

}  // namespace zorvanteli
