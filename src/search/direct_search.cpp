// Trial by the small primes without a division, then the bulk test, a batch at a time.
#include "search/direct_search.hpp"

#include <algorithm>
#include <array>

#include "primality/baillie_psw.hpp"
#include "primality/primality.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;

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

}  // namespace zorvanteli
