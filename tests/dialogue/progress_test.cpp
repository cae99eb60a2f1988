// Checks the progress line's and the summary's texts, that the line is redrawn at most ten times a
// second and cleared, and that the blocks pass on unchanged.
#include "dialogue/progress.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/fake_system.hpp"

namespace zorvanteli {
namespace {

using seconds = std::chrono::duration<double>;

TEST(progress, texts) {
    const std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, double, std::string> lines[] = {
        {0, 100, 0, 0.1, "0 of 100 primes"},
        {420000, 1000000, 6028843, 0.41,
         "420000 of 1000000 primes, at 6028843, 1.02 million/s, 0.6 s left"},
        {5, 100, 11, 1, "5 of 100 primes, at 11, 5.00/s, 19 s left"},
        {50000, 1000000, 611953, 2,
         "50000 of 1000000 primes, at 611953, 25.0 thousand/s, 38 s left"},
        {1000, 1000000000000, 7919, 1,
         "1000 of 1000000000000 primes, at 7919, 1.00 thousand/s, 11574 days left"},
        {3000000000, 10000000000, 71856445751, 1,
         "3000000000 of 10000000000 primes, at 71856445751, 3.00 billion/s, 2.3 s left"},
        {1000, 181000, 7919, 1, "1000 of 181000 primes, at 7919, 1.00 thousand/s, 3 min left"},
        {1000, 7201000, 7919, 1, "1000 of 7201000 primes, at 7919, 1.00 thousand/s, 2 h left"},
    };
    for (const auto& [found, quota, last, elapsed, text] : lines)
        EXPECT_EQ(progress_text(found, quota, last, seconds{elapsed}), text);

    EXPECT_EQ(summary_text(1000000, 11, 15485863, seconds{0.412}, "primes.txt"),
              "1000000 primes from 11 to 15485863 in 0.41 s, saved in \"primes.txt\"\n");
    EXPECT_EQ(summary_text(3, 11, 17, seconds{0.001}, ""), "3 primes from 11 to 17 in 0.00 s\n");
    EXPECT_EQ(summary_text(1, 11, 11, seconds{0}, ""), "1 prime, 11, in 0.00 s\n");
    EXPECT_EQ(summary_text(0, 0, 0, seconds{12.345}, "p"), "0 primes in 12.35 s, saved in \"p\"\n");
}

class lines_kept final : public line_sink {
public:
    void write(std::string_view bytes, std::uint64_t lines) override {
        text += bytes;
        count += lines;
    }
    std::string text;
    std::uint64_t count = 0;
};

TEST(progress, drawn_at_most_ten_times_a_second_and_cleared) {
    fake_system system;
    system.steady_step = std::chrono::milliseconds{40};  // a block every 40 ms
    lines_kept next;
    progress_line progress{next, 100, system, true};
    const std::string_view blocks[] = {"2\n3\n", "5\n", "7\n11\n", "13\n17\n19\n", "23\n", "29\n"};
    for (const std::string_view block : blocks)
        progress.write(block, static_cast<std::uint64_t>(std::ranges::count(block, '\n')));
    EXPECT_EQ(next.text, "2\n3\n5\n7\n11\n13\n17\n19\n23\n29\n");
    EXPECT_EQ(next.count, 10u);
    // The clock is read once a block, at 40, 80, 120, ... ms: drawn at 120 ms, after the third
    // block, and at 240 ms, after the sixth. A shorter line would leave spaces over the longer.
    const std::string first = "5 of 100 primes, at 11, 41.7/s, 2.3 s left";
    const std::string second = "10 of 100 primes, at 29, 41.7/s, 2.2 s left";
    EXPECT_EQ(system.progress, "\r" + first + "\r" + second);
    std::string clearing(second.size() + 2, ' ');
    clearing.front() = clearing.back() = '\r';
    EXPECT_EQ(progress.clearing(), clearing);
    progress.clear();
    EXPECT_EQ(system.progress, "\r" + first + "\r" + second + clearing);
    EXPECT_EQ(progress.clearing(), "");
    EXPECT_EQ(progress.summary("p.txt"), "10 primes from 2 to 29 in 0.28 s, saved in \"p.txt\"\n");
}

TEST(progress, hidden_line_draws_nothing) {
    fake_system system;
    system.steady_step = std::chrono::seconds{1};
    lines_kept next;
    progress_line progress{next, 100, system, false};
    progress.write("2\n3\n", 2);
    progress.write("5\n", 1);
    progress.clear();
    EXPECT_EQ(next.text, "2\n3\n5\n");
    EXPECT_EQ(system.progress, "");
    EXPECT_EQ(progress.summary("p.txt"), "");
}

}  // namespace
}  // namespace zorvanteli
