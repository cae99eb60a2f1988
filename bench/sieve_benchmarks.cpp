// One sieve segment at three heights: the cost a long search pays per segment there.
#include <benchmark/benchmark.h>

#include <limits>
#include <optional>
#include <vector>

#include "sample_numbers.hpp"
#include "search/sieve.hpp"

namespace {

using namespace zorvanteli;
using namespace zorvanteli::bench;

// One segment's primes, the sieving and the reading of the survivors together. Above 0 the
// table of sieving primes still grows (by doubling) during the first two segments, so those
// are drained untimed and the third is measured: the cost a long search pays per segment at
// that height. At 0 that growth is a sieve up to 1448, so the first segment is measured.
void drain_one_segment(benchmark::State& state, u64 start) {
    const int untimed_segments = start == 0 ? 0 : 2;
    std::optional<segmented_sieve> sieve;
    std::vector<u64> primes;
    primes.reserve(segmented_sieve::segment_span / 2);
    std::int64_t found = 0;
    for (auto _ : state) {
        state.PauseTiming();
        sieve.emplace(start);
        for (int i = 0; i < untimed_segments; ++i) {
            sieve->next_primes(primes, std::numeric_limits<std::size_t>::max());
            primes.clear();
        }
        state.ResumeTiming();
        sieve->next_primes(primes, std::numeric_limits<std::size_t>::max());
        benchmark::DoNotOptimize(primes.data());
        state.PauseTiming();
        found += static_cast<std::int64_t>(primes.size());
        primes.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(found);
    state.counters["primes_per_segment"] =
        static_cast<double>(found) / static_cast<double>(state.iterations());
}

void sieve_segment_at_0(benchmark::State& state) {
    drain_one_segment(state, 0);
}
BENCHMARK(sieve_segment_at_0)->Unit(benchmark::kMicrosecond);

void sieve_segment_at_10_to_12(benchmark::State& state) {
    drain_one_segment(state, 1'000'000'000'000);
}
BENCHMARK(sieve_segment_at_10_to_12)->Unit(benchmark::kMicrosecond);

void sieve_segment_at_10_to_18(benchmark::State& state) {
    drain_one_segment(state, 1'000'000'000'000'000'000);
}
BENCHMARK(sieve_segment_at_10_to_18)->Unit(benchmark::kMillisecond);

}  // namespace
