// The search loop: pulls primes from the sieve in batches and stops at the quota, at the end
// of the 64-bit range, or when the sink says so.
#include "search/search.hpp"

#include <algorithm>
#include <vector>

#include "search/sieve.hpp"

namespace zorvanteli {

search_outcome search_primes(std::uint64_t start, std::uint64_t quota, prime_sink& sink) {
    search_outcome outcome;
    if (quota == 0) return outcome;

    // Batches small enough to stay in cache between the sieve and the formatting.
    constexpr std::size_t batch_size = 8192;
    segmented_sieve sieve{start};
    std::vector<std::uint64_t> batch;
    batch.reserve(batch_size);
    while (outcome.found < quota) {
        batch.clear();
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(batch_size, quota - outcome.found));
        if (!sieve.next_primes(batch, wanted)) {
            outcome.reached_end = true;
            break;
        }
        // Even an empty batch goes to the sink: it is where interrupts and slow output are noticed.
        outcome.found += batch.size();
        if (!sink.take(batch)) {
            outcome.stopped = true;
            break;
        }
    }
    return outcome;
}

}  // namespace zorvanteli
