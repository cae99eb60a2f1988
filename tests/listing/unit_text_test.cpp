// Checks a unit's text across chunks: whole lines only, never past a chunk's end, and read
// while it is written on another thread.
#include "listing/unit_text.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "platform/joining_thread.hpp"
#include "search/parallel_search.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;

static std::string lines_of(const std::vector<u64>& numbers) {
    std::string text;
    for (const u64 n : numbers) {
        char digits[20];
        text.append(digits, std::to_chars(digits, digits + 20, n).ptr).push_back('\n');
    }
    return text;
}

// Reads everything published so far, checking that it is whole lines.
static void read_all(unit_text& text, std::string& into, std::uint64_t& lines,
                     std::vector<text_chunk*>& done) {
    for (;;) {
        const unit_text::lines ready = text.ready();
        EXPECT_EQ(static_cast<std::uint64_t>(std::ranges::count(ready.bytes, '\n')), ready.count);
        EXPECT_TRUE(ready.bytes.empty() || ready.bytes.ends_with('\n'));
        into += ready.bytes;
        lines += ready.count;
        text.take(ready.bytes.size(), ready.count);
        if (!ready.chunk_full) return;
        done.push_back(&text.next_chunk());
    }
}

TEST(unit_text, fills_chunks_with_whole_lines) {
    // 30-byte chunks: ten lines of two digits, seven of three; a number of 20 digits in one.
    const std::vector<std::pair<std::vector<u64>, std::vector<std::size_t>>> cases = {
        {{11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53}, {10, 2}},
        {{97, 101, 103, 107, 109, 113, 127, 131, 137}, {7, 2}},
        {{18446744073709551557u}, {1}}};
    for (const auto& [primes, per_chunk] : cases) {
        std::deque<text_chunk> chunks;
        unit_text text;
        text.start(primes.back(), chunks.emplace_back(30));
        std::span<const u64> rest{primes};
        std::vector<std::size_t> taken;
        while (!rest.empty()) {
            const std::size_t count = text.append(rest);
            if (count == 0) {
                text.extend(chunks.emplace_back(30));
                continue;
            }
            taken.push_back(count);
            rest = rest.subspan(count);
        }
        EXPECT_EQ(taken, per_chunk);
        std::string read;
        std::uint64_t lines = 0;
        std::vector<text_chunk*> done;
        read_all(text, read, lines, done);
        EXPECT_EQ(read, lines_of(primes));
        EXPECT_EQ(lines, primes.size());
        EXPECT_EQ(done.size(), chunks.size() - 1);
        EXPECT_EQ(text.reading(), &chunks.back());
    }
}

TEST(unit_text, reader_sees_whole_lines_while_the_worker_writes) {
    std::vector<u64> primes;
    struct collect final : prime_sink {
        std::vector<u64>& into;
        explicit collect(std::vector<u64>& to) : into{to} {}
        bool take(std::span<const u64> batch) override {
            into.insert(into.end(), batch.begin(), batch.end());
            return true;
        }
    } sink{primes};
    search_primes(999999000000, 20000, sink);

    // Small chunks, so that the worker moves on to a new one every few dozen lines.
    std::deque<text_chunk> chunks;
    for (int i = 0; i < 2000; ++i) chunks.emplace_back(500);
    unit_text text;
    text.start(primes.back(), chunks[0]);
    std::atomic<bool> written = false;
    joining_thread worker{[&] {
        std::mt19937 random{7};
        std::span<const u64> rest{primes};
        for (std::size_t next = 1; !rest.empty();) {
            const std::size_t count =
                text.append(rest.first(std::min<std::size_t>(rest.size(), 1 + random() % 50)));
            if (count == 0) text.extend(chunks[next++]);
            rest = rest.subspan(count);
        }
        written = true;
    }};
    std::string read;
    std::uint64_t lines = 0;
    std::vector<text_chunk*> done;
    while (!written) read_all(text, read, lines, done);
    read_all(text, read, lines, done);
    EXPECT_EQ(lines, primes.size());
    EXPECT_EQ(read, lines_of(primes));
    EXPECT_GT(done.size(), 100u);
}

}  // namespace zorvanteli
