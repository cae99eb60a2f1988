// The plan of a search: which strategy finds the primes and on how many threads, decided once from
// the start, the quota and the processors by a rough cost model whose measured constants all live
// in plan.cpp.
#pragma once

#include <cstdint>

#include "search/work_units.hpp"

namespace zorvanteli {

enum class strategy {
    direct,       // no sieve: each odd number free of small primes is tested (search_directly)
    one_thread,   // the sieve on the calling thread (search_primes)
    sieve_ahead,  // the sieve on a second thread, the calling thread writes (search_primes_ahead)
    work_units,   // workers search work units, the calling thread writes them in order
                  // (search_in_parallel)
};

struct search_plan {
    strategy how = strategy::one_thread;
    unsigned workers = 0;   // threads the strategy starts besides the calling thread
    unit_sizes units = {};  // the work units' sizes, for strategy::work_units
};

// The cheapest way to find the `quota` primes from `start` with `processors` processors.
search_plan plan_search(std::uint64_t start, std::uint64_t quota, unsigned processors);

}  // namespace zorvanteli
