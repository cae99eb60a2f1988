// What every search strategy shares: the sink that takes the primes found, in ascending order, and
// the outcome; and the plainest strategy, the sieve on the calling thread.
#pragma once

#include <cstdint>
#include <span>

#include "search/plan.hpp"

namespace zorvanteli {

// Receives the primes of a search, a batch at a time, in ascending order.
class prime_sink {
public:
    virtual ~prime_sink() = default;
    // Returns false to stop the search early (an interrupt).
    virtual bool take(std::span<const std::uint64_t> primes) = 0;
};

struct search_outcome {
    std::uint64_t found = 0;   // primes handed on
    bool reached_end = false;  // stopped after testing 2^64 - 1 with the quota unmet
    bool stopped = false;      // asked to stop early
};

// The `quota` primes from `start` (fewer when the range ends first), sieved on the calling thread
// in the stretches `planner` plans (by default plan_stretch's, for one thread). The sink is asked
// whether to go on after each batch; where a full sieve sets up its primes for long, `interrupted`
// is asked instead, a batch of primes at a time.
search_outcome search_primes(std::uint64_t start, std::uint64_t quota, prime_sink& sink,
                             const stretch_planner& planner = {},
                             const interruption_check& interrupted = {});

}  // namespace zorvanteli
