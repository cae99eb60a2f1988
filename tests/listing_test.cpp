// Checks the listing's lines against std::to_chars, and that its blocks reach the result file
// before the console, whole and identical.
#include "listing/listing.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <random>

namespace zorvanteli {

static std::string line_of(std::uint64_t n) {
    char text[21];
    char* const end = std::to_chars(text, text + 20, n).ptr;
    *end = '\n';
    return {text, end + 1};
}

TEST(listing, lines_match_to_chars) {
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

using write_log = std::vector<std::tuple<char, std::string, std::uint64_t>>;

// Logs every write of either destination, in order.
struct logging_sink final : line_sink {
    logging_sink(write_log& to, char destination) : log{to}, name{destination} {}
    void write(std::string_view bytes, std::uint64_t lines) override {
        log.emplace_back(name, bytes, lines);
    }
    write_log& log;
    char name;
};

TEST(listing, blocks_reach_the_file_first) {
    write_log log;
    logging_sink file{log, 'f'}, console{log, 'c'};
    // A small block forces flushes inside batches; the long delay keeps the clock out of it.
    listing_writer listing{file, console, {40, std::chrono::hours{1}, {}}};
    std::vector<std::uint64_t> numbers;
    std::string expected;
    for (std::uint64_t i = 0; i < 300; ++i)
        expected += line_of(numbers.emplace_back(i * i * i + 2));
    const std::span<const std::uint64_t> all{numbers};
    for (std::size_t from = 0, size = 0; from < all.size(); from += size, size = size * 2 + 1)
        EXPECT_TRUE(listing.take(all.subspan(from, std::min(size, all.size() - from))));
    const std::size_t before_flush = log.size();
    listing.flush();
    listing.flush();
    EXPECT_EQ(log.size(), before_flush + 2);  // the tail, once
    std::string saved;
    for (std::size_t i = 0; i + 1 < log.size(); i += 2) {
        const auto& [destination, bytes, lines] = log[i];
        EXPECT_EQ(destination, 'f');
        EXPECT_EQ(log[i + 1], std::tuple('c', bytes, lines));  // the same block, after the file
        EXPECT_EQ(lines, static_cast<std::uint64_t>(std::ranges::count(bytes, '\n')));
        EXPECT_TRUE(bytes.ends_with('\n') && bytes.size() < 40 + ascending_decimal::max_line);
        EXPECT_TRUE(bytes.size() >= 40 || i + 2 == log.size());
        saved += bytes;
    }
    EXPECT_EQ(saved, expected);

    // Without delay each batch is shown at once; a stop request still lets its batch through.
    log.clear();
    listing_writer prompt{file, console, {40, std::chrono::milliseconds{0}, [] { return true; }}};
    EXPECT_FALSE(prompt.take(all.first(3)));
    EXPECT_EQ(log, (write_log{{'f', "2\n3\n10\n", 3}, {'c', "2\n3\n10\n", 3}}));
    listing_writer patient{file, console, {40, std::chrono::hours{1}, [] { return false; }}};
    EXPECT_TRUE(patient.take(all.first(2)));
    EXPECT_EQ(log.size(), 2u);
}

}  // namespace zorvanteli
