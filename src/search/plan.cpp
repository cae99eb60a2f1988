// The cost model: how many numbers a quota takes from its start, what they cost to search where
// the sieve proves the primes and where its survivors are tested, and what threads cost to start.
#include "search/plan.hpp"

#include <algorithm>
#include <cmath>

#include "platform/processor.hpp"
#include "primality/baillie_psw.hpp"
#include "primality/integer_sqrt.hpp"
#include "search/cost_measurement.hpp"
#include "sieve/sieve.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
constexpr u64 top = ~u64{0};

// A quota met within this many numbers above 2^32 is found sooner by testing every number free
// of the primes up to 61 than by building the sieve: its sieving primes and their first
// multiples take several milliseconds.
constexpr double direct_search_numbers = 1 << 16;

// Testing a survivor costs about as much as sieving this many numbers; a few survivors are left
// of every hundred numbers, which makes the confirmed part of the range about 16 times costlier.
constexpr double confirmation_cost = 16;

// Below this much work, in numbers sieved, one thread is done before a second one would have
// built its sieve: a few milliseconds.
constexpr double pool_threshold = 1 << 23;

// The work units where the workers share a search. In the dense ranges about one segment of the
// sieve: larger ones cost text memory, smaller ones the set-up of the sieve's first multiples,
// once per unit.
constexpr unit_sizes shared_units{.text_bytes = std::size_t{2400} << 10};

// Below this much memory for the whole process a second thread's sieve and buffers do not fit
// beside the first one's, while one thread alone searches in 8 MiB: measured from 10^15 to 10^19,
// two workers ran out of memory at 9 MiB and fitted in 10.
constexpr u64 two_threads_memory = u64{10} << 20;

// About how many numbers the quota takes from the start: quota * ln x, x near the end of the
// search, whose first estimate from the start is good enough for the logarithm. Sets `end`.
double expected_reach(u64 start, u64 quota, double& end) {
    const double from = static_cast<double>(std::max<u64>(start, 100));
    const double count = static_cast<double>(quota);
    end = from + count * std::log(from);
    return std::min(count * std::log(end), static_cast<double>(top - start) + 1);
}

// The units of the plan the quota is expected to take, but not more than `at_most`: more
// workers than that would only build their sieves.
unsigned expected_units(u64 start, double reach, const unit_sizes& sizes, unsigned at_most) {
    work_plan plan{start, sizes};
    unsigned units = 0;
    for (double covered = 0; covered < reach && units < at_most; ++units) {
        const std::optional<work_unit> unit = plan.next();
        if (!unit) break;
        covered += static_cast<double>(unit->high - unit->low) + 1;
    }
    return units;
}

double confirmation_ns(u64 stop, const plan_costs& costs) {
    return stop < (u64{1} << 62) ? costs.confirmation : costs.confirmation_top;
}

// pi(x), the primes up to x, well within a per cent from 10^6 on.
double prime_count(double x) {
    return x / (std::log(x) - 1.1);
}

// The records that a full sieve's window of `length` numbers holds at its start, for the primes
// in (low, to]: each with a multiple prime to 30 in the window. Below 8/30 of the length they all
// have one; above, a prime p has one with odds of about (8/30) length / p, and the sum of 1/p
// over primes is a difference of ln ln.
double bucket_records(double length, double to, double low) {
    if (to <= low) return 0;
    const double sure = std::clamp(length * 8 / 30, low, to);
    return prime_count(sure) - prime_count(low) +
           length * 8 / 30 * (std::log(std::log(to)) - std::log(std::log(sure)));
}

// The strikes of the primes in (from, root] in a run of `length` numbers, each of which strikes
// it once at most: from > 8/30 of the length.
double single_strikes(double length, double from, double root) {
    return from >= root ? 0
                        : length * 8 / 30 * (std::log(std::log(root)) - std::log(std::log(from)));
}

// How a full sieve covers `reach` numbers below a root of `root` within `budget` bytes: in runs,
// each setting up every prime to the root once; within a run the primes above half its length
// file their single strikes, 4 bytes each, and the others their records, 8 bytes each, in
// windows that each set them up afresh. The cheapest layout that fits, and its set-up in ns.
struct full_layout {
    double runs = 0, windows = 0, set_up = 0;
    double memory = 0;  // of the largest run
    bool fits() const { return runs > 0; }
};

full_layout lay_out(double reach, double root, double low, double budget, const plan_costs& costs) {
    full_layout best;
    const double all_primes = prime_count(root) - prime_count(low);
    for (double runs = 1; runs <= 64; ++runs) {
        const double length = std::ceil(reach / runs);
        const double records_to = std::clamp(length / 2, low, root);
        const double singles_memory = 4 * single_strikes(length, records_to, root);
        const double room = budget - singles_memory;
        if (room <= 0) continue;
        // The fewest windows whose records fit what the singles leave.
        const auto records_memory = [&](double windows) {
            return 8 * bucket_records(std::ceil(length / windows), records_to, low);
        };
        double windows = 1;
        while (windows < 1e6 && records_memory(windows) > room) windows *= 2;
        if (records_memory(windows) > room) continue;
        for (double step = windows / 4; step >= 1; step /= 2)
            if (records_memory(windows - step) <= room) windows -= step;
        const double record_primes = prime_count(records_to) - prime_count(low);
        const double run_set_up =
            (all_primes - record_primes) * costs.set_up +
            single_strikes(length, records_to, root) * costs.record / 2 +
            windows * (record_primes * costs.set_up +
                       bucket_records(std::ceil(length / windows), records_to, low) * costs.record);
        if (!best.fits() || runs * run_set_up < best.set_up)
            best = {runs, windows, runs * run_set_up, singles_memory + records_memory(windows)};
        // Every further run sets up its single primes once more.
        if (best.fits() && runs * (all_primes - record_primes) * costs.set_up > best.set_up) break;
    }
    return best;
}

// The prime x above which the primes to `root` are the given share of those above `low`.
double prime_at_share(double share, double root, double low) {
    const double wanted = prime_count(low) + (1 - share) * (prime_count(root) - prime_count(low));
    double below = low, above = root;
    for (int i = 0; i < 40; ++i) {
        const double middle = (below + above) / 2;
        (prime_count(middle) < wanted ? below : above) = middle;
    }
    return below;
}

}  // namespace

plan_costs assumed_costs() {
    plan_costs c;
    // See doc/algorithms.md: IFMA lanes on an Intel Xeon (Ice Lake), the first strikes of eight
    // primes at a time on AVX-512, one at a time portably.
    if (available(arithmetic::ifma)) {
        c.confirmation = 180;
        c.confirmation_top = 195;
    }
    if (this_processor().avx512_bytes) c.set_up = 5;
    if (!this_processor().avx2) c.set_up = 11;
    return c;
}

sieve_stretch plan_stretch(u64 start, u64 quota, unsigned threads, bool shared, double budget,
                           const plan_costs& costs) {
    if (quota == 0) return {};
    double end = 0;
    const double expected = expected_reach(start, quota, end);
    // The count of primes in a range scatters by about its square root, and the estimate of
    // their density is not exact either: a margin makes the stretch hold the quota nearly
    // always. When it does not, the next stretch goes on from its stop.
    const double count = static_cast<double>(quota);
    const double reach = expected * (1.002 + 4 / std::sqrt(count)) + 64 * std::log(end);
    const double room = static_cast<double>(top - start);
    if (reach >= room) return {};
    const u64 stop = start + static_cast<u64>(reach);
    const double root = static_cast<double>(integer_sqrt(stop));
    const double low = static_cast<double>(segmented_sieve::full_depth_buckets_from(
        segmented_sieve::full_depth_segment_bytes(start, stop)));
    // Where the bounded sieve reaches the root, it is exact already; a full one pays there only
    // to share the large primes' set-up with the writer, where they are many.
    const bool exact = root <= static_cast<double>(segmented_sieve::sieve_bound);
    if (exact && !(shared && root >= 2 * low && root >= (1 << 21))) return {};

    // The usual budget; more, up to what the whole range's records would take, for a long range
    // near the top, where every run sets up 10^8 primes or more: when it saves a tenth.
    full_layout layout = lay_out(reach, root, low, std::min(budget, bucket_memory_budget), costs);
    if (start >= large_runs_from && reach > large_run_length && budget > bucket_memory_budget) {
        const double most = std::min(budget, 8 * bucket_records(reach, root, low));
        const full_layout large = lay_out(reach, root, low, most, costs);
        if (large.fits() && (!layout.fits() || large.set_up < 0.9 * layout.set_up)) layout = large;
    }
    if (!layout.fits()) return {};
    const double length = std::ceil(reach / layout.runs);
    // Wall times: a full sieve shared with the writer takes about half its work, set-up, sieve
    // and lines, where one run holds the quota (after a run cut short, the writer sets up its
    // share only once the sieve hands it the next one's first segment); confirming is shared by
    // `threads` workers while the writer writes.
    const double set_up = layout.set_up / layout.runs;
    const double sieving = reach * costs.sieve_number;
    const double writing = count * costs.line;
    const double full_work = layout.set_up + sieving + writing;
    const double full = shared && layout.runs == 1 ? full_work / 2 : full_work;
    const double confirming = count * confirmation_ns(stop, costs) + sieving;
    const double confirmed =
        threads <= 1 ? confirming + writing : std::max(confirming / threads, writing);
    if (!exact && full >= confirmed) return {};
    sieve_stretch stretch{
        .stop = start + static_cast<u64>(length),
        .depth = sieve_depth::full,
        .window = layout.windows <= 1 ? 0 : static_cast<u64>(std::ceil(length / layout.windows)),
        .holds_quota = layout.runs == 1};
    if (shared) {
        // The writer's share balances the two threads: the sieve's set-up of the rest and its
        // other work against the writer's set-up of its share and its lines.
        const double lines = writing * std::min(length / reach, 1.0);
        const double share = std::clamp(
            (set_up + sieving * std::min(length / reach, 1.0) - lines) / (2 * set_up), 0.0, 0.9);
        if (share > 0.05) stretch.shared_from = static_cast<u64>(prime_at_share(share, root, low));
    }
    if (exact && stretch.shared_from == top) return {};
    return stretch;
}

stretch_planner stretches_for(bool shared, double budget, const plan_costs& costs) {
    return [shared, budget, costs](u64 start, u64 quota) {
        return plan_stretch(start, quota, 1, shared, budget, costs);
    };
}

double bucket_budget(u64 memory_limit) {
    // The rest of the program takes some 24 MiB at most: a sieve and its buffers, the segments
    // in flight, the text, the threads' stacks, the program itself. With less left than 4 MiB
    // a full sieve would be all stretches.
    constexpr double rest = 24.0 * (1 << 20), least = 4.0 * (1 << 20);
    if (memory_limit == 0) return large_bucket_memory_budget;
    const double left = static_cast<double>(memory_limit) - rest;
    return left < least ? 0 : std::min(left, large_bucket_memory_budget);
}

namespace {

search_plan plan_search_within(u64 start, u64 quota, unsigned processors, double budget,
                               const plan_costs& costs) {
    double end = 0;
    const double reach = expected_reach(start, quota, end);
    const double exact_below = static_cast<double>(segmented_sieve::exact_below);
    // A prime comes about every ln x numbers.
    if (start > (u64{1} << 32) &&
        static_cast<double>(quota) * std::log(static_cast<double>(start)) <= direct_search_numbers)
        return {.how = strategy::direct};
    if (processors <= 1) return {.how = strategy::one_thread};
    // A full sieve whose set-up the writer shares: even a search of milliseconds is mostly
    // set-up there.
    const sieve_stretch stretch = plan_stretch(start, quota, processors, true, budget, costs);
    if (stretch.shared_from != top) return {.how = strategy::sieve_ahead, .workers = 1};
    const double work = end >= exact_below ? confirmation_cost * reach : reach;
    if (work < pool_threshold) return {.how = strategy::one_thread};
    // Where the sieve alone proves the primes, writing the listing takes most of the time, and
    // workers whose text the writer must fetch from another core lose to one thread that writes
    // lines still in its cache (measured on two cores: a third slower shared); a second processor
    // sieves ahead for that thread instead.
    if (static_cast<double>(start) + reach < exact_below || stretch.depth == sieve_depth::full)
        return {.how = strategy::sieve_ahead, .workers = 1};
    return {.how = strategy::work_units,
            .workers = std::max(expected_units(start, reach, shared_units, processors), 1u),
            .units = shared_units};
}

}  // namespace

search_plan plan_search(u64 start, u64 quota, unsigned processors, u64 memory_limit,
                        const plan_costs* given) {
    plan_costs costs = given != nullptr ? *given : assumed_costs();
    // Measuring takes two or three milliseconds: worth it where a search takes a hundred, about a
    // nanosecond for each number and ten for each line.
    double end = 0;
    const double seconds =
        expected_reach(start, quota, end) * 1e-9 + static_cast<double>(quota) * 1e-8;
    if (given == nullptr && seconds >= 0.1) costs = measured_costs();
    const double budget = bucket_budget(memory_limit);
    if (memory_limit != 0 && memory_limit < two_threads_memory) processors = 1;
    search_plan plan = plan_search_within(start, quota, processors, budget, costs);
    plan.budget = budget;
    plan.costs = costs;
    return plan;
}

}  // namespace zorvanteli
