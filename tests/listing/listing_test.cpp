// Checks that the listing's blocks reach the result file before the console, whole and
// identical, and that a listing on several threads is the same as on one.
#include "listing/listing.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <charconv>

namespace zorvanteli {

static std::string line_of(std::uint64_t n) {
    char text[21];
    char* const end = std::to_chars(text, text + 20, n).ptr;
    *end = '\n';
    return {text, end + 1};
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

// The same listing from one thread and from two; with two, a thread that sieves ahead where
// the sieve proves the primes, a worker per processor where survivors are tested, and none for
// a search of milliseconds.
TEST(listing, threads_only_for_large_work_and_the_same_listing) {
    const std::tuple<std::uint64_t, std::uint64_t, int> cases[] = {
        {0, 1000000, 1},                   // up to 15485863: proved by the sieve alone
        {1000000000000000000, 100000, 2},  // 4.1 million numbers, each survivor tested
        {1000000000000000000, 1000, 0},    // milliseconds on one thread
        {18446744073709550000u, 30, 0}};
    for (const auto& [start, quota, helpers] : cases) {
        SCOPED_TRACE(start);
        std::string texts[2];
        for (const unsigned threads : {1u, 2u}) {
            write_log log;
            logging_sink file{log, 'f'}, console{log, 'c'};
            std::atomic<int> workers = 0;
            const search_outcome outcome =
                list_primes(start, quota, file, console,
                            {.threads = threads,
                             .worker_started = [&] { ++workers; },
                             .costs = plan_costs{}});  // AVX2's: the same plan on every host
            EXPECT_EQ(workers, threads == 2 ? helpers : 0);
            EXPECT_TRUE(outcome.found == quota && !outcome.reached_end && !outcome.stopped);
            for (std::size_t i = 0; i < log.size(); ++i)
                if (std::get<0>(log[i]) == 'f') texts[threads - 1] += std::get<1>(log[i]);
        }
        EXPECT_TRUE(texts[0] == texts[1]);
        EXPECT_EQ(static_cast<std::uint64_t>(std::ranges::count(texts[0], '\n')), quota);
    }
}

}  // namespace zorvanteli
