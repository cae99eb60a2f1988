// Checks the reading of typed numbers: white space, the fallback to 1 with its message, and
// what is left of the input for the next read.
#include "dialogue/number_reading.hpp"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace zorvanteli {

TEST(number_reading, successive_reads) {
    constexpr std::uint64_t rejected = 1;  // the fallback, with the message; no input is a real 1
    // Input, the values of successive reads, and whether input has ended (and stays ended).
    const std::tuple<std::string, std::vector<std::uint64_t>, bool> cases[] = {
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
        {"  \n", {rejected, rejected}, true},
        // A rejected line longer than 64 KiB is dropped in 64 KiB pieces, each read once more.
        {std::string(65536 + 10, 'x') + "\n7\n", {rejected, rejected, 7}, false},
        {std::string(65536, 'x') + "\n7\n", {rejected, 7}, false}};
    for (const auto& [input, values, ended] : cases) {
        std::istringstream in{input};
        for (const std::uint64_t expected : values) {
            std::ostringstream out;
            EXPECT_EQ(read_number(in, out, "Not a number!"), expected)
                << '"' << input.substr(0, 40) << '"';
            EXPECT_EQ(out.str(), expected == rejected ? "Not a number!" : "")
                << '"' << input.substr(0, 40) << '"';
        }
        EXPECT_EQ(in.eof(), ended) << '"' << input.substr(0, 40) << '"';
    }
}

TEST(number_reading, rejected_line_leaves_its_line_break) {
    // The closing prompt takes that line break and then waits for one more Enter, just as after
    // a good number.
    for (const char* input : {"abc\nnext", "12\nnext", "-3 4\nnext", "x y z\r\nnext"}) {
        std::istringstream in{input};
        std::ostringstream out;
        read_number(in, out, "");
        const std::string rest{std::istreambuf_iterator<char>{in}, {}};
        EXPECT_EQ(rest, "\nnext") << '"' << input << '"';
    }
}

TEST(number_reading, endless_line_without_a_break_is_read_to_its_end) {
    // Like a device of zeros: 200000 bytes take four reads of at most 64 KiB, each rejected.
    std::istringstream in{std::string(200000, '\0')};
    int reads = 0;
    while (!in.eof() && reads < 10) {
        std::ostringstream out;
        EXPECT_EQ(read_number(in, out, "!"), 1u);
        EXPECT_EQ(out.str(), "!");
        ++reads;
    }
    EXPECT_EQ(reads, 4);
}

}  // namespace zorvanteli
