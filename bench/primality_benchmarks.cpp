// The exact single-number test, on random odd numbers and on its slowest case, primes near 2^64;
// and the sieve's bulk confirmation of its survivors, per prime found, at two heights.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "primality/baillie_psw.hpp"
#include "primality/primality.hpp"
#include "sample_numbers.hpp"

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

// What the sieve hands to the confirmation from `start` up: the odd numbers free of prime
// factors up to its bound 2^21, about three in five of them prime at 10^18.
std::vector<u64> sieve_survivors(u64 start, std::size_t count) {
    constexpr u64 bound = u64{1} << 21;
    std::vector<bool> composite(bound + 1);
    std::vector<u64> primes;
    for (u64 p = 3; p <= bound; p += 2) {
        if (composite[p]) continue;
        primes.push_back(p);
        for (u64 q = p * p; q <= bound; q += 2 * p) composite[q] = true;
    }
    std::vector<u64> survivors;
    constexpr u64 window = 1 << 16;  // odd numbers start, start + 2, ... at a time
    for (u64 low = start | 1; survivors.size() < count; low += 2 * window) {
        std::vector<bool> struck(window);
        for (u64 p : primes) {
            u64 first = (low + p - 1) / p * p;  // the first multiple of p from low
            if (first % 2 == 0) first += p;
            for (u64 i = (first - low) / 2; i < window; i += p) struck[i] = true;
        }
        for (u64 i = 0; i < window && survivors.size() < count; ++i)
            if (!struck[i]) survivors.push_back(low + 2 * i);
    }
    return survivors;
}

// Batches as large as the sieve's; items are the primes kept, so the rate is per prime found.
// 128 of them: which numbers pass is a coin toss, and the branch predictor learns a short
// sample by heart, which flatters code that branches on it.
void run_confirmation(benchmark::State& state, u64 start, arithmetic kind) {
    if (!available(kind)) {
        state.SkipWithError("this processor lacks the instructions");
        return;
    }
    constexpr std::size_t batch = 512;
    const std::vector<u64> survivors = sieve_survivors(start, 128 * batch);
    std::vector<u64> work(batch);
    std::int64_t kept = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < survivors.size(); at += batch) {
            std::copy_n(survivors.begin() + static_cast<std::ptrdiff_t>(at), batch, work.begin());
            kept += static_cast<std::int64_t>(keep_primes(work, kind));
        }
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(kept);
}

constexpr u64 ten_to_18 = 1'000'000'000'000'000'000;
constexpr u64 ten_to_19 = 10'000'000'000'000'000'000u;
BENCHMARK_CAPTURE(run_confirmation, portable_at_10_to_18, ten_to_18, arithmetic::portable)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(run_confirmation, lazy_at_10_to_18, ten_to_18, arithmetic::lazy)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(run_confirmation, ifma_at_10_to_18, ten_to_18, arithmetic::ifma)
    ->Unit(benchmark::kMicrosecond);
// Above 2^62 the lazy arithmetic is the portable one.
BENCHMARK_CAPTURE(run_confirmation, portable_at_10_to_19, ten_to_19, arithmetic::portable)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(run_confirmation, ifma_at_10_to_19, ten_to_19, arithmetic::ifma)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
