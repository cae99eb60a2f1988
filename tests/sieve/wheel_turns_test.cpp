// Checks the unrolled turns that the small and the medium sieving primes strike with: piece by
// piece, with and without spilling past a piece's end, over segment after segment, at heights
// where a prime starts at its square, inside a turn, or has no multiple left.
#include "sieve/wheel_turns.hpp"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "sieve/wheel.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;

// Numbers low + 30i + residues[k] for bytes i < count that some prime strikes: p * q with q prime
// to 30 and q >= p.
static std::vector<std::uint8_t> struck_by_hand(const std::vector<u64>& primes, u64 low,
                                                std::size_t count) {
    std::vector<std::uint8_t> bytes(count, 0xFF);
    for (u64 p : primes)
        for (u64 q = std::max(p, low / p); q <= (low + 30 * count) / p; ++q)
            if (std::gcd(q, u64{30}) == 1 && p * q >= low && p * q < low + 30 * count)
                bytes[static_cast<std::size_t>((p * q - low) / 30)] &= static_cast<std::uint8_t>(
                    ~(1u << wheel::bit_of_residue[wheel::residue(p * q)]));
    return bytes;
}

TEST(wheel_turns, strike_every_multiple_and_nothing_else_across_pieces_and_segments) {
    const std::vector<u64> primes = {167, 173, 1009, 4099, 16381, 65537, 262139};
    constexpr u64 segment = 96 * 1024, piece = 7 * 1024 + 5, segments = 3;
    constexpr u64 room = 262144;  // past a segment, for whole turns of the largest prime
    const u64 top = ~u64{0};
    for (u64 low : {u64{0}, u64{1000000000020}, (top - 15) / 30 * 30 - 30 * segments * segment}) {
        for (bool whole : {false, true}) {
            SCOPED_TRACE(testing::Message() << low << (whole ? " whole turns" : " to the end"));
            std::vector<std::uint8_t> bytes(segments * segment + room, 0xFF);
            wheel_turn_primes turns;
            for (u64 p : primes) {
                wheel::position at;
                if (wheel::first_strike(p, low, top, at)) turns.add(p, at);
            }
            EXPECT_EQ(turns.size(), primes.size());
            for (u64 s = 0; s < segments; ++s) {
                std::uint8_t* const start = bytes.data() + s * segment;
                for (u64 end = piece;; end = std::min(segment, end + piece)) {
                    if (whole)
                        turns.strike_whole_turns(start, end);
                    else
                        turns.strike(start, end);
                    if (end == segment) break;
                }
                turns.advance(segment);
            }
            bytes.resize(segments * segment);
            EXPECT_TRUE(bytes == struck_by_hand(primes, low, bytes.size()));
        }
    }
}

}  // namespace zorvanteli
