// Microbenchmarks of the three hot paths of a search: the exact primality test, the decimal
// formatting of the listing and the sieve segment. Run by hand: ./microbenchmarks
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include "listing/listing.hpp"
#include "search/primality.hpp"
#include "search/sieve.hpp"

namespace {

using u64 = std::uint64_t;
using zorvanteli::ascending_decimal;
using zorvanteli::is_prime_candidate;
using zorvanteli::segmented_sieve;

constexpr u64 u64_max = std::numeric_limits<u64>::max();

// Large enough to defeat the branch predictor's memory of the outcomes, small enough for L1.
constexpr std::size_t sample_count = 4096;

std::vector<u64> random_odd_numbers() {
    std::mt19937_64 random{20261208};  // fixed, so every run tests the same numbers
    std::vector<u64> numbers(sample_count);
    for (u64& n : numbers) n = random() | 1;
    return numbers;
}

// The largest primes below 2^64: the slowest case of the test, every base runs to the end.
std::vector<u64> primes_below_2_to_64(std::size_t count) {
    std::vector<u64> primes;
    for (u64 n = u64_max; primes.size() < count; n -= 2)
        if (is_prime_candidate(n)) primes.push_back(n);
    return primes;
}

// Ascending primes from `start`, as the listing receives them.
std::vector<u64> primes_from(u64 start, std::size_t count) {
    std::vector<u64> primes;
    for (u64 n = start | 1; primes.size() < count; n += 2)
        if (is_prime_candidate(n)) primes.push_back(n);
    return primes;
}

// Odd numbers that alternate between ...99999 and the next ...00001: every step carries
// through five or six digits, while the gaps stay small enough to skip the full conversion.
std::vector<u64> carry_heavy_numbers() {
    std::vector<u64> numbers;
    for (u64 k = 1; numbers.size() < sample_count; ++k) {
        const u64 nines = 1'000'000'000'000 + k * 100'000 - 1;
        numbers.push_back(nines);
        numbers.push_back(nines + 2);
    }
    return numbers;
}

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

// A fresh formatter per pass, because each number must exceed the one before; its first
// line is a full conversion, spread over the whole pass.
void run_write_line(benchmark::State& state, const std::vector<u64>& numbers) {
    std::vector<char> block(numbers.size() * ascending_decimal::max_line + 32);
    std::size_t used = 0;
    for (auto _ : state) {
        ascending_decimal digits;
        used = 0;
        for (u64 n : numbers) used += digits.write_line(n, block.data() + used);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(numbers.size()));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(used));
}

void write_line_primes_near_10_to_12(benchmark::State& state) {
    run_write_line(state, primes_from(1'000'000'000'000, sample_count));
}
BENCHMARK(write_line_primes_near_10_to_12);

void write_line_carry_heavy(benchmark::State& state) {
    run_write_line(state, carry_heavy_numbers());
}
BENCHMARK(write_line_carry_heavy);

// What the incremental formatter is measured against: a full conversion of every number.
void to_chars_primes_near_10_to_12(benchmark::State& state) {
    const std::vector<u64> numbers = primes_from(1'000'000'000'000, sample_count);
    std::vector<char> block(numbers.size() * ascending_decimal::max_line);
    for (auto _ : state) {
        char* out = block.data();
        for (u64 n : numbers) {
            out = std::to_chars(out, out + 20, n).ptr;
            *out++ = '\n';
        }
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(numbers.size()));
}
BENCHMARK(to_chars_primes_near_10_to_12);

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

BENCHMARK_MAIN();
