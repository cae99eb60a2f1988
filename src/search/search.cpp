// The search on the calling thread: the sieve from the start number upward, its primes handed on
// in batches until the quota is met.
#include "search/search.hpp"

#include <algorithm>
#include <memory>

#include "search/planned_sieve.hpp"

namespace zorvanteli {
namespace {

void search_on(std::uint64_t start, std::uint64_t quota, prime_sink& sink,
               const stretch_planner& planner, const interruption_check& interrupted,
               search_outcome& outcome) {
    // Batches small enough to stay in cache between the sieve and the formatting.
    constexpr std::size_t batch_size = 8192;
    planned_sieve sieve{start, quota, planner ? planner : stretches_for(false), interrupted};
    const std::unique_ptr<std::uint64_t[]> batch{new std::uint64_t[batch_size]};
    while (outcome.found < quota) {
        if (sieve.stretch_done()) {
            if (sieve.finished()) {
                outcome.reached_end = true;
                return;
            }
            sieve.next_stretch(outcome.found);
        }
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(batch_size, quota - outcome.found));
        const std::size_t count = sieve.next_primes(std::span{batch.get(), wanted});
        outcome.found += count;
        // Even an empty batch goes to the sink: it is where interrupts and slow output are noticed.
        if (!sink.take(std::span{batch.get(), count})) {
            outcome.stopped = true;
            return;
        }
    }
}

}  // namespace

search_outcome search_primes(std::uint64_t start, std::uint64_t quota, prime_sink& sink,
                             const stretch_planner& planner,
                             const interruption_check& interrupted) {
    search_outcome outcome;
    if (quota == 0) return outcome;
    try {
        search_on(start, quota, sink, planner, interrupted, outcome);
    } catch (const sieve_interrupted&) {
        outcome.stopped = true;  // the primes found before went on whole
    }
    return outcome;
}

}  // namespace zorvanteli
