// Checks the numbers a script may give as START and COUNT: plain and as powers, the edges of the
// range, and everything refused.
#include "dialogue/number_argument.hpp"

#include <gtest/gtest.h>

#include <string>

namespace zorvanteli {
namespace {

using problem = number_argument::problem;

TEST(number_argument, accepted_and_refused) {
    const std::pair<const char*, number_argument> cases[] = {
        {"0", {0, problem::none}},
        {"10", {10, problem::none}},
        {"007", {7, problem::none}},
        {"18446744073709551615", {18446744073709551615u, problem::none}},
        {"1e12", {1000000000000, problem::none}},
        {"3E9", {3000000000, problem::none}},
        {"10^12", {1000000000000, problem::none}},
        {"2^63", {9223372036854775808u, problem::none}},
        {"2^64-1", {18446744073709551615u, problem::none}},
        {"2^64-18446744073709551615", {1, problem::none}},
        {"1e19+8446744073709551615", {18446744073709551615u, problem::none}},
        {"1e12+39", {1000000000039, problem::none}},
        {"10^3-1000", {0, problem::none}},
        {"0e500", {0, problem::none}},
        {"1^99999999999999999999999", {1, problem::none}},
        {"0^0", {1, problem::none}},
        {"5^0", {1, problem::none}},
        {"0^7", {0, problem::none}},
        {"99999999999999999999999^0", {1, problem::none}},
        {"7+0", {7, problem::none}},
        // Beyond 2^64 - 1, below 0, or a power beyond 2^64.
        {"18446744073709551616", {0, problem::out_of_range}},
        {"99999999999999999999999", {0, problem::out_of_range}},
        {"2^64", {0, problem::out_of_range}},
        {"1e20", {0, problem::out_of_range}},
        {"2^65-18446744073709551616", {0, problem::out_of_range}},
        {"2^99999999999999999999", {0, problem::out_of_range}},
        {"18446744073709551615+1", {0, problem::out_of_range}},
        {"2^64+0", {0, problem::out_of_range}},
        {"0-1", {0, problem::out_of_range}},
        {"1e3-1001", {0, problem::out_of_range}},
        {"1-18446744073709551616", {0, problem::out_of_range}},
        // Signs, fractions, spaces, other bases and forms.
        {"", {0, problem::not_a_number}},
        {"-5", {0, problem::not_a_number}},
        {"+5", {0, problem::not_a_number}},
        {"1.5", {0, problem::not_a_number}},
        {"1.5e3", {0, problem::not_a_number}},
        {" 5", {0, problem::not_a_number}},
        {"5 ", {0, problem::not_a_number}},
        {"0x1f", {0, problem::not_a_number}},
        {"e12", {0, problem::not_a_number}},
        {"1e", {0, problem::not_a_number}},
        {"2^", {0, problem::not_a_number}},
        {"2^-1", {0, problem::not_a_number}},
        {"2^64-", {0, problem::not_a_number}},
        {"1e3e2", {0, problem::not_a_number}},
        {"2^3^2", {0, problem::not_a_number}},
        {"1+2+3", {0, problem::not_a_number}},
        {"1e3+1e2", {0, problem::not_a_number}},
        {"10**3", {0, problem::not_a_number}},
        {"\xd9\xa1\xd9\xa2", {0, problem::not_a_number}},  // 12 in Arabic-Indic digits
        {"5\n", {0, problem::not_a_number}},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        const number_argument read = read_number_argument(text);
        EXPECT_EQ(read.value, expected.value);
        EXPECT_EQ(read.trouble, expected.trouble);
    }
}

}  // namespace
}  // namespace zorvanteli
