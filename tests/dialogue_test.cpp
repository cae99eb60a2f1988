// Runs the whole dialogue against a fake system and checks the exit status, the console,
// standard error and the result file byte for byte.
#include "dialogue/dialogue.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sstream>

#include "fake_system.hpp"

namespace zorvanteli {

using files = std::map<std::string, std::string>;
const std::string banner =
    "          A TOLVEK PRODUCT\n--------------------------------------\n"
    "             ZORVANTELI!\n--------------------------------------\n"
    "-----------------V1.1-----------------\nThis program searches for prime numbers\n"
    "and writes them to a textfile, having\n the current time and date as its filename,\n"
    "into the same catalouge as the program.\n\nStart the search from which number?\n";
const std::string asked = banner + "Look for how many prime numbers?\n";
const std::string done = "\nDone! Press enter to quit program.", name = "1405 08-12-2025.txt";

// The exit status, the console, standard error and the unread input of a run at 14:05 on
// 8 December 2025.
static std::tuple<int, std::string, std::string, std::string> run(fake_system& system,
                                                                  const char* input) {
    const local_time_zone zone{"UTC0"};
    system.start_time = 1765202700;
    std::istringstream in{input};
    std::ostringstream out, err;
    const int status = run_dialogue(in, out, err, system);
    return {status, out.str(), err.str(), std::string{std::istreambuf_iterator{in}, {}}};
}

static std::string failure(std::errc reason) {
    return "Could not write the result file \"" + name +
           "\": " + std::make_error_code(reason).message() + "\n";
}

TEST(dialogue, whole_runs) {
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"10\n3\n\n", asked + "\n11\n13\n17\n" + done, "11\n13\n17\n"},
        {"10\n0\n\n", asked + "\n" + done, ""},
        {"x\n2\n\n",
         banner + "Error in number conversion! Sets start number to 1." +
             "Look for how many prime numbers?\n\n2\n3\n" + done,
         "2\n3\n"},
        {"5\n-1\n\n", asked + "Error in number conversion! Sets number to 1.\n5\n" + done, "5\n"},
        {"18446744073709551557\n3\n\n",
         asked + "\n18446744073709551557\nReached 18446744073709551615, the largest number that " +
             "can be searched; found 1 of 3 primes.\n" + done,
         "18446744073709551557\n"}};
    for (const auto& [input, out, file] : cases) {
        fake_system system;
        EXPECT_EQ(run(system, input), std::tuple(0, out, "", ""));  // Enter was waited for
        EXPECT_EQ(system.files, (files{{name, file}}));
        EXPECT_EQ(system.workers_started, 0);  // too little work for threads
    }
    fake_system system;  // a second run in the same minute
    system.files[name] = "2\n";
    const std::string listed = asked + "\n11\n13\n17\n" + done;
    EXPECT_EQ(run(system, "10\n3\n\nmore"), std::tuple(0, listed, "", "more"));
    EXPECT_EQ(system.files, (files{{name, "2\n"}, {"1405 08-12-2025 (2).txt", "11\n13\n17\n"}}));
}

TEST(dialogue, result_file_failures_are_reported_once) {
    fake_system uncreatable;
    uncreatable.create_errors[name] = std::make_error_code(std::errc::permission_denied);
    const std::string listed = asked + "\n11\n13\n17\n" + done;
    EXPECT_EQ(run(uncreatable, "10\n3\n\n"),
              std::tuple(1, listed, failure(std::errc::permission_denied), ""));
    fake_system unclosable;
    unclosable.close_error = std::make_error_code(std::errc::io_error);
    EXPECT_EQ(run(unclosable, "10\n3\n\n"),
              std::tuple(1, listed, failure(std::errc::io_error), ""));

    // Over a megabyte of listing, so several blocks meet the full disk; then the close fails.
    fake_system full;
    full.write_limit = 100;
    full.close_error = std::make_error_code(std::errc::io_error);
    const auto [status, out, err, unread] = run(full, "0\n200000\n\n");
    EXPECT_TRUE(out.ends_with("\n2750159\n" + done));  // the 200000th prime
    EXPECT_EQ(std::tie(status, err), std::tuple(1, failure(std::errc::no_space_on_device)));
}

TEST(dialogue, interrupt_leaves_whole_lines_in_the_file) {
    fake_system system;
    system.interrupt = SIGINT;
    system.polls_before_interrupt = 3;
    const auto [status, out, err, unread] = run(system, "0\n100000000\n\n");
    const std::string& saved = system.files[name];
    const auto lines = std::ranges::count(saved, '\n');
    EXPECT_TRUE(lines > 0 && lines < 100000000 && saved.starts_with("2\n3\n5\n"));
    EXPECT_TRUE(out == asked + "\n" + saved);  // as much as on the console, and no more
    EXPECT_EQ(std::tie(status, err, unread),
              std::tuple(128 + SIGINT,
                         "Interrupted; " + std::to_string(lines) + " primes were saved in \"" +
                             name + "\".\n",
                         "\n\n"));  // no wait for Enter
    EXPECT_EQ(system.ended_by, SIGINT);
    EXPECT_EQ(system.workers_started, 2);  // one per processor, interrupts kept off each
}

}  // namespace zorvanteli
