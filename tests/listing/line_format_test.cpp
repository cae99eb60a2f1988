// Checks the listing's line format against std::to_chars.
#include "listing/line_format.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <random>
#include <string>
#include <vector>

namespace zorvanteli {

static std::string line_of(std::uint64_t n) {
    char text[21];
    char* const end = std::to_chars(text, text + 20, n).ptr;
    *end = '\n';
    return {text, end + 1};
}

TEST(line_format, lines_match_to_chars) {
    // Carries through every digit, each change of digit count, gaps of every size.
    std::vector<std::vector<std::uint64_t>> runs(3, {0, 1, 2, 3});
    for (std::uint64_t p = 10; p <= 10000000000000000000u; p *= 10)
        runs[0].insert(runs[0].end(), {p - 2, p - 1, p, p + 1, 2 * p - 1, 2 * p + 9});
    runs[0].insert(runs[0].end(), {18446744073709551557u, ~0ull - 1, ~0ull});
    for (std::uint64_t g = 1; g < 2000; ++g) runs[1].push_back(999999997000 + g * (g + 1) / 2);
    for (std::uint64_t gap : {9999u, 10000u, 99999u, 100000u, 123456789u})
        runs[1].push_back(runs[1].back() + gap);
    std::mt19937_64 random{99};
    for (std::uint64_t n = 4; n < ~0ull >> 1; runs[2].push_back(n)) {
        const std::uint64_t r = random();  // small gaps at every magnitude on the way up
        n += r % 2 ? 1 + (r >> 8) % (std::uint64_t{1} << (r >> 1) % 20) : n / 1024;
    }
    for (const auto& run : runs) {
        for (std::size_t first : {0u, 1u, 3u}) {  // the first number is converted afresh
            ascending_decimal digits;
            std::array<char, 32> out{};  // the most it may write
            for (std::size_t i = first; i < run.size(); ++i)
                ASSERT_EQ(std::string(out.data(), digits.write_line(run[i], out.data())),
                          line_of(run[i]));
        }
    }
}

}  // namespace zorvanteli
