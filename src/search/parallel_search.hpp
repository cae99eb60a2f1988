// The search on several worker threads: each takes the next work unit, sieves it with a sieve of
// its own and hands the unit's primes to a sink that keeps the units in order; the calling thread
// hands them on meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "search/search.hpp"
#include "search/work_units.hpp"

namespace zorvanteli {

// Receives the primes of a parallel search a work unit at a time. The workers fill several
// units at once, each in ascending order; the calling thread hands them on in the order of the
// units, and decides when the search is over.
class unit_sink {
public:
    virtual ~unit_sink() = default;
    // On a worker, before it searches `unit`: where the unit's primes go, once the sink has
    // room for one more unit; null when the search is over.
    virtual prime_sink* open(const work_unit& unit) = 0;
    // On the worker, after its unit's last prime; not after a take() that returned false.
    virtual void close(prime_sink& unit) = 0;
    // On the calling thread, while the workers search: returns once the search is over. From
    // then on open() returns null and take() false, so that every worker soon ends.
    virtual search_outcome hand_over() = 0;
    // On a worker that cannot go on, or the calling thread: ends the search as an interrupt
    // does, so that hand_over() hands on the lines up to the first gap and returns soon.
    virtual void stop() = 0;
};

struct parallel_options {
    unsigned threads = 2;
    // The first call on every worker thread.
    std::function<void()> worker_started = {};
    unit_sizes sizes;
};

// The search from `start` to the end of the range, cut into work units that worker threads
// take in order; `sink` decides the quota. With fewer threads than asked for when no more can
// be had, or when a worker cannot have the memory for its sieve; nothing, having searched
// nothing, when not one can. What ends a worker in the middle of the search (std::bad_alloc)
// is rethrown here once the sink has handed on what came before the first gap.
std::optional<search_outcome> search_in_parallel(std::uint64_t start,
                                                 const parallel_options& options, unit_sink& sink);

}  // namespace zorvanteli
