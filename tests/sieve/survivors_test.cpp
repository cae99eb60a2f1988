// Checks the reading of sieved words with both sets of instructions: every set bit becomes its
// number, in order, from empty words to full ones and at the end of the 64-bit range.
#include "sieve/survivors.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

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

}  // namespace zorvanteli
