// Checks what is particular to the search with the sieve on its own thread: segments in flight,
// quotas met at a segment's end, the crossing into tested survivors, the thread it starts. Its
// quotas, the end of the range and refusals are checked with the search on one thread.
#include "search/sieve_ahead.hpp"

#include <gtest/gtest.h>

#include <atomic>

#include "search/recording_sink.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;

// Every prime below 10^7 (664579, the last 9999991), with two and with three segments in
// flight: the sieve waits for the reader, or the reader for the sieve.
TEST(sieve_ahead, segments_in_flight) {
    for (const std::size_t segments : {2u, 3u}) {
        recording_sink sink;
        std::atomic<int> started = 0;
        const search_outcome outcome = search_primes_ahead(
            0, 664579, sink, {.worker_started = [&] { ++started; }, .segments = segments});
        EXPECT_TRUE(outcome.found == 664579 && !outcome.reached_end && !outcome.stopped);
        EXPECT_EQ(sink.primes.back(), 9999991u);
        EXPECT_EQ(started, 1);
    }
    recording_sink none;
    std::atomic<int> started = 0;
    search_primes_ahead(0, 0, none, {.worker_started = [&] { ++started; }});
    EXPECT_EQ(started, 0);  // no thread for no primes
}

// The first segment from 0 covers 30 * 32 KiB numbers, to 983039: quotas that end at its last
// prime and one past it (PARI/GP: primepi(983039) = 77279).
TEST(sieve_ahead, quota_met_at_a_segment_end) {
    for (const auto& [quota, last] : {std::pair<u64, u64>{77279, 982981}, {77280, 983063}}) {
        recording_sink sink;
        const search_outcome outcome = search_primes_ahead(0, quota, sink);
        EXPECT_TRUE(outcome.found == quota && !outcome.reached_end && !outcome.stopped);
        EXPECT_EQ(sink.primes.back(), last);
    }
}

// From where the sieve proves the primes into where its survivors are tested, from the square
// of 2^22 + 1 = 17592194433025 on: the same listing as the search on one thread.
TEST(sieve_ahead, into_the_tested_survivors_as_on_one_thread) {
    const u64 start = 17592194433025 - 3000000;
    recording_sink ahead, alone;
    search_primes_ahead(start, 200000, ahead);
    search_primes(start, 200000, alone);
    EXPECT_GT(alone.primes.back(), 17592194433025u);
    EXPECT_TRUE(ahead.primes == alone.primes);
}

}  // namespace
}  // namespace zorvanteli
