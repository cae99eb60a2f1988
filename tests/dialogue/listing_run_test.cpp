// Runs the listing without a dialogue against a fake system: standard output alone or with the
// named file, what is told on standard error and when, the exit statuses, a reader that goes away,
// interrupts and the thread cap.
#include "dialogue/listing_run.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

#include "platform/fake_system.hpp"
#include "platform/interrupt_flag.hpp"

namespace zorvanteli {
namespace {

using file_map = std::map<std::string, std::string>;

struct listed {
    int status;
    std::string out, err;
    bool operator==(const listed&) const = default;
};

listed run(fake_system& system, std::uint64_t start, std::uint64_t count,
           const run_settings& settings = {}) {
    std::ostringstream out, err;
    system.console = &out;
    system.error_text = &err;
    run_settings fixed = settings;
    fixed.costs = plan_costs{};  // the same plan on every host: AVX2's costs
    const int status = run_listing(start, count, fixed, err, system);
    return {status, out.str(), err.str()};
}

const std::string reached_end =
    "Reached 18446744073709551615, the largest number that can be searched; found 1 of 2 primes.\n";

TEST(listing_run, whole_runs) {
    // Settings, start, count; the outcome and the files, a "p.txt" of "old\n" there before.
    const std::tuple<run_settings, std::uint64_t, std::uint64_t, listed, file_map> cases[] = {
        {{}, 10, 3, {0, "11\n13\n17\n", ""}, {{"p.txt", "old\n"}}},
        {{}, 10, 0, {0, "", ""}, {{"p.txt", "old\n"}}},
        {{.output = "p.txt"}, 10, 3, {0, "11\n13\n17\n", ""}, {{"p.txt", "11\n13\n17\n"}}},
        {{.output = "q.txt", .quiet = true},
         0,
         4,
         {0, "", ""},
         {{"p.txt", "old\n"}, {"q.txt", "2\n3\n5\n7\n"}}},
        {{},
         18446744073709551557u,
         2,
         {1, "18446744073709551557\n", reached_end},
         {{"p.txt", "old\n"}}},
        {{.output = "p.txt"},
         18446744073709551558u,
         1,
         {1, "",
          "Reached 18446744073709551615, the largest number that can be searched; found "
          "0 of 1 primes.\n"},
         {{"p.txt", ""}}},
    };
    for (const auto& [settings, start, count, expected, files] : cases) {
        SCOPED_TRACE(std::to_string(start) + " " + std::to_string(count));
        fake_system system;
        system.files = {{"p.txt", "old\n"}};
        EXPECT_EQ(run(system, start, count, settings), expected);
        EXPECT_EQ(system.files, files);
    }
}

TEST(listing_run, file_failures_are_told_and_leave_the_old_file) {
    fake_system uncreatable;  // nothing is searched
    uncreatable.create_errors["p.txt.part"] = std::make_error_code(std::errc::permission_denied);
    EXPECT_EQ(run(uncreatable, 10, 3, {.output = "p.txt"}),
              (listed{1, "",
                      "Could not write the result file \"p.txt\": " +
                          std::make_error_code(std::errc::permission_denied).message() + "\n"}));

    fake_system full;  // standard output still gets the whole listing
    full.files = {{"p.txt", "old\n"}};
    full.write_limit = 4096;
    const listed r = run(full, 0, 100000, {.output = "p.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.ends_with("\n1299709\n"));  // the 100000th prime
    EXPECT_EQ(r.err, "Could not write the result file \"p.txt\": " +
                         std::make_error_code(std::errc::no_space_on_device).message() + "\n");
    EXPECT_EQ(full.files, (file_map{{"p.txt", "old\n"}}));
}

TEST(listing_run, progress_and_summary_only_on_a_terminal_that_the_primes_miss) {
    // Standard output and error a terminal, --quiet; the summary expected.
    const std::string summary = "3 primes from 11 to 17 in 0.00 s";
    const std::tuple<bool, bool, bool, std::string> cases[] = {
        {false, true, false, summary + "\n"},
        {false, true, true, summary + ", saved in \"p.txt\"\n"},
        {true, true, true, summary + ", saved in \"p.txt\"\n"},
        {true, true, false, ""},
        {false, false, false, ""},
        {true, false, true, ""},
    };
    for (const auto& [output_terminal, error_terminal, quiet, expected] : cases) {
        SCOPED_TRACE(testing::Message() << output_terminal << error_terminal << quiet);
        fake_system system;
        system.output_terminal = output_terminal;
        system.error_terminal = error_terminal;
        const run_settings settings{
            .output = quiet ? std::optional<std::string>{"p.txt"} : std::nullopt, .quiet = quiet};
        const listed r = run(system, 10, 3, settings);
        EXPECT_EQ(r, (listed{0, quiet ? "" : "11\n13\n17\n", expected}));
    }
}

TEST(listing_run, reader_that_goes_away_ends_the_run_unless_there_is_a_file) {
    // A broken pipe, as after `| head`, is quiet; any other failure is told. A search that did not
    // stop would run for hours.
    for (const std::errc error : {std::errc::broken_pipe, std::errc::io_error}) {
        SCOPED_TRACE(std::make_error_code(error).message());
        const bool told = error != std::errc::broken_pipe;
        const std::string why = told ? "Could not write the listing to standard output: " +
                                           std::make_error_code(error).message() + "\n"
                                     : "";
        fake_system alone;
        alone.console_room = 10;
        alone.console_error = std::make_error_code(error);
        EXPECT_EQ(run(alone, 2, 100000000000), (listed{told ? 1 : 0, "2\n3\n5\n7\n11", why}));

        fake_system with_file;
        with_file.console_room = 10;
        with_file.console_error = std::make_error_code(error);
        EXPECT_EQ(run(with_file, 2, 100000, {.output = "p.txt"}),
                  (listed{told ? 1 : 0, "2\n3\n5\n7\n11", why}));
        EXPECT_TRUE(with_file.files["p.txt"].ends_with("\n1299709\n"));
        EXPECT_EQ(std::ranges::count(with_file.files["p.txt"], '\n'), 100000);
    }
}

TEST(listing_run, interrupt_tells_what_was_written) {
    for (const bool to_file : {false, true}) {
        SCOPED_TRACE(to_file ? "with a file" : "standard output alone");
        fake_system system;
        system.files = {{"p.txt", "old\n"}};
        system.interrupt = [](interrupt_flag& flag) { flag.record(SIGINT); };
        system.polls_before_interrupt = 3;
        const listed r =
            run(system, 0, 100000000, to_file ? run_settings{.output = "p.txt"} : run_settings{});
        const auto lines = std::ranges::count(r.out, '\n');
        EXPECT_GT(lines, 0);
        EXPECT_TRUE(r.out.starts_with("2\n3\n5\n") && r.out.ends_with('\n'));
        EXPECT_EQ(r.status, 128 + SIGINT);
        EXPECT_EQ(system.ended_by, SIGINT);
        EXPECT_EQ(r.err, to_file ? "Interrupted; " + std::to_string(lines) +
                                       " primes were saved in \"p.txt\".\n"
                                 : "Interrupted; " + std::to_string(lines) +
                                       " primes were written to standard output.\n");
        EXPECT_EQ(system.files["p.txt"], to_file ? r.out : "old\n");
    }
}

TEST(listing_run, threads_follow_the_cap_and_the_processors) {
    // A search that workers share on any processor, stopped once it has shown its first lines:
    // 3 * 10^5 primes near 10^19 are confirmed sooner than the primes to 2^32 are set up.
    const std::pair<unsigned, int> caps[] = {{0, 4}, {1, 0}, {2, 2}, {8, 4}};
    for (const auto& [threads, workers] : caps) {
        SCOPED_TRACE(threads);
        fake_system system;
        system.processor_count = 4;
        std::ostringstream out, err;
        system.console = &out;
        system.error_text = &err;
        system.interrupt = [](interrupt_flag& flag) { flag.record(SIGTERM); };
        system.interrupt_when = [&out](const fake_system&) { return !out.str().empty(); };
        const int status = run_listing(10000000000000000000u, 300000,
                                       {.threads = threads, .costs = plan_costs{}}, err, system);
        EXPECT_EQ(status, 128 + SIGTERM);
        EXPECT_TRUE(out.str().starts_with("10000000000000000051\n"));
        EXPECT_EQ(system.workers_started, workers);
    }
}

}  // namespace
}  // namespace zorvanteli
