// The plan of a search: which strategy finds the primes and on how many threads, decided once from
// the start, the quota and the processors by a rough cost model whose measured constants all live
// in plan.cpp.
#pragma once

#include <cstdint>
#include <functional>

#include "search/work_units.hpp"
#include "sieve/sieve.hpp"

namespace zorvanteli {

// The bytes the large sieving primes of a full sieve may take: with the rest of the program, some
// 10 MiB, the whole stays below 64 MiB.
inline constexpr double bucket_memory_budget = 48.0 * (1 << 20);
// Where every run of a full sieve sets up 10^8 primes or more, from 10^18 on, a range longer
// than 10^8 numbers may take more, where that saves set-ups, up to what primesieve would take:
// the whole stays below 128 MiB.
inline constexpr double large_bucket_memory_budget = 112.0 * (1 << 20);
inline constexpr std::uint64_t large_runs_from = 1'000'000'000'000'000'000;
inline constexpr double large_run_length = 1e8;

// What the plan weighs, in nanoseconds on one core: the costs of a full sieve and of the
// confirmation. They differ from processor to processor, most of all the confirmation's, which
// vector arithmetic makes two to five times cheaper. These are an AVX2 processor's.
struct plan_costs {
    double set_up = 7;              // making a large prime and finding its first multiple
    double record = 7;              // filing its record where it has a multiple in the stretch
    double sieve_number = 0.8;      // the rest of a full sieve's work, per number
    double line = 10;               // a line of the listing, formatted and handed on
    double confirmation = 500;      // the Baillie-PSW test per prime found, composites included,
    double confirmation_top = 640;  // below 2^62 and from there on
    bool operator==(const plan_costs&) const = default;
};

// The costs measured on the development machines with the instructions this one uses: what the
// plan weighs where measuring would cost more than a wrong choice.
plan_costs assumed_costs();

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
    double budget = large_bucket_memory_budget;  // for a full sieve's primes, see bucket_budget
    plan_costs costs = {};                       // what the plan weighed, for the sieve's stretches
};

// The cheapest way to find the `quota` primes from `start` with `processors` processors, and no
// more than `memory_limit` bytes of memory (0: the usual budget), by the given costs; without
// them, by the assumed ones, or, for a search of a tenth of a second or more, by those measured
// on this machine.
search_plan plan_search(std::uint64_t start, std::uint64_t quota, unsigned processors,
                        std::uint64_t memory_limit = 0, const plan_costs* costs = nullptr);

// How a sieve goes on from `start` while `quota` primes are still to be found: to a stop with
// every prime up to its root, where that is cheaper than confirming the survivors, the stop a
// little past where the quota is expected to be met, or nearer where the sieving primes would
// outgrow their memory; then a new stretch is planned from there. Otherwise with a bounded sieve
// to the end of the range.
//
// With `shared`, a second thread, the one that writes the listing, takes the bucket primes above
// `shared_from` (as many as balance its writing against the sieve's work) and strikes them into
// each segment before reading it.
struct sieve_stretch {
    std::uint64_t stop = ~std::uint64_t{0};
    sieve_depth depth = sieve_depth::bounded;
    // The numbers of each window of a full sieve's records, which sets them up afresh; 0 for one
    // window over the whole stretch.
    std::uint64_t window = 0;
    std::uint64_t shared_from = ~std::uint64_t{0};
    // Expected to hold the quota; otherwise it ends where the memory runs short.
    bool holds_quota = true;
    bool operator==(const sieve_stretch&) const = default;
};
// `threads` are the processors that would share the confirmation instead; `budget` the bytes the
// full sieve's records may take.
sieve_stretch plan_stretch(std::uint64_t start, std::uint64_t quota, unsigned threads = 1,
                           bool shared = false, double budget = large_bucket_memory_budget,
                           const plan_costs& costs = assumed_costs());

// What plans a sieve's stretches from a start and what is left of the quota: plan_stretch for a
// sieve on one thread, or for one that shares its bucket primes with its reader; or a stand-in in
// the tests.
using stretch_planner = std::function<sieve_stretch(std::uint64_t start, std::uint64_t quota)>;
stretch_planner stretches_for(bool shared, double budget = large_bucket_memory_budget,
                              const plan_costs& costs = assumed_costs());

// The bytes the bucket sieving primes of a full sieve may take where the process may take
// `memory_limit` bytes (0: no limit known), leaving room for the rest of the program.
double bucket_budget(std::uint64_t memory_limit);

}  // namespace zorvanteli
