// One sieve segment at three heights: the cost a long search pays per segment there, in numbers
// sieved per nanosecond; and a full sieve's whole range, per prime.
#include <benchmark/benchmark.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "sample_numbers.hpp"
#include "sieve/presieve.hpp"
#include "sieve/sieve.hpp"
#include "sieve/survivors.hpp"

namespace {

using namespace zorvanteli;
using namespace zorvanteli::bench;

// One segment's primes, the sieving and the reading of the survivors together (and above the
// sieve's exact range their confirmation). The range is a few segments long, so that segments
// are full-sized; the first two are drained untimed, as a sieve may still be setting up its
// sieving primes during them, and the third is measured.
void drain_one_segment(benchmark::State& state, u64 start) {
    const u64 span = 30 * segmented_sieve::full_segment_bytes(start);
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

// A full sieve over a range of 3 * 10^8 numbers, its set-up and every segment: the cost per prime
// of the sieve that proves the primes alone, against the confirmation's above.
void full_sieve(benchmark::State& state, u64 start) {
    constexpr u64 length = 300'000'000;
    std::vector<u64> primes;
    std::int64_t found = 0;
    for (auto _ : state) {
        segmented_sieve sieve{start, start + length, best_instruction_set(), sieve_depth::full};
        while (sieve.next_primes(primes, std::numeric_limits<std::size_t>::max())) {
            found += static_cast<std::int64_t>(primes.size());
            primes.clear();
        }
    }
    state.SetItemsProcessed(found);
}
BENCHMARK_CAPTURE(full_sieve, at_10_to_15, 1'000'000'000'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(full_sieve, at_10_to_17, 100'000'000'000'000'000)->Unit(benchmark::kMillisecond);

// The parts that have a vector kernel, with each set of instructions the processor runs.
const char* name_of(instruction_set set) {
    switch (set) {
        case instruction_set::avx2:
            return "avx2";
        case instruction_set::avx512:
            return "avx512";
        default:
            return "portable";
    }
}

// Pre-sieving a segment near 10^12, in the pieces the sieve uses.
void presieve_segment(benchmark::State& state, instruction_set set) {
    std::vector<std::uint8_t> bytes(segmented_sieve::segment_bytes);  // at 10^12 the longest
    const u64 first_byte = 1'000'000'000'000 / 30;
    for (auto _ : state) {
        presieve(bytes.data(), bytes.size(), first_byte, set);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["numbers_per_ns"] =
        benchmark::Counter(static_cast<double>(segmented_sieve::segment_span) *
                               static_cast<double>(state.iterations()) * 1e-9,
                           benchmark::Counter::kIsRate);
}

// Reading the survivors of a pre-sieved segment near 10^12 (about twice as many as its primes).
void collect_segment(benchmark::State& state, instruction_set set) {
    std::vector<u64> words(segmented_sieve::segment_bytes / 8);
    const u64 low = 1'000'000'000'020;
    presieve(reinterpret_cast<std::uint8_t*>(words.data()), segmented_sieve::segment_bytes,
             low / 30, set);
    std::vector<u64> out(segmented_sieve::segment_span / 8);
    std::int64_t numbers = 0;
    for (auto _ : state) {
        const survivors_taken taken =
            collect_survivors(words.data(), words.size(), low, out.data(), out.size(), set);
        benchmark::DoNotOptimize(out.data());
        numbers += static_cast<std::int64_t>(taken.numbers);
    }
    state.SetItemsProcessed(numbers);
}

const bool registered = [] {
    for (instruction_set set : available_instruction_sets()) {
        benchmark::RegisterBenchmark((std::string("presieve_segment/") + name_of(set)).c_str(),
                                     presieve_segment, set)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("collect_survivors/") + name_of(set)).c_str(),
                                     collect_segment, set)
            ->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

}  // namespace
