// Checks the reading of typed numbers: white space, the fallback to 1 with its message, and
// what is left of the input for the next read.
#include "dialogue/number_reading.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace zorvanteli {

TEST(number_reading, successive_reads) {
    constexpr std::uint64_t rejected = 1;  // the fallback, with the message; no input is a real 1
    // Input, the values of successive reads, and whether input has ended (and stays ended).
    const std::tuple<const char*, std::vector<std::uint64_t>, bool> cases[] = {
        {"10\n", {10}, false},
        {"0\n", {0}, false},
        {"+5", {5}, true},
        {"  \t42 7\n", {42, 7}, false},
        {"\n\n  12\n", {12}, false},
        {"-5\nx\n7\n", {rejected, rejected, 7}, false},
        {"-0 8\n9\n", {rejected, 9}, false},  // the rest of a rejected line goes too
        {"abc\n9\n", {rejected, 9}, false},
        {"12abc\n", {12, rejected}, false},
        {"18446744073709551615", {18446744073709551615u, rejected}, true},
        {"18446744073709551616\n3\n", {rejected, 3}, false},
        {"99999999999999999999999 4\n5\n", {rejected, 5}, false},
        {"", {rejected, rejected}, true},
        {"  \n", {rejected, rejected}, true}};
    for (const auto& [input, values, ended] : cases) {
        std::istringstream in{input};
        for (const std::uint64_t expected : values) {
            std::ostringstream out;
            EXPECT_EQ(read_number(in, out, "Not a number!"), expected) << '"' << input << '"';
            EXPECT_EQ(out.str(), expected == rejected ? "Not a number!" : "")
                << '"' << input << '"';
        }
        EXPECT_EQ(in.eof(), ended) << '"' << input << '"';
    }
}

}  // namespace zorvanteli
