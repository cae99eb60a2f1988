// Checks which strategy the plan picks, and with how many workers, at the edges of its cost
// model: searches of milliseconds, one processor, the bound 2^44 below which the sieve proves
// every prime, and work shared by as many workers as the quota is expected to take units.
#include "search/plan.hpp"

#include <gtest/gtest.h>

namespace zorvanteli {

using u64 = std::uint64_t;
constexpr u64 top = ~u64{0};
constexpr u64 p44 = 17592186044416;

// The plan's answers follow the machine's costs; these tests fix them, as measured on a processor
// with AVX2 and without IFMA, so that every host gets the same answers.
constexpr plan_costs avx2_costs{};

sieve_stretch one_thread_stretch(u64 start, u64 quota) {
    return plan_stretch(start, quota, 1, false, bucket_memory_budget, avx2_costs);
}

TEST(plan, picks_the_strategy_and_its_workers) {
    struct row {
        u64 start, quota;
        unsigned processors;
        strategy how;
        unsigned workers;
    };
    const row rows[] = {
        {0, 0, 2, strategy::one_thread, 0},
        {0, 100000, 2, strategy::one_thread, 0},  // milliseconds
        {0, 10000000, 1, strategy::one_thread, 0},
        {0, 10000000, 2, strategy::sieve_ahead, 1},
        {1000000000000, 10000000, 8, strategy::sieve_ahead, 1},
        {p44 - 1000000000, 1000000, 2, strategy::sieve_ahead, 1},    // ends 9.7*10^8 below 2^44
        {p44 - 1000000000, 100000000, 2, strategy::sieve_ahead, 1},  // a full sieve beyond
        {p44, 1000, 2, strategy::direct, 0},  // 30 thousand numbers, no sieve
        {1000000000000000000, 1000, 8, strategy::direct, 0},
        {18446744073709550000u, 30, 2, strategy::direct, 0},
        {top - 100000, top, 2, strategy::one_thread, 0},  // the range ends first
        {1000000000000000000, 100000, 1, strategy::one_thread, 0},
        {1000000000000000000, 100000, 2, strategy::work_units, 2},
        // 4.1 million numbers: the first six units, from 2^17 numbers doubling up to 2^21.
        {1000000000000000000, 100000, 64, strategy::work_units, 6},
        {0, top, 64, strategy::work_units, 64},
        // Where every prime to the root sets up faster than the survivors are confirmed.
        {1000000000000000, 1000000, 2, strategy::sieve_ahead, 1},
        {100000000000000000, 100000, 2, strategy::work_units, 2},
        {10000000000000000000u, 1000000, 2, strategy::work_units, 2},
    };
    for (const row& r : rows) {
        const search_plan plan = plan_search(r.start, r.quota, r.processors, 0, &avx2_costs);
        EXPECT_EQ(plan.how, r.how) << r.start << ", " << r.quota << ", " << r.processors;
        EXPECT_EQ(plan.workers, r.workers) << r.start << ", " << r.quota << ", " << r.processors;
    }
}

}  // namespace zorvanteli

namespace zorvanteli {

// A full sieve where setting up the primes to the root of the stop costs less than confirming
// the quota's survivors; its stop a little past where the quota is expected to be met, or
// nearer where the primes' records would outgrow their memory; a bounded one elsewhere.
TEST(plan, stretches_of_the_sieve) {
    // Below 2^44 the bounded sieve is exact already.
    EXPECT_EQ(one_thread_stretch(1000000000000, 10000000).depth, sieve_depth::bounded);
    // 10^6 primes from 10^15 end near 10^15 + 3.45 * 10^7 (the millionth is 1000000034538763,
    // primesieve), within the margin.
    const sieve_stretch full = one_thread_stretch(1000000000000000, 1000000);
    EXPECT_EQ(full.depth, sieve_depth::full);
    EXPECT_GT(full.stop, 1000000034538763u);
    EXPECT_LT(full.stop, 1000000034538763u + 1000000);
    // 10^7 from 10^17 take 3.9 * 10^8 numbers, whose primes to the root take more records than
    // the budget: the first stretch ends well before.
    const sieve_stretch window = one_thread_stretch(100000000000000000, 10000000);
    EXPECT_EQ(window.depth, sieve_depth::full);
    EXPECT_LT(window.stop, 100000000000000000 + 300000000);
    // 10^7 from 10^19 take 4.4 * 10^8 numbers: the 1.3 * 10^8 primes above half of that strike
    // them once at most and are set up once, in 60 MB; with the records of the rest in three
    // windows of 1.5 * 10^8 numbers, the run holds the quota in the large budget. The usual one
    // would set up every prime again for a second run.
    const sieve_stretch top_run = plan_stretch(10000000000000000000u, 10000000, 1, false,
                                               large_bucket_memory_budget, avx2_costs);
    EXPECT_EQ(top_run.depth, sieve_depth::full);
    EXPECT_TRUE(top_run.holds_quota);
    EXPECT_GT(top_run.window, 100000000u);
    EXPECT_LT(top_run.window, 200000000u);
    EXPECT_FALSE(
        plan_stretch(10000000000000000000u, 10000000, 1, false, bucket_memory_budget, avx2_costs)
            .holds_quota);
    // Below 10^18 the usual budget holds, however much is allowed.
    EXPECT_FALSE(
        plan_stretch(100000000000000000, 10000000, 1, false, large_bucket_memory_budget, avx2_costs)
            .holds_quota);
    // 10^5 primes from 10^17 are confirmed sooner than 1.7 * 10^7 primes set up.
    EXPECT_EQ(one_thread_stretch(100000000000000000, 100000), sieve_stretch{});
    EXPECT_EQ(one_thread_stretch(top - 1000, 1000), sieve_stretch{});  // the range ends first
}

}  // namespace zorvanteli

namespace zorvanteli {

// Where the process may take little memory, the full sieve's records get what the rest of the
// program leaves, or none: then the survivors are confirmed, as 10^6 primes from 10^17 are.
TEST(plan, memory_short_of_the_budget) {
    constexpr std::uint64_t mib = 1 << 20;
    EXPECT_EQ(bucket_budget(0), large_bucket_memory_budget);
    EXPECT_EQ(bucket_budget(1024 * mib), large_bucket_memory_budget);
    EXPECT_EQ(bucket_budget(40 * mib), 16.0 * mib);
    EXPECT_EQ(bucket_budget(24 * mib), 0.0);
    const u64 start = 100000000000000000;
    EXPECT_EQ(plan_search(start, 1000000, 2, 0, &avx2_costs).how, strategy::sieve_ahead);
    const search_plan short_of_memory = plan_search(start, 1000000, 2, 24 * mib, &avx2_costs);
    EXPECT_EQ(short_of_memory.how, strategy::work_units);
    EXPECT_EQ(short_of_memory.budget, 0.0);
    // Where two threads' sieves do not fit, one thread searches.
    EXPECT_EQ(plan_search(1000000000000000, 100000, 2, 10 * mib, &avx2_costs).how,
              strategy::work_units);
    EXPECT_EQ(plan_search(1000000000000000, 100000, 2, 10 * mib - 1, &avx2_costs).how,
              strategy::one_thread);
    EXPECT_EQ(plan_search(1000000000000, 3000000, 2, 8 * mib, &avx2_costs).how,
              strategy::one_thread);
}

}  // namespace zorvanteli
