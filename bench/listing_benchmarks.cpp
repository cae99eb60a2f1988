// The listing's line formatting against a full conversion of every number, and whole listings on
// one thread and on several, into sinks that drop the bytes.
#include <benchmark/benchmark.h>

#include <charconv>
#include <vector>

#include "listing/line_format.hpp"
#include "listing/listing.hpp"
#include "sample_numbers.hpp"

namespace {

using namespace zorvanteli;
using namespace zorvanteli::bench;

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

// The whole listing but the writing: search, formatting and hand-over, for a million primes
// from 10^12 (the dense range, where the listing is large) and 10^5 from 10^18 (where the
// Baillie-PSW test does most of the work). Wall time, since it is shared among threads.
void list_primes_dropped(benchmark::State& state, u64 start, u64 quota) {
    struct dropping_sink final : line_sink {
        std::uint64_t bytes = 0;
        void write(std::string_view text, std::uint64_t) override { bytes += text.size(); }
    } file, console;
    const unsigned threads = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        const search_outcome outcome =
            list_primes(start, quota, file, console, {.threads = threads});
        benchmark::DoNotOptimize(outcome);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(quota));
    state.SetBytesProcessed(static_cast<std::int64_t>(file.bytes));
}

void list_primes_at_10_to_12(benchmark::State& state) {
    list_primes_dropped(state, 1'000'000'000'000, 1'000'000);
}
BENCHMARK(list_primes_at_10_to_12)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void list_primes_at_10_to_18(benchmark::State& state) {
    list_primes_dropped(state, 1'000'000'000'000'000'000, 100'000);
}
BENCHMARK(list_primes_at_10_to_18)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
