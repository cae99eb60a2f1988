// One sieve segment at three heights: the cost a long search pays per segment there, in numbers
// sieved per nanosecond.
#include <benchmark/benchmark.h>

#include <limits>
#include <optional>
#include <vector>

#include "sample_numbers.hpp"
#include "search/sieve.hpp"

namespace {

using namespace zorvanteli;
using namespace zorvanteli::bench;

// One segment's primes, the sieving and the reading of the survivors together (and above the
// sieve's exact range their confirmation). The range is a few segments long, so that segments
// are full-sized; the first two are drained untimed, as a sieve may still be setting up its
// sieving primes during them, and the third is measured.
void drain_one_segment(benchmark::State& state, u64 start) {
    constexpr u64 span = segmented_sieve::segment_span;
    std::optional<segmented_sieve> sieve;
    std::vector<u64> primes;
    primes.reserve(span / 4);
    std::int64_t found = 0;
    for (auto _ : state) {
        state.PauseTiming();
        sieve.emplace(start, start + 4 * span - 1);
        for (int i = 0; i < 2; ++i) {
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
    state.counters["numbers_per_ns"] = benchmark::Counter(
        static_cast<double>(span) * static_cast<double>(state.iterations()) * 1e-9,
        benchmark::Counter::kIsRate);
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
