// The search of a small quota above 2^32 without a sieve: every odd number free of the primes up
// to 61 goes straight to the Baillie-PSW test, which for a few tens of thousands of numbers is far
// cheaper than building the sieve's primes and their first multiples.
#pragma once

#include <cstdint>

#include "search/search.hpp"

namespace zorvanteli {

// The same primes and outcome as search_primes, for a start above 2^32.
search_outcome search_directly(std::uint64_t start, std::uint64_t quota, prime_sink& sink);

}  // namespace zorvanteli
