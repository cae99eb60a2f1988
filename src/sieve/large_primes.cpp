// The large sieving primes' loop, one step along the 30-wheel per strike. (Stepping along the
// 210-wheel strikes a seventh fewer multiples, but its longer table and step cost more than that
// saves here.)
#include "sieve/large_primes.hpp"

#include <algorithm>
#include <array>

#include "sieve/first_strikes.hpp"

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
using u8 = std::uint8_t;

}  // namespace

void large_sieving_primes::add(std::span<const std::uint32_t> primes, u64 low, u64 last,
                               instruction_set set) {
    // Room for exactly these, the most numerous of the sieving primes: no doubling of the table.
    primes_.reserve(primes_.size() + primes.size());
    // Those the first strikes take, a batch at a time, from where their quotients need no
    // division; the few below one by one.
    const auto batched =
        std::ranges::lower_bound(primes, static_cast<std::uint32_t>(first_strikes_from));
    for (const u64 p : std::span{primes.begin(), batched}) {
        wheel::position at;
        if (!wheel::first_strike(p, low, last, at)) continue;  // no multiple left in range
        primes_.push_back({on_the_wheel(p), static_cast<std::uint32_t>(at.byte * 8 + at.j)});
    }
    // On the heap: the sieve may run on a small stack.
    constexpr std::size_t batch = 1024;
    wheel_primes_.resize(batch + 8);
    kept_.resize(batch + 8);
    strikes_.resize(batch + 8);
    for (auto rest = std::span{batched, primes.end()}; !rest.empty();) {
        const std::size_t n = std::min(rest.size(), batch);
        for (std::size_t i = 0; i < n; ++i) wheel_primes_[i] = on_the_wheel(rest[i]);
        rest = rest.subspan(n);
        const std::size_t count = first_strikes(std::span{wheel_primes_.data(), n}, low, last,
                                                kept_.data(), strikes_.data(), set);
        for (std::size_t i = 0; i < count; ++i)
            primes_.push_back({kept_[i], static_cast<std::uint32_t>(strikes_[i])});
    }
}

void large_sieving_primes::sieve(u8* segment, u64 bytes) {
    for (entry& e : primes_) {
        u64 byte = e.next / 8;
        if (byte >= bytes) {  // no strike in this segment
            e.next -= static_cast<std::uint32_t>(bytes * 8);
            continue;
        }
        const u64 pd = e.pd_class / 8;
        const unsigned c = e.pd_class % 8;
        unsigned j = e.next % 8;
        // Few strikes a segment for most of them: each step worked out as it is taken.
        do {
            segment[byte] &= wheel::strike_masks[c][j];
            byte += pd * wheel::strikes.gap[j] + wheel::strikes.step_carry[c][j];
            j = (j + 1) % 8;
        } while (byte < bytes);
        e.next = static_cast<std::uint32_t>((byte - bytes) * 8 + j);
    }
}

}  // namespace zorvanteli
