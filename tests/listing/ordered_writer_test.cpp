// Runs the parallel search into the ordered writer with small units and chunks, and compares
// the result file and the console with the listing of one thread: from 0, across unit
// boundaries, the sieve bound 2^42 and the end of the range, with quotas around a unit's last
// prime, under interrupts, with a slow console and as memory runs out.
#include "listing/ordered_writer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <thread>

#include "sieve/sieve.hpp"

namespace zorvanteli {

using u64 = std::uint64_t;
constexpr u64 top = ~u64{0};

// Both destinations in one log, in the order of the writes.
struct write_log {
    std::vector<std::pair<char, std::string>> writes;
    std::string file, console;
    std::uint64_t file_lines = 0;
};

struct logged_sink final : line_sink {
    logged_sink(write_log& to, char destination) : log{to}, name{destination} {}
    void write(std::string_view bytes, std::uint64_t lines) override {
        EXPECT_EQ(static_cast<std::uint64_t>(std::ranges::count(bytes, '\n')), lines);
        log.writes.emplace_back(name, bytes);
        (name == 'f' ? log.file : log.console) += bytes;
        if (name == 'f') log.file_lines += lines;
    }
    write_log& log;
    char name;
};

// Every write to the console repeats the file's write just before it.
static void expect_file_first(const write_log& log) {
    ASSERT_EQ(log.writes.size() % 2, 0u);
    for (std::size_t i = 0; i < log.writes.size(); i += 2) {
        EXPECT_EQ(log.writes[i].first, 'f');
        EXPECT_EQ(log.writes[i + 1], std::pair('c', log.writes[i].second));
    }
}

struct listing {
    std::string text;
    search_outcome outcome;
};

static listing on_one_thread(u64 start, u64 quota) {
    write_log log;
    logged_sink file{log, 'f'}, console{log, 'c'};
    listing_writer writer{file, console};
    listing result;
    result.outcome = search_primes(start, quota, writer);
    writer.flush();
    result.text = log.file;
    return result;
}

// Units of a few thousand numbers, chunks of a few dozen lines.
constexpr unit_sizes small_units{.text_bytes = 20000, .confirmed_numbers = 3000, .ramp = 2};

static ordered_writer::options small_chunks(u64 quota) {
    return {.quota = quota, .chunk_size = 1000, .max_chunks = 12};
}

struct parallel_run {
    write_log log;
    search_outcome outcome;
    std::size_t chunks = 0;
    int workers = 0;
};

static void run_in_parallel(parallel_run& run, u64 start, unsigned threads,
                            ordered_writer::options options) {
    logged_sink file{run.log, 'f'}, console{run.log, 'c'};
    ordered_writer writer{file, console, std::move(options)};
    std::atomic<int> workers = 0;
    run.outcome =
        search_in_parallel(
            start, {.threads = threads, .worker_started = [&] { ++workers; }, .sizes = small_units},
            writer)
            .value();
    run.chunks = writer.chunks_made();
    run.workers = workers;
}

TEST(ordered_writer, lists_what_one_thread_lists) {
    const u64 bound = segmented_sieve::exact_below;
    for (const u64 start : {u64{0}, u64{999000}, bound - 30000, top - 40000}) {
        // Quotas that end inside the sixth unit, at its last prime and one past it; near the
        // top, one that the range cannot meet.
        const listing all = on_one_thread(start, 40000);
        const std::vector<u64> primes = [&] {
            std::vector<u64> numbers;
            for (std::size_t at = 0; at < all.text.size();) {
                const std::size_t end = all.text.find('\n', at);
                numbers.push_back(std::stoull(all.text.substr(at, end - at)));
                at = end + 1;
            }
            return numbers;
        }();
        work_plan plan{start, small_units};
        for (int i = 0; i < 5; ++i) plan.next();
        const u64 sixth_high = plan.next()->high;
        const u64 through_sixth =
            static_cast<u64>(std::ranges::upper_bound(primes, sixth_high) - primes.begin());
        ASSERT_TRUE(through_sixth > 30 && through_sixth < primes.size());
        std::vector<u64> quotas{through_sixth - 7, through_sixth, through_sixth + 1};
        if (all.outcome.reached_end) quotas.push_back(top);
        for (const u64 quota : quotas) {
            const listing expected = on_one_thread(start, quota);
            for (const unsigned threads : {1u, 2u, 3u, 8u}) {
                SCOPED_TRACE(testing::Message() << start << ", " << quota << ", " << threads);
                parallel_run run;
                run_in_parallel(run, start, threads, small_chunks(quota));
                EXPECT_EQ(run.workers, static_cast<int>(threads));
                EXPECT_TRUE(run.log.file == expected.text);
                EXPECT_TRUE(run.log.console == expected.text);
                expect_file_first(run.log);
                EXPECT_EQ(run.outcome.found, expected.outcome.found);
                EXPECT_EQ(run.log.file_lines, expected.outcome.found);
                EXPECT_EQ(run.outcome.reached_end, expected.outcome.reached_end);
                EXPECT_FALSE(run.outcome.stopped);
                EXPECT_LE(run.chunks, 12u);
            }
        }
    }
}

TEST(ordered_writer, interrupt_saves_whole_lines_of_a_prefix) {
    const u64 start = 1000000000000;
    const listing expected = on_one_thread(start, 300000);
    for (const unsigned threads : {2u, 3u, 8u}) {
        for (const u64 stop_after : {u64{0}, u64{1}, u64{20000}}) {
            SCOPED_TRACE(testing::Message() << threads << " threads, " << stop_after);
            parallel_run run;
            auto options = small_chunks(300000);
            // Stops once the file has that many lines, wherever the workers are by then.
            options.stop_requested = [&run, stop_after] {
                return run.log.file_lines >= stop_after;
            };
            run_in_parallel(run, start, threads, std::move(options));
            EXPECT_TRUE(run.outcome.stopped);
            EXPECT_FALSE(run.outcome.reached_end);
            EXPECT_EQ(run.outcome.found, run.log.file_lines);
            EXPECT_GE(run.log.file_lines, stop_after);
            EXPECT_LT(run.log.file_lines, 300000u);
            EXPECT_TRUE(expected.text.starts_with(run.log.file));
            EXPECT_TRUE(run.log.file.empty() || run.log.file.ends_with('\n'));
            EXPECT_TRUE(run.log.console == run.log.file);
            expect_file_first(run.log);
        }
    }
}

// A console that takes its time must not make the workers pile up text.
TEST(ordered_writer, memory_stays_bounded_behind_a_slow_console) {
    struct slow_sink final : line_sink {
        std::string text;
        void write(std::string_view bytes, std::uint64_t) override {
            std::this_thread::sleep_for(std::chrono::microseconds{200});
            text += bytes;
        }
    } file, console;
    const u64 start = 1000000000000;
    ordered_writer writer{file, console, {.quota = 40000, .chunk_size = 2000, .max_chunks = 5}};
    const search_outcome outcome =
        search_in_parallel(start, {.threads = 3, .sizes = small_units}, writer).value();
    EXPECT_EQ(outcome.found, 40000u);
    EXPECT_LE(writer.chunks_made(), 5u);
    EXPECT_TRUE(file.text == on_one_thread(start, 40000).text);
    EXPECT_TRUE(console.text == file.text);
}

// Hands the units on to the writer, but the primes of one unit fail half-way through its first
// batch, as a worker's sieve would that found no memory to go on.
class failing_unit final : public unit_sink {
public:
    failing_unit(ordered_writer& writer, u64 unit) : writer_{writer}, unit_{unit} {}
    prime_sink* open(const work_unit& unit) override {
        prime_sink* const primes = writer_.open(unit);
        if (unit.index != unit_ || primes == nullptr) return primes;
        failing_.inner = primes;
        return &failing_;
    }
    void close(prime_sink& unit) override { writer_.close(unit); }
    search_outcome hand_over() override { return writer_.hand_over(); }
    void stop() override { writer_.stop(); }

private:
    struct failing_sink final : prime_sink {
        prime_sink* inner = nullptr;
        bool take(std::span<const std::uint64_t> primes) override {
            inner->take(primes.first(primes.size() / 2));
            throw std::bad_alloc{};
        }
    } failing_;
    ordered_writer& writer_;
    u64 unit_;
};

// Fewer workers or fewer chunks where memory for more runs out, and the whole listing; where
// even those cannot be had, std::bad_alloc on the calling thread after the whole lines up to
// the first gap.
TEST(ordered_writer, short_of_memory_goes_on_with_less_or_saves_a_prefix) {
    const u64 start = 1000000000000, quota = 60000;
    const std::string expected = on_one_thread(start, quota).text;
    struct memory_case {
        const char* what;
        int workers_set_up;  // the workers that get the memory for a sieve
        int chunks;          // the chunks that can be made
        u64 failing_unit;    // whose primes fail part-way
        bool completes;
    };
    const memory_case cases[] = {
        {"one worker of three sets up", 1, 100, top, true},
        {"no worker sets up", 0, 100, top, false},
        {"two chunks", 3, 2, top, true},
        {"five chunks", 3, 5, top, true},
        {"one chunk", 3, 1, top, false},
        {"no chunk", 3, 0, top, false},
        {"the first unit fails", 3, 100, 0, false},
        {"the fifth unit fails", 3, 100, 4, false},
    };
    for (const memory_case& c : cases) {
        // Plain names, not a structured binding: the lambdas capture them, which clang 14 cannot.
        const int workers_set_up = c.workers_set_up, chunks = c.chunks;
        const u64 failing = c.failing_unit;
        const bool completes = c.completes;
        SCOPED_TRACE(c.what);
        write_log log;
        logged_sink file{log, 'f'}, console{log, 'c'};
        std::atomic<int> set_up = 0;
        int made = 0;  // under the writer's lock
        auto options = small_chunks(quota);
        options.making_chunk = [&, chunks] {
            if (made++ == chunks) throw std::bad_alloc{};
        };
        ordered_writer writer{file, console, std::move(options)};
        failing_unit sink{writer, failing};
        const auto search = [&] {
            return search_in_parallel(start,
                                      {.threads = 3,
                                       .worker_started =
                                           [&] {
                                               if (set_up++ >= workers_set_up)
                                                   throw std::bad_alloc{};
                                           },
                                       .sizes = small_units},
                                      sink);
        };
        if (completes) {
            const std::optional<search_outcome> outcome = search();
            ASSERT_TRUE(outcome.has_value());
            EXPECT_EQ(outcome->found, quota);
            EXPECT_TRUE(log.file == expected);
            EXPECT_LE(writer.chunks_made(), static_cast<std::size_t>(chunks));
        } else {
            EXPECT_THROW(search(), std::bad_alloc);
            EXPECT_LT(log.file.size(), expected.size());
            EXPECT_TRUE(expected.starts_with(log.file));
            EXPECT_TRUE(log.file.empty() || log.file.ends_with('\n'));
        }
        EXPECT_TRUE(log.console == log.file);
        expect_file_first(log);
    }
}

}  // namespace zorvanteli
