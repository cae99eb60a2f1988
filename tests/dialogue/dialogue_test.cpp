// Runs the whole dialogue against a fake system and checks the exit status, the console,
// standard error and the result file byte for byte.
#include "dialogue/dialogue.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <sstream>
#include <thread>

#include "platform/fake_system.hpp"
#include "platform/interrupt_flag.hpp"

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
    system.console = &out;
    system.error_text = &err;
    // The plan is the same on every host: AVX2's costs, not those measured here.
    const int status = run_dialogue(in, out, err, system, {.costs = plan_costs{}});
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
    system.interrupt = [](interrupt_flag& flag) { flag.record(SIGINT); };
    system.processor_count = 4;
    // Once the first lines are saved, however slow the build; where four workers confirm the
    // survivors sooner than a full sieve would set up its primes.
    system.interrupt_when = [](const fake_system& s) {
        return s.files.contains(name) && !s.files.at(name).empty();
    };
    const auto [status, out, err, unread] = run(system, "10000000000000000000\n100000000\n\n");
    const std::string& saved = system.files[name];
    const auto lines = std::ranges::count(saved, '\n');
    EXPECT_TRUE(lines > 0 && lines < 100000000 &&
                saved.starts_with("10000000000000000051\n10000000000000000087\n"));
    EXPECT_TRUE(out == asked + "\n" + saved);  // as much as on the console, and no more
    EXPECT_EQ(std::tie(status, err, unread),
              std::tuple(128 + SIGINT,
                         "Interrupted; " + std::to_string(lines) + " primes were saved in \"" +
                             name + "\".\n",
                         "\n\n"));  // no wait for Enter
    EXPECT_EQ(system.ended_by, SIGINT);
    EXPECT_EQ(system.workers_started, 4);  // one per processor, interrupts kept off each
}

TEST(dialogue, one_enter_ends_the_run_after_a_rejected_answer) {
    // What follows the Enter that ends the run stays unread.
    const std::string listed = "\n11\n" + done;
    const std::pair<const char*, std::string> cases[] = {
        {"10\n3\n\nleft", asked + "\n11\n13\n17\n" + done},
        {"10\nabc\n\nleft", asked + "Error in number conversion! Sets number to 1." + listed},
        {"10\n-1 2\n\nleft", asked + "Error in number conversion! Sets number to 1." + listed},
        {"x\n1\n\nleft", banner + "Error in number conversion! Sets start number to 1." +
                             "Look for how many prime numbers?\n\n2\n" + done}};
    for (const auto& [input, out] : cases) {
        fake_system system;
        EXPECT_EQ(run(system, input), std::tuple(0, out, "", "left")) << input;
    }
}

TEST(dialogue, interrupt_message_tells_what_the_file_holds) {
    const auto at_third_poll = [](fake_system& system) {
        system.interrupt = [](interrupt_flag& flag) { flag.record(SIGTERM); };
        system.polls_before_interrupt = 3;
    };
    fake_system uncreatable;
    uncreatable.create_errors[name] = std::make_error_code(std::errc::permission_denied);
    at_third_poll(uncreatable);
    const auto [status, out, err, unread] = run(uncreatable, "0\n100000000\n\n");
    EXPECT_EQ(std::tie(status, err),
              std::tuple(128 + SIGTERM, failure(std::errc::permission_denied) +
                                            "Interrupted; nothing was saved.\n"));
    EXPECT_TRUE(uncreatable.files.empty());

    // The disk fills in the middle of a line: the file keeps the whole lines before it.
    fake_system full;
    full.write_limit = 4096;
    full.interrupt = [](interrupt_flag& flag) { flag.record(SIGTERM); };
    full.interrupt_when = [](const fake_system& s) {  // once the first block was written
        return s.files.contains(name) && !s.files.at(name).empty();
    };
    const auto [full_status, full_out, full_err, full_unread] = run(full, "0\n100000000\n\n");
    const std::string& saved = full.files[name];
    ASSERT_TRUE(full_out.starts_with(asked + "\n") && full_out.size() > asked.size() + 4096);
    const std::string listing = full_out.substr(asked.size() + 1);
    EXPECT_EQ(saved, listing.substr(0, listing.rfind('\n', 4095) + 1));
    EXPECT_TRUE(saved.ends_with("\n6653\n6659\n"));  // 6661, the next prime, did not fit
    EXPECT_EQ(std::tie(full_status, full_err),
              std::tuple(128 + SIGTERM, failure(std::errc::no_space_on_device) +
                                            "Interrupted; 858 primes were saved in \"" + name +
                                            "\".\n"));  // 858 primes up to 6659
}

TEST(dialogue, console_events_that_end_the_session_wait_for_the_save) {
    // Windows ends the process as soon as the handler returns from these: by then the file must
    // be complete and closed and the message written.
    for (const unsigned long event :
         {console_event::close, console_event::logoff, console_event::shutdown}) {
        SCOPED_TRACE(event);
        fake_system system;
        std::thread handler;
        bool handled = false, closed_by_then = false;
        std::string saved_by_then, told_by_then;
        std::ostringstream* err_stream = nullptr;
        system.interrupt = [&](interrupt_flag& flag) {
            handler = std::thread{[&] {
                console_writes writes;  // the fake's main thread never blocks in one
                handled = handle_console_event(flag, event, writes, system.saves_from_console);
                closed_by_then = system.closed.contains(name);
                saved_by_then = system.files[name];
                told_by_then = err_stream->str();
            }};
            while (flag.pending() == 0) std::this_thread::yield();  // as a handler thread would
        };
        system.interrupt_when = [](const fake_system& s) {
            return s.files.contains(name) && !s.files.at(name).empty();
        };
        const local_time_zone zone{"UTC0"};
        system.start_time = 1765202700;
        std::istringstream in{"0\n100000000\n\n"};
        std::ostringstream out, err;
        err_stream = &err;
        system.console = &out;
        system.error_text = &err;
        run_dialogue(in, out, err, system, {.costs = plan_costs{}});
        handler.join();
        const std::string& saved = system.files[name];
        const auto lines = std::ranges::count(saved, '\n');
        EXPECT_TRUE(lines > 0 && saved.starts_with("2\n3\n5\n") && saved.ends_with('\n'));
        EXPECT_TRUE(out.str() == asked + "\n" + saved);
        EXPECT_EQ(system.ended_by, interrupt_of_console_event(event));
        EXPECT_TRUE(handled && closed_by_then);
        EXPECT_EQ(saved_by_then, saved);
        EXPECT_EQ(told_by_then, "Interrupted; " + std::to_string(lines) +
                                    " primes were saved in \"" + name + "\".\n");
    }
}

TEST(dialogue, handler_thread_saves_while_the_console_holds_the_main_thread) {
    // As Windows' handler thread does when the main thread is stuck in a console write: the
    // file, which got the block first, is closed and its true count told; the process ends.
    fake_system system;
    std::string saved_by_then, told_by_then;
    bool closed_by_then = false;
    system.console_writing = [&] {
        if (system.ended_by != 0 || !system.files.contains(name) || system.files[name].empty())
            return;
        std::thread{[&] { system.saves_from_console(SIGINT); }}.join();
        closed_by_then = system.closed.contains(name);
        saved_by_then = system.files[name];
        told_by_then = static_cast<std::ostringstream*>(system.error_text)->str();
    };
    // Here the main thread goes on, which the real one never does: let it stop soon.
    system.interrupt = [](interrupt_flag& flag) { flag.record(SIGINT); };
    system.interrupt_when = [](const fake_system& s) { return s.ended_by != 0; };
    run(system, "0\n100000000\n\n");
    const auto lines = std::ranges::count(saved_by_then, '\n');
    EXPECT_TRUE(lines > 0 && saved_by_then.starts_with("2\n3\n5\n") &&
                saved_by_then.ends_with('\n'));
    EXPECT_TRUE(closed_by_then);
    EXPECT_EQ(told_by_then, "Interrupted; " + std::to_string(lines) + " primes were saved in \"" +
                                name + "\".\n");
    EXPECT_EQ(system.ended_by, SIGINT);
}

TEST(dialogue, options_name_the_file_keep_the_primes_off_and_cap_the_threads) {
    const local_time_zone zone{"UTC0"};
    // Settings; the console and the files, with a "p.txt" of "old\n" there before.
    const std::tuple<run_settings, std::string, files> cases[] = {
        {{.output = "p.txt"}, asked + "\n11\n13\n17\n" + done, {{"p.txt", "11\n13\n17\n"}}},
        {{.output = "p.txt", .quiet = true}, asked + "\n" + done, {{"p.txt", "11\n13\n17\n"}}},
        {{.threads = 1},
         asked + "\n11\n13\n17\n" + done,
         {{"p.txt", "old\n"}, {name, "11\n13\n17\n"}}},
    };
    for (const auto& [settings, console, after] : cases) {
        fake_system system;
        system.start_time = 1765202700;
        system.files = {{"p.txt", "old\n"}};
        std::istringstream in{"10\n3\n\n"};
        std::ostringstream out, err;
        system.console = &out;
        system.error_text = &err;
        EXPECT_EQ(run_dialogue(in, out, err, system, settings), 0);
        EXPECT_EQ(out.str(), console);
        EXPECT_EQ(err.str(), "");
        EXPECT_EQ(system.files, after);
    }
    // Where workers would share the search, one thread.
    for (const unsigned threads : {1u, 0u}) {
        fake_system system;
        system.processor_count = 4;
        system.interrupt = [](interrupt_flag& flag) { flag.record(SIGINT); };
        system.interrupt_when = [](const fake_system& s) {
            return s.files.contains(name) && !s.files.at(name).empty();
        };
        std::istringstream in{"10000000000000000000\n100000000\n\n"};
        std::ostringstream out, err;
        system.console = &out;
        system.error_text = &err;
        system.start_time = 1765202700;
        EXPECT_EQ(run_dialogue(in, out, err, system, {.threads = threads, .costs = plan_costs{}}),
                  128 + SIGINT);
        EXPECT_EQ(system.workers_started, threads == 1 ? 0 : 4);
    }
}

}  // namespace zorvanteli
