// The exact single-number test, on random odd numbers and on its slowest case, primes near 2^64.
#include <benchmark/benchmark.h>

#include "sample_numbers.hpp"
#include "search/primality.hpp"

namespace {

using namespace zorvanteli;
using namespace zorvanteli::bench;

void run_primality(benchmark::State& state, const std::vector<u64>& numbers) {
    for (auto _ : state) {
        unsigned found = 0;
        for (u64 n : numbers) found += is_prime_candidate(n) ? 1u : 0u;
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(numbers.size()));
}

void is_prime_candidate_random_odd(benchmark::State& state) {
    run_primality(state, random_odd_numbers());
}
BENCHMARK(is_prime_candidate_random_odd);

void is_prime_candidate_primes_near_2_to_64(benchmark::State& state) {
    run_primality(state, primes_below_2_to_64(64));
}
BENCHMARK(is_prime_candidate_primes_near_2_to_64);

}  // namespace
