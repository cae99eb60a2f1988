// Checks the search with the sieve on its own thread: the same primes and outcome as on one
// thread, across segments, into the tested survivors above 2^44, at the end of the range, and when
// the sink refuses part-way.
#include "search/sieve_ahead.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
constexpr u64 top = ~u64{0};

class recording_sink final : public prime_sink {
public:
    std::vector<u64> primes;
    std::size_t refuse_after = ~std::size_t{0};  // primes taken
    std::thread::id thread = std::this_thread::get_id();
    bool take(std::span<const u64> batch) override {
        EXPECT_EQ(std::this_thread::get_id(), thread) << "only the calling thread takes primes";
        EXPECT_LT(primes.size(), refuse_after) << "called again after refusing";
        primes.insert(primes.end(), batch.begin(), batch.end());
        return primes.size() < refuse_after;
    }
};

TEST(sieve_ahead, quotas_and_the_end_of_the_range) {
    const std::vector<u64> last_13 = {
        18446744073709551113u, 18446744073709551163u, 18446744073709551191u, 18446744073709551253u,
        18446744073709551263u, 18446744073709551293u, 18446744073709551337u, 18446744073709551359u,
        18446744073709551427u, 18446744073709551437u, 18446744073709551521u, 18446744073709551533u,
        18446744073709551557u};
    const u64 from = 18446744073709551000u;
    const std::tuple<u64, u64, std::vector<u64>, bool> cases[] = {
        {0, 12, {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37}, false},
        {1, 2, {2, 3}, false},
        {5, 1, {5}, false},
        {24, 3, {29, 31, 37}, false},
        {0, 0, {}, false},
        {from, 20, last_13, true},
        {from, 13, last_13, false},  // the quota is met, not the end
        {top, 3, {}, true}};
    for (const auto& [start, quota, primes, reached_end] : cases) {
        recording_sink sink;
        std::atomic<int> started = 0;
        const search_outcome outcome =
            search_primes_ahead(start, quota, sink, {.worker_started = [&] { ++started; }});
        EXPECT_EQ(sink.primes, primes) << start << ", " << quota;
        EXPECT_EQ(outcome.found, primes.size()) << start << ", " << quota;
        EXPECT_EQ(outcome.reached_end, reached_end) << start << ", " << quota;
        EXPECT_FALSE(outcome.stopped);
        EXPECT_EQ(started, quota == 0 ? 0 : 1);
    }
}

// Long runs over many segments, with two and with three segments in flight; the last prime of
// each from PARI/GP and primesieve. Above 2^44 the survivors are tested.
TEST(sieve_ahead, long_runs_end_at_tabulated_primes) {
    const std::tuple<u64, u64, u64> cases[] = {
        {0, 664579, 9999991},  // every prime below 10^7
        {u64{1} << 32, 400000, 4303846003},
        {(u64{1} << 42) - (1 << 22), 300000, 4398051049723},
        {(u64{1} << 53) - (1 << 21), 100000, 9007199256316561}};
    for (const std::size_t segments : {2u, 3u}) {
        for (const auto& [start, quota, last] : cases) {
            recording_sink sink;
            EXPECT_EQ(search_primes_ahead(start, quota, sink, {.segments = segments}).found, quota);
            ASSERT_EQ(sink.primes.size(), quota);
            EXPECT_EQ(sink.primes.back(), last) << start;
            EXPECT_TRUE(std::ranges::is_sorted(sink.primes));
        }
    }
    // The first segment from 0 covers 30 * 32 KiB numbers, to 983039: quotas that end at its
    // last prime and one past it (PARI/GP: primepi(983039) = 77279).
    for (const auto& [quota, last] : {std::pair<u64, u64>{77279, 982981}, {77280, 983063}}) {
        recording_sink sink;
        const search_outcome outcome = search_primes_ahead(0, quota, sink);
        EXPECT_TRUE(outcome.found == quota && !outcome.reached_end && !outcome.stopped);
        EXPECT_EQ(sink.primes.back(), last);
    }
    recording_sink sink;  // 188928 primes lie in [2^64 - 2^23, 2^64)
    const search_outcome outcome = search_primes_ahead(top - (1 << 23) + 1, 200000, sink);
    EXPECT_TRUE(outcome.reached_end);
    EXPECT_EQ(outcome.found, 188928u);
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

// A refusal (an interrupt) ends the search at once; the primes taken so far stand.
TEST(sieve_ahead, refusal_stops_the_search) {
    for (const std::size_t refuse_after : {1u, 8192u, 8193u, 500000u}) {
        recording_sink sink;
        sink.refuse_after = refuse_after;
        const search_outcome outcome = search_primes_ahead(0, 10000000, sink);
        EXPECT_TRUE(outcome.stopped);
        EXPECT_FALSE(outcome.reached_end);
        EXPECT_EQ(outcome.found, sink.primes.size());
        EXPECT_GE(sink.primes.size(), refuse_after);
        EXPECT_EQ(sink.primes.front(), 2u);
    }
}

}  // namespace
}  // namespace zorvanteli
