// Checks the search's quota, its end at 2^64 - 1 and on the sink's refusal, long runs against
// tabulated primes, the stretches of a full sieve, and small quotas found without a sieve; all
// but the last also with the sieve ahead on another thread. The parallel search is checked with the
// writer it hands its units to.
#include "search/search.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "primality/primality.hpp"
#include "search/direct_search.hpp"
#include "search/recording_sink.hpp"
#include "search/sieve_ahead.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;
constexpr u64 top = ~u64{0};

namespace {

// The search on the calling thread and the one that sieves ahead on another keep one contract.
search_outcome on_one_thread(u64 start, u64 quota, prime_sink& sink) {
    return search_primes(start, quota, sink);
}
search_outcome sieving_ahead(u64 start, u64 quota, prime_sink& sink) {
    return search_primes_ahead(start, quota, sink);
}
constexpr std::pair<const char*, search_outcome (*)(u64, u64, prime_sink&)> searches[] = {
    {"on one thread", on_one_thread}, {"sieving ahead", sieving_ahead}};

}  // namespace

TEST(search, quotas_and_the_end_of_the_range) {
    const std::vector<u64> last_13 = {
        18446744073709551113u, 18446744073709551163u, 18446744073709551191u, 18446744073709551253u,
        18446744073709551263u, 18446744073709551293u, 18446744073709551337u, 18446744073709551359u,
        18446744073709551427u, 18446744073709551437u, 18446744073709551521u, 18446744073709551533u,
        18446744073709551557u};
    const u64 last = last_13.back(), from = 18446744073709551000u;
    const std::tuple<u64, u64, std::vector<u64>, bool> cases[] = {
        {0, 12, {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37}, false},
        {1, 2, {2, 3}, false},
        {3, 2, {3, 5}, false},
        {24, 3, {29, 31, 37}, false},
        {25, 1, {29}, false},
        {0, 0, {}, false},
        {from, 20, last_13, true},
        {from, 13, last_13, false},  // the quota is met, not the end
        {last, 1, {last}, false},
        {last, 2, {last}, true},
        {top, 3, {}, true}};
    for (const auto& [how, search] : searches) {
        for (const auto& [start, quota, primes, reached_end] : cases) {
            recording_sink sink;
            const search_outcome outcome = search(start, quota, sink);
            EXPECT_EQ(sink.primes, primes) << how << ", " << start << ", " << quota;
            EXPECT_EQ(outcome.found, primes.size()) << how << ", " << start << ", " << quota;
            EXPECT_EQ(outcome.reached_end, reached_end) << how << ", " << start << ", " << quota;
            EXPECT_FALSE(outcome.stopped);
        }
    }
}

// The last prime of long runs, from PARI/GP and primesieve: one wrong or missing prime
// anywhere changes it.
TEST(search, long_runs_end_at_tabulated_primes) {
    const std::tuple<u64, u64, u64> cases[] = {
        {0, 664579, 9999991},  // every prime below 10^7
        {u64{1} << 32, 400000, 4303846003},
        {(u64{1} << 42) - (1 << 22), 300000, 4398051049723},
        {(u64{1} << 53) - (1 << 21), 100000, 9007199256316561}};
    for (const auto& [how, search] : searches) {
        SCOPED_TRACE(how);
        for (const auto& [start, quota, last] : cases) {
            recording_sink sink;
            EXPECT_EQ(search(start, quota, sink).found, quota);
            ASSERT_EQ(sink.primes.size(), quota);
            EXPECT_EQ(sink.primes.back(), last) << start;
            EXPECT_TRUE(std::ranges::is_sorted(sink.primes));
        }
        recording_sink sink;  // 188928 primes lie in [2^64 - 2^23, 2^64)
        const search_outcome outcome = search(top - (1 << 23) + 1, 200000, sink);
        EXPECT_TRUE(outcome.reached_end);
        EXPECT_EQ(outcome.found, 188928u);
    }
}

// Stretches planned short on purpose: a full sieve that ends before the quota goes on with the
// next stretch, full or bounded, and the listing has no gap or repeat where they meet; with the
// sieve ahead also where the reader strikes its share of the bucket primes, the stretches meant
// to hold the quota (after which the sieve waits for the reader's count) and those cut short.
TEST(search, stretch_after_stretch_against_the_single_number_test) {
    const u64 start = 1000000000000000 - 500000;  // the root of the stretches: about 3.16 * 10^7
    const u64 quota = 40000;
    std::vector<u64> expected;
    for (u64 n = start; expected.size() < quota; ++n)
        if (is_prime_candidate(n)) expected.push_back(n);
    // A planner gives the same stretch for the same start on any thread: the reader plans the
    // first one too.
    const auto stretches = [](u64 length, u64 shared_from, bool holds, u64 full_ones) {
        return [=](u64 from, u64) -> sieve_stretch {
            if (from >= start + full_ones * (length + 1)) return {};  // then bounded to the end
            return {.stop = from + length,
                    .depth = sieve_depth::full,
                    .shared_from = shared_from,
                    .holds_quota = holds};
        };
    };
    const std::tuple<const char*, stretch_planner, bool> cases[] = {
        {"full, one thread", stretches(299999, top, true, 1000), false},
        {"full, then bounded", stretches(1000000, top, false, 2), false},
        {"full, the reader's share", stretches(377777, 10000000, true, 1000), true},
        {"cut short, the reader's share", stretches(1234567, 20000000, false, 1000), true},
        {"the reader's share, then bounded", stretches(555555, 4194320, true, 1), true}};
    for (const auto& [name, planner, shared] : cases) {
        SCOPED_TRACE(name);
        recording_sink sink;
        const search_outcome outcome =
            shared ? search_primes_ahead(start, quota, sink, {.planner = planner})
                   : search_primes(start, quota, sink, planner);
        EXPECT_EQ(outcome.found, quota);
        EXPECT_TRUE(sink.primes == expected);
    }
}

// Small quotas above 2^32 are tested number by number, without a sieve: from just above 2^32,
// near 10^18 and into the end of the range, against the single-number test.
TEST(search, small_quotas_without_a_sieve) {
    for (const auto& [start, quota] : {std::pair<u64, u64>{(u64{1} << 32) + 1, 2000},
                                       {1000000000000000000, 1000},
                                       {top - 3000, 1000}}) {
        std::vector<u64> expected;
        for (u64 n = start; expected.size() < quota; ++n) {
            if (is_prime_candidate(n)) expected.push_back(n);
            if (n == top) break;
        }
        recording_sink sink;
        const search_outcome outcome = search_directly(start, quota, sink);
        EXPECT_EQ(sink.primes, expected) << start;
        EXPECT_EQ(outcome.found, expected.size());
        EXPECT_EQ(outcome.reached_end, expected.size() < quota);
    }
    recording_sink refusing;
    refusing.refuse_after = 10;
    const search_outcome outcome = search_directly(1000000000000000000, 1000, refusing);
    EXPECT_TRUE(outcome.stopped && outcome.found == refusing.primes.size());
    EXPECT_TRUE(refusing.primes.size() >= 10 && refusing.primes.size() < 1000);
}

TEST(search, a_refusing_sink_stops_the_search) {
    for (const auto& [how, search] : searches) {
        for (const std::size_t refuse_after :
             {std::size_t{1}, std::size_t{8193}, std::size_t{30000}}) {
            for (const u64 start : {u64{0}, u64{1} << 50}) {
                recording_sink sink;
                sink.refuse_after = refuse_after;
                const search_outcome outcome = search(start, 1000000, sink);
                EXPECT_TRUE(outcome.stopped && !outcome.reached_end) << how << ", " << start;
                EXPECT_EQ(outcome.found, sink.primes.size());
                EXPECT_TRUE(sink.primes.size() >= refuse_after && sink.primes.size() < 1000000);
            }
        }
    }
}

}  // namespace zorvanteli

namespace zorvanteli {

// Near 2^64 a full sieve sets up 1.5 * 10^8 primes before its first segment, for a second or
// more; an interrupt is looked at a batch of primes at a time during it, on either thread, and
// ends the search before any prime.
TEST(search, interrupt_during_the_set_up_of_a_full_sieve) {
    const stretch_planner full = [](u64 start, u64) {
        return sieve_stretch{.stop = start + 400000000, .depth = sieve_depth::full};
    };
    const stretch_planner shared = [](u64 start, u64) {
        return sieve_stretch{
            .stop = start + 400000000, .depth = sieve_depth::full, .shared_from = 1000000000};
    };
    for (const bool ahead : {false, true}) {
        SCOPED_TRACE(ahead ? "sieving ahead" : "on one thread");
        std::atomic<int> asked = 0;
        const interruption_check third_time = [&] { return ++asked >= 3; };
        recording_sink sink;
        const search_outcome outcome =
            ahead ? search_primes_ahead(10000000000000000000u, 10000000, sink,
                                        {.planner = shared, .interrupted = third_time})
                  : search_primes(10000000000000000000u, 10000000, sink, full, third_time);
        EXPECT_TRUE(outcome.stopped);
        EXPECT_EQ(outcome.found, 0u);
        EXPECT_TRUE(sink.primes.empty());
        EXPECT_GE(asked, 3);
    }
}

}  // namespace zorvanteli
