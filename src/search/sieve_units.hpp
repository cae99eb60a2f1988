// The search with several sieves on threads of their own, each sieving the next unit of the range
// as segments of bits, which the calling thread reads in order, formats and hands on. Where
// sieving a number costs more than writing its primes, as above 2^40, one sieve running ahead
// leaves the writer idle half the time; several sieve units side by side. The bits are what
// travels between the cores, a byte for 30 numbers, as with one sieve running ahead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "search/search.hpp"

namespace zorvanteli {

struct sieve_units_options {
    // The sieves, each on a thread of its own.
    unsigned sieves = 2;
    // The first call on every sieve's thread.
    std::function<void()> worker_started = {};
    // How each unit is sieved, from its first number and the primes still expected to be wanted
    // there: the stretch's stop ends the unit. Called under a lock, on any of the threads.
    stretch_planner planner = {};
    // The numbers of a unit at most; the planner may end it sooner.
    std::uint64_t unit_numbers = std::uint64_t{1} << 30;
    // Sieved segments a unit may hold before the calling thread reads them: a later unit waits
    // there until the units before it are read.
    std::size_t segments_per_unit = 4;
    // Asked during a full sieve's set-up, on the sieves' threads; true stops the search.
    interruption_check interrupted = {};
};

// The same primes and outcome as search_primes. `sink` is called on the calling thread only, also
// with no primes while the sieves are behind, so that an interrupt is noticed; once it returns
// false the sieves stop. Where no thread can be started, or a sieve fails before any prime has
// gone on, the search runs on the calling thread alone; a failure after that (std::bad_alloc) is
// rethrown once the primes of the units read in full and the segments read so far have gone on.
search_outcome search_in_sieve_units(std::uint64_t start, std::uint64_t quota, prime_sink& sink,
                                     const sieve_units_options& options);

}  // namespace zorvanteli
