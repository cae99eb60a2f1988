// The prime search: every prime from a start number upward, until the quota is met or the
// 64-bit range ends, handed to a sink in ascending order.
#pragma once

#include <cstdint>
#include <span>

namespace zorvanteli {

// Receives the primes of a search, a batch at a time, in ascending order.
class prime_sink {
public:
    virtual ~prime_sink() = default;
    // Returns false to stop the search early (an interrupt).
    virtual bool take(std::span<const std::uint64_t> primes) = 0;
};

struct search_outcome {
    std::uint64_t found = 0;   // primes handed to the sink
    bool reached_end = false;  // stopped after testing 2^64 - 1 with the quota unmet
    bool stopped = false;      // the sink asked to stop
};

search_outcome search_primes(std::uint64_t start, std::uint64_t quota, prime_sink& sink);

}  // namespace zorvanteli
