// Checks the reading of sieved words with every set of instructions: every set bit becomes its
// number, or its position on the wheel, in order, from empty words to full ones and at the end of
// the 64-bit range; and the count of the set bits.
#include "sieve/survivors.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "sieve/first_strikes.hpp"
#include "sieve/wheel.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;

TEST(survivors, every_set_bit_becomes_its_number_while_room_lasts) {
    std::mt19937_64 random{240};
    std::vector<u64> words = {0, ~u64{0}, 1, u64{1} << 63, 0x8000000100000001};
    for (int i = 0; i < 300; ++i) {
        u64 w = random();
        for (int thin = i % 4; thin > 0; --thin) w &= random();  // sparse words too
        words.push_back(w);
    }
    // The last word near 2^64 stands for numbers up to 2^64 - 16 + 239, but only bits for
    // numbers that exist are ever set there.
    const u64 lows[] = {0, 1000000000020, ~u64{0} - 15 - 240 * words.size()};
    for (instruction_set set : available_instruction_sets()) {
        for (u64 low : lows) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(set) << " " << low);
            std::vector<u64> expected;
            for (std::size_t i = 0; i < words.size(); ++i)
                for (unsigned b = 0; b < 64; ++b)
                    if ((words[i] >> b) & 1)
                        expected.push_back(low + 240 * i + wheel::value_of_bit[b]);
            // Room for all: every word read.
            std::vector<u64> out(expected.size() + 64);
            survivors_taken taken =
                collect_survivors(words.data(), words.size(), low, out.data(), out.size(), set);
            EXPECT_EQ(taken.words, words.size());
            out.resize(taken.numbers);
            EXPECT_EQ(out, expected);
            // Little room: reading stops before a word that might not fit.
            for (std::size_t room :
                 {std::size_t{0}, std::size_t{63}, std::size_t{64}, std::size_t{200}}) {
                std::vector<u64> some(room);
                taken = collect_survivors(words.data(), words.size(), low, some.data(), room, set);
                std::size_t bits = 0;
                for (std::size_t i = 0; i < taken.words; ++i)
                    bits += static_cast<std::size_t>(std::popcount(words[i]));
                EXPECT_EQ(taken.numbers, bits);
                EXPECT_LE(taken.numbers, room);
                EXPECT_TRUE(taken.words == words.size() || room - taken.numbers < 64) << room;
                some.resize(taken.numbers);
                EXPECT_TRUE(std::equal(some.begin(), some.end(), expected.begin())) << room;
            }
        }
    }
}

// A word of primes near 2^31 holds more than sixteen of them at times, which the AVX-512 form
// widens in a second round; the positions are what the sieve's bits give for numbers on the
// wheel (on_the_wheel), counted from the first word's first number.
TEST(survivors, positions_on_the_wheel_and_the_count) {
    std::mt19937_64 random{30};
    std::vector<u64> words = {0, ~u64{0}, 0xFFFFF, u64{1} << 63};
    for (int i = 0; i < 200; ++i) words.push_back(random() & random());
    const std::uint32_t first = 8 * 71582788;  // 2147483640 / 30 * 8
    std::vector<std::uint32_t> expected;
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < words.size(); ++i)
        for (unsigned b = 0; b < 64; ++b)
            if ((words[i] >> b) & 1) {
                expected.push_back(first + static_cast<std::uint32_t>(64 * i + b));
                ++bits;
            }
    // Bit 0 of the second word stands for 2147483640 + 240 + 1.
    EXPECT_EQ(off_the_wheel(expected[0]), 2147483881u);
    for (instruction_set set : available_instruction_sets()) {
        SCOPED_TRACE(static_cast<int>(set));
        std::vector<std::uint32_t> out(expected.size() + 64);
        const survivors_taken taken =
            collect_on_the_wheel(words.data(), words.size(), first, out.data(), out.size(), set);
        EXPECT_EQ(taken.words, words.size());
        out.resize(taken.numbers);
        EXPECT_EQ(out, expected);
        EXPECT_EQ(count_survivors(words.data(), words.size(), set), bits);
    }
}

}  // namespace zorvanteli
