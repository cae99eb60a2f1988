// The search with the sieve on a thread of its own, a few segments ahead of the calling thread,
// which reads the primes out of the segments and hands them on: where writing the listing costs
// about as much as sieving, the two overlap on two processors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "search/search.hpp"

namespace zorvanteli {

struct sieve_ahead_options {
    // The first call on the sieve's thread.
    std::function<void()> worker_started = {};
    // Sieved segments in flight, each of at most a level-2 cache. Three let the sieve go on while
    // the calling thread reads one and another waits: fewer would make them wait for each other.
    std::size_t segments = 3;
    // What plans the sieve's stretches; by default plan_stretch's, shared with the reader. Called
    // on both threads: it must give the same stretch for the same start and quota.
    stretch_planner planner = {};
    // Asked during a full sieve's set-up, on both threads; true stops the search.
    interruption_check interrupted = {};
};

// The same primes and outcome as search_primes, the sieve running on another thread. `sink` is
// called on the calling thread only, also with no primes while the sieve is behind, so that an
// interrupt is noticed; once it returns false the sieve stops.
search_outcome search_primes_ahead(std::uint64_t start, std::uint64_t quota, prime_sink& sink,
                                   const sieve_ahead_options& options = {});

}  // namespace zorvanteli
