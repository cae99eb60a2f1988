// Checks the 128-bit products and remainders, the 32-bit halves that every build has and the
// form this compiler uses, against values computed with Python's integers.
#include "primality/wide_arithmetic.hpp"

#include <gtest/gtest.h>

#include <cstdint>

namespace zorvanteli {
namespace {

using u64 = std::uint64_t;
constexpr u64 top = 0xFFFF'FFFF'FFFF'FFFF;

TEST(wide_arithmetic, products_of_known_values) {
    struct product_case {
        u64 a, b;
        u64_pair product;
    };
    const product_case cases[] = {
        {0, 0, {0, 0}},
        {1, top, {0, top}},
        {top, top, {0xFFFF'FFFF'FFFF'FFFE, 1}},
        {u64{1} << 32, u64{1} << 32, {1, 0}},
        {0xFFFF'FFFF, 0xFFFF'FFFF, {0, 0xFFFF'FFFE'0000'0001}},
        {u64{1} << 63, 2, {1, 0}},
        {0xFFFF'FFFF'0000'0001, 0xFFFF'FFFF, {0xFFFF'FFFE, 0x1'FFFF'FFFF}},
        {0x9E37'79B9'7F4A'7C15,
         0xC2B2'AE3D'27D4'EB4F,
         {0x7854'7880'B603'1473, 0xF58D'71AE'9C47'917B}},
        {12345678901234567890u,
         9876543210987654321u,
         {0x5BBB'5EDC'654C'105D, 0x01D8'F42C'F716'5332}},
    };
    for (const auto& [a, b, product] : cases) {
        SCOPED_TRACE(testing::Message() << a << " * " << b);
        EXPECT_EQ(halves::multiply_wide(a, b), product);
        EXPECT_EQ(halves::multiply_wide(b, a), product);
        EXPECT_EQ(wide::multiply_wide(a, b), product);
    }
}

TEST(wide_arithmetic, remainders_of_known_values) {
    struct remainder_case {
        u64 high, low, n, remainder;
    };
    // Each high part below n; moduli from 3 to 2^64 - 1, with and without the top bit.
    const remainder_case cases[] = {
        {0, 12345, 7, 4},
        {2, top, 3, 2},
        {12345, 678, 4294967311, 2778303},
        {999999999999999999, 0, 1000000000000000003, 213023705161793758},
        {u64{1} << 63, 0x1234'5678'9ABC'DEF0, (u64{1} << 63) + 1, 1311768467463790322},
        {top - 59, top, top - 58, top - 59},
        {0, top, top, 0},
        {top - 1, top, top, top - 1},
    };
    for (const auto& [high, low, n, remainder] : cases) {
        SCOPED_TRACE(testing::Message() << high << " * 2^64 + " << low << " mod " << n);
        EXPECT_EQ(halves::reduce_wide(high, low, n), remainder);
        EXPECT_EQ(wide::reduce_wide(high, low, n), remainder);
    }
}

}  // namespace
}  // namespace zorvanteli
