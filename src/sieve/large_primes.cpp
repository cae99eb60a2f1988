// The large sieving primes' loop, one step along the 30-wheel per strike. (Stepping along the
// 210-wheel strikes a seventh fewer multiples, but its longer table and step cost more than that
// saves here.)
#include "sieve/large_primes.hpp"

#include <array>

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
using u8 = std::uint8_t;

}  // namespace

void large_sieving_primes::add(std::span<const std::uint32_t> primes, u64 low, u64 last) {
    // Room for exactly these, the most numerous of the sieving primes: no doubling of the table.
    primes_.reserve(primes_.size() + primes.size());
    for (const u64 p : primes) {
        wheel::position at;
        if (!wheel::first_strike(p, low, last, at)) continue;  // no multiple left in range
        primes_.push_back(
            {static_cast<std::uint32_t>(p / 30 * 8 + wheel::bit_of_residue[wheel::residue(p)]),
             static_cast<std::uint32_t>(at.byte * 8 + at.j)});
    }
}

void large_sieving_primes::sieve(u8* segment, u64 bytes) {
    for (entry& e : primes_) {
        const u64 pd = e.pd_class / 8;
        const unsigned c = e.pd_class % 8;
        u64 byte = e.next / 8;
        unsigned j = e.next % 8;
        if (byte >= bytes) {  // no strike in this segment
            e.next -= static_cast<std::uint32_t>(bytes * 8);
            continue;
        }
        std::array<u64, 8> step;
        for (unsigned k = 0; k < 8; ++k)
            step[k] = pd * wheel::strikes.gap[k] + wheel::strikes.step_carry[c][k];
        do {
            segment[byte] &= wheel::strike_masks[c][j];
            byte += step[j];
            j = (j + 1) % 8;
        } while (byte < bytes);
        e.next = static_cast<std::uint32_t>((byte - bytes) * 8 + j);
    }
}

}  // namespace zorvanteli
