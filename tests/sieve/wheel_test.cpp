// Checks the wheel's tables and first strikes against multiplying out and searching by hand.
#include "sieve/wheel.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <numeric>
#include <random>

namespace zorvanteli {

using u64 = std::uint64_t;

// The turn of p's multiples p * (30a + r), a = 0..2, byte by byte: where the tables put them is
// where multiplying puts them, and stepping from one to the next lands on the next.
TEST(wheel, strike_tables_follow_the_multiples) {
    for (const u64 p :
         std::initializer_list<u64>{7, 11, 13, 17, 19, 23, 29, 31, 167, 9973, 1000003, 4194301}) {
        SCOPED_TRACE(p);
        const u64 pd = p / 30;
        const unsigned c = wheel::bit_of_residue[wheel::residue(p)];
        ASSERT_LT(c, 8u);
        for (u64 a = 0; a < 3; ++a) {
            for (unsigned j = 0; j < 8; ++j) {
                const u64 multiple = p * (30 * a + wheel::residues[j]);
                const u64 byte = p * a + pd * wheel::residues[j] + wheel::strikes.carry[c][j];
                EXPECT_EQ(byte, multiple / 30);
                EXPECT_EQ(wheel::residues[wheel::strikes.bit[c][j]], multiple % 30);
                const u64 next =
                    j == 7 ? p * (30 * (a + 1) + 1) : p * (30 * a + wheel::residues[j + 1]);
                EXPECT_EQ(byte + pd * wheel::strikes.gap[j] + wheel::strikes.step_carry[c][j],
                          next / 30);
            }
        }
    }
    for (unsigned b = 0; b < 64; ++b)
        EXPECT_EQ(wheel::value_of_bit[b], 30 * (b / 8) + wheel::residues[b % 8]);
}

// The first multiple to strike, from any low, by walking up the multiples of p one at a time;
// near 2^64 the multiple may not exist at all.
TEST(wheel, first_strike_is_the_first_multiple_worth_striking) {
    const auto by_hand = [](u64 p, u64 low, u64 last, wheel::position& at) {
        for (u64 q = std::max(p, low / p); q <= last / p; ++q) {
            if (p * q < low || std::gcd(q, u64{30}) != 1) continue;
            at = {(p * q - low) / 30, wheel::bit_of_residue[wheel::residue(q)]};
            return true;
        }
        return false;
    };
    std::mt19937_64 random{30};
    const u64 top = ~u64{0};
    const u64 lows[] = {
        0, 30, 990, 1000020, u64{1} << 32, 4398046511100, top - 15 - 30 * 1000, top - 15};
    for (const u64 p :
         std::initializer_list<u64>{7, 11, 167, 1009, 65521, 65537, 2097143, 4194301}) {
        for (u64 low : lows) {
            for (u64 last : {low + 29, low + 30 * 100000 - 1, top}) {
                if (last < low) continue;
                SCOPED_TRACE(testing::Message() << p << " " << low << " " << last);
                wheel::position expected{}, found{};
                const bool exists = by_hand(p, low, last, expected);
                ASSERT_EQ(wheel::first_strike(p, low, last, found), exists);
                if (exists) {
                    EXPECT_EQ(found.byte, expected.byte);
                    EXPECT_EQ(found.j, expected.j);
                }
            }
        }
        for (int i = 0; i < 50; ++i) {
            const u64 low = (random() >> (random() % 64)) / 30 * 30;
            wheel::position expected{}, found{};
            ASSERT_EQ(wheel::first_strike(p, low, top, found), by_hand(p, low, top, expected));
            EXPECT_EQ(found.byte, expected.byte) << p << " " << low;
            EXPECT_EQ(found.j, expected.j) << p << " " << low;
        }
    }
}

}  // namespace zorvanteli
