// Timing the confirmation of a short bounded sieve's survivors, and the making and first strikes
// of primes near 2^31; the least of a few tries, which another program on the processor only
// makes longer.
#include "search/cost_measurement.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "primality/baillie_psw.hpp"
#include "sieve/first_strikes.hpp"
#include "sieve/sieve.hpp"
#include "sieve/survivors.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
using clock = std::chrono::steady_clock;

constexpr int tries = 2;

// The least time of `tries` calls of `f`, in nanoseconds.
template <class F>
double least_time(F&& f) {
    double least = std::numeric_limits<double>::infinity();
    for (int i = 0; i < tries; ++i) {
        const clock::time_point t0 = clock::now();
        f();
        least =
            std::min(least, std::chrono::duration<double, std::nano>(clock::now() - t0).count());
    }
    return least;
}

// A segment's set bits: its survivors, or on the wheel, its primes.
std::vector<u64> survivors_of(u64 start, u64 stop) {
    segmented_sieve sieve{start, stop};
    std::unique_ptr<u64[]> words = segmented_sieve::make_buffer();
    segmented_sieve::segment_bits bits;
    std::vector<u64> numbers;
    while (sieve.next_segment(words, bits)) {
        // A short range's survivors: a few thousand.
        const std::size_t size = numbers.size();
        const auto room = static_cast<std::size_t>(bits.survivors) + 64;
        numbers.resize(size + room);
        numbers.resize(
            size + collect_survivors(words.get(), bits.words, bits.low, numbers.data() + size, room)
                       .numbers);
    }
    return numbers;
}

// The cost of the test per prime and per composite survivor, from the survivors of 2^14
// numbers from `start`, some 1100, confirmed 512 at a time as the sieve confirms them: the vector
// lanes take 64 at a time, and a smaller sample would pay for lanes it leaves empty.
struct confirmation_times {
    double prime = 0, composite = 0;
};
confirmation_times time_confirmation(u64 start) {
    const std::vector<u64> survivors = survivors_of(start, start + (u64{1} << 14) - 1);
    // Confirms in batches of 512, keeping the primes at the front.
    const auto confirm = [](std::vector<u64>& numbers) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < numbers.size(); i += 512) {
            const std::size_t n = std::min<std::size_t>(512, numbers.size() - i);
            std::copy_n(numbers.begin() + static_cast<std::ptrdiff_t>(i), n,
                        numbers.begin() + static_cast<std::ptrdiff_t>(kept));
            kept += keep_primes(std::span{numbers.data() + kept, n});
        }
        numbers.resize(kept);
    };
    std::vector<u64> numbers;
    const double all = least_time([&] {
        numbers = survivors;
        confirm(numbers);
    });
    const std::size_t primes = numbers.size();
    const std::vector<u64> kept = numbers;
    const double only_primes = least_time([&] {
        numbers = kept;
        confirm(numbers);
    });
    confirmation_times t;
    t.prime = only_primes / static_cast<double>(std::max<std::size_t>(primes, 1));
    t.composite = std::max(all - only_primes, 0.0) /
                  static_cast<double>(std::max<std::size_t>(survivors.size() - primes, 1));
    return t;
}

// A bounded sieve of a long range keeps the numbers free of the primes to 2^22: by Mertens'
// theorem e^-gamma / ln 2^22 of them, against 1 / ln x primes.
double survivors_per_prime(double x) {
    return std::log(x) * 0.5614594835668851 / std::log(0x1p22);
}

// Making a prime near 2^32 by a sieve of its own and reading it out: 0.1 ns for each of the
// 21 numbers about a prime there, measured on both development machines.
constexpr double making_ns = 2;

}  // namespace

plan_costs measure_costs() {
    plan_costs costs;
    // Below 2^62 and above, where the arithmetic differs.
    const double heights[] = {1e18, 1.8e19};
    double* const results[] = {&costs.confirmation, &costs.confirmation_top};
    for (int i = 0; i < 2; ++i) {
        const confirmation_times t = time_confirmation(static_cast<u64>(heights[i]));
        *results[i] = t.prime + (survivors_per_prime(heights[i]) - 1) * t.composite;
    }

    // The first strikes near 10^19 of some 11000 primes near 2^31; making them, with a sieve of
    // their own, costs about as much again on any processor, which a range this short would
    // not show.
    constexpr u64 from = u64{1} << 31;
    std::vector<std::uint32_t> primes;
    for (const u64 p : survivors_of(from, from + (u64{30} << 13) - 1))
        primes.push_back(on_the_wheel(p));
    std::vector<std::uint32_t> kept(primes.size() + 8);
    std::vector<u64> strikes(primes.size() + 8);
    constexpr u64 low = 9'999'999'999'999'999'990u;  // a multiple of 30
    const double striking = least_time(
        [&] { first_strikes(primes, low, low + (u64{1} << 28), kept.data(), strikes.data()); });
    costs.set_up =
        making_ns + striking / static_cast<double>(std::max<std::size_t>(primes.size(), 1));
    return costs;
}

const plan_costs& measured_costs() {
    static const plan_costs costs = measure_costs();
    return costs;
}

}  // namespace zorvanteli
