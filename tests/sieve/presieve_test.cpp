// Checks the pre-sieve patterns bit by bit against trial division, with both sets of instructions,
// at lengths around the vector and run sizes and at offsets up to the end of the 64-bit range.
#include "sieve/presieve.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <vector>

#include "sieve/wheel.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;

// n is prime to 30; an odd composite divisor up to 163 has a prime factor from 7 up, too.
static bool has_presieved_factor(u64 n) {
    for (u64 d = 7; d <= presieve_limit; d += 2)
        if (n % d == 0) return true;
    return false;
}

TEST(presieve, clears_exactly_the_multiples_of_7_to_163) {
    std::mt19937_64 random{163};
    const u64 last_byte = ~u64{0} / 30;  // bytes stand for 30 numbers each
    const std::vector<u64> firsts = {
        0, 1, 1000, 12341, 33333333333, last_byte - 70000, random() / 30, random() / 30};
    for (instruction_set set : available_instruction_sets()) {
        for (u64 first : firsts) {
            for (const std::size_t count :
                 std::initializer_list<std::size_t>{1, 63, 64, 65, 2047, 2048, 2049, 40000}) {
                SCOPED_TRACE(testing::Message()
                             << static_cast<int>(set) << " " << first << " " << count);
                constexpr std::uint8_t guard = 0x5A;
                std::vector<std::uint8_t> bytes(count + 64, guard);
                presieve(bytes.data(), count, first, set);
                std::size_t wrong = 0;
                for (std::size_t i = 0; i < count; ++i) {
                    for (unsigned k = 0; k < 8; ++k) {
                        const u64 n = 30 * (first + i) + wheel::residues[k];
                        const bool set_bit = (bytes[i] >> k) & 1;
                        wrong += set_bit == has_presieved_factor(n);
                    }
                }
                EXPECT_EQ(wrong, 0u);
                for (std::size_t i = count; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], guard);
            }
        }
    }
}

}  // namespace zorvanteli
