// End-to-end tests: run the built program in a fresh folder with prepared input and check the
// console, standard error, the exit status and the result file, also under closed pipes and faults.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/mount.h>
#endif

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "program_harness.hpp"

namespace zorvanteli::harness {

std::vector<std::string> program_command() {
    return {ZORVANTELI_EMULATOR ZORVANTELI_PROGRAM};
}

// Cross-built, the program runs under qemu, which runs a thread of its own beside the program's
// and takes far more memory than the program.
const bool emulated = program_command().size() > 1;
const int emulator_threads = emulated ? 1 : 0;

}  // namespace zorvanteli::harness

namespace {

using namespace zorvanteli::harness;
using namespace std::string_literals;

const std::string start_failed = "Error in number conversion! Sets start number to 1.";
const std::string quota_failed = "Error in number conversion! Sets number to 1.";
const std::string closing = "Done! Press enter to quit program.";
const std::string start_fails = start_failed + asked;
const std::string quota_fails = asked + quota_failed;

std::string console(std::string_view questions, std::string_view listing,
                    std::string_view note = "") {
    return std::string{banner}.append(questions).append("\n").append(listing).append(note).append(
        "\n" + closing);
}

std::string reached(int found, std::string_view quota) {
    return "Reached 18446744073709551615, the largest number that can be searched; found " +
           std::to_string(found) + " of " + std::string{quota} + " primes.\n";
}

// The run's one file, checked for its name; "" when there is not exactly one.
std::string only_file(const outcome& r) {
    EXPECT_EQ(r.files.size(), 1u);
    if (r.files.size() != 1) return "";
    EXPECT_TRUE(run_name(r.files.begin()->first, r.started, r.finished));
    return r.files.begin()->first;
}

void expect_complete_run(const outcome& r, std::string_view questions, const std::string& listing,
                         std::string_view note = "") {
    EXPECT_TRUE(same_text(r.out, console(questions, listing, note)));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.ended, "exit 0");
    const std::string name = only_file(r);
    if (!name.empty()) {
        EXPECT_TRUE(same_text(r.files.at(name), listing));
    }
}

struct dialogue_case {
    std::string input, questions, listing, note = "";
};

void expect_dialogues(const std::vector<dialogue_case>& cases) {
    for (const auto& [input, questions, listing, note] : cases) {
        SCOPED_TRACE(testing::PrintToString(input.substr(0, 40)));
        expect_complete_run(run(input), questions, listing, note);
    }
}

TEST(dialogue, worked_example_lists_saves_and_waits_for_enter) {
    scratch_folder folder;
    program_run program{{.folder = folder.path()}};
    program.send("10\n3\n");
    const std::size_t whole = console(asked, "11\n13\n17\n").size();
    ASSERT_TRUE(program.pump([&](const std::string& out) { return out.size() >= whole; }));
    // Gives a program that does not wait time to end; one that waits cannot fail this.
    std::this_thread::sleep_for(std::chrono::milliseconds{300});
    EXPECT_TRUE(program.running()) << "ended before Enter was pressed";
    program.send("\n");
    outcome r = program.finish();
    r.files = folder.files();
    expect_complete_run(r, asked, "11\n13\n17\n");
}

TEST(dialogue, answers_and_conversion_failures) {
    const std::string both_fail = start_fails + quota_failed;
    expect_dialogues({
        {"10 3\n\n", asked, "11\n13\n17\n"},
        {"5\n0\n\n", asked, ""},
        {"abc\n3\n", start_fails, "2\n3\n5\n"},
        {"10\nxyz\n", quota_fails, "11\n"},
        {"-5\n2\n", start_fails, "2\n3\n"},
        {"99999999999999999999\n2\n", start_fails, "2\n3\n"},
        {"18446744073709551616\n1\n", start_fails, "2\n"},
        {"", both_fail, "2\n"},
        {"   ", both_fail, "2\n"},
    });
    expect_complete_run(run("", {.close_stdin = true}), both_fail, "2\n");
}

TEST(dialogue, hostile_input_still_ends_normally) {
    expect_dialogues({
        {"\x00\x01\xff\n3\n"s, start_fails, "2\n3\n5\n"},
        {std::string(100000, '7') + "\n2\n", start_fails, "2\n3\n"},
        {"+5\n2\n", asked, "5\n7\n"},
        {"\t7\r\n2\r\n\r\n", asked, "7\n11\n"},
        {"5abc\n", quota_fails, "5\n"},
        {"0x1f\n", quota_fails, "2\n"},
        {"1e9\n", quota_fails, "2\n"},
    });
}

TEST(dialogue, one_enter_ends_the_run_after_a_rejected_quota) {
    // At a terminal: the rejected line's Enter must not be taken for the one that ends the run.
    for (const std::string answer : {"3", "abc", "-2 x"}) {
        SCOPED_TRACE(answer);
        scratch_folder folder;
        program_run program{{.folder = folder.path()}};
        program.send("10\n" + answer + "\n");
        const bool rejected = answer != "3";
        const std::string listing = rejected ? "11\n" : "11\n13\n17\n";
        const std::string shown = console(rejected ? quota_fails : asked, listing);
        ASSERT_TRUE(
            program.pump([&](const std::string& out) { return out.size() >= shown.size(); }));
        program.send("\n");
        program.pump();  // to the end of standard output, with input still open: the program ended
        program.wait_for_exit();
        outcome r = program.finish();
        r.files = folder.files();
        expect_complete_run(r, rejected ? quota_fails : asked, listing);
    }
}

TEST(dialogue, endless_input_without_a_line_break_ends_normally) {
    // Each rejected answer drops a bounded part of the line; the closing prompt takes two bytes.
    expect_complete_run(run("", {.stdin_file = "/dev/zero"}), start_fails + quota_failed, "2\n");
}

TEST(dialogue, search_stops_at_the_largest_number_and_says_so) {
    const std::string last_primes =
        "18446744073709551113\n18446744073709551163\n18446744073709551191\n"
        "18446744073709551253\n18446744073709551263\n18446744073709551293\n"
        "18446744073709551337\n18446744073709551359\n18446744073709551427\n"
        "18446744073709551437\n18446744073709551521\n18446744073709551533\n"
        "18446744073709551557\n";
    const std::string max = "18446744073709551615";
    expect_dialogues({
        {"18446744073709551000\n20\n\n", asked, last_primes, reached(13, "20")},
        {"18446744073709551000\n" + max + "\n\n", asked, last_primes, reached(13, max)},
        {"18446744073709551557\n1\n\n", asked, "18446744073709551557\n"},
        {"18446744073709551557\n2\n\n", asked, "18446744073709551557\n", reached(1, "2")},
        {"18446744073709551558\n1\n\n", asked, "", reached(0, "1")},
        {max + "\n1\n\n", asked, "", reached(0, "1")},
    });
}

TEST(options, answer_at_once_without_a_search_or_a_file) {
    // Input that would run a whole search, were the dialogue to start.
    const std::tuple<std::vector<std::string>, std::string, std::string, std::string> cases[] = {
        {{"--help"}, help(false), "", "exit 0"},
        {{"--version"}, version, "", "exit 0"},
        {{"--help", "--bogus"}, help(false), "", "exit 0"},
        {{"--bogus", "--help"}, "", refusal("unrecognized option '--bogus'"), "exit 2"},
        {{"/?"}, "", refusal("invalid start number: '/?'"), "exit 2"},  // only Windows takes it
        {{""}, "", refusal("invalid start number: ''"), "exit 2"},
    };
    for (const auto& [arguments, out, err, ended] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const outcome r = run("10\n3\n\n", {.arguments = arguments, .instructions = "portable"});
        EXPECT_EQ(r.out, out);
        EXPECT_EQ(r.err, err);
        EXPECT_EQ(r.ended, ended);
        EXPECT_TRUE(r.files.empty());
    }
}

TEST(options, answer_that_cannot_be_written_fails) {
    for (const std::string option : {"--help", "--version"}) {
        SCOPED_TRACE(option);
        const outcome r = run("", {.arguments = {option}, .close_stdout = true});
        EXPECT_EQ(r.ended, "exit 1");
        EXPECT_TRUE(r.files.empty());
    }
}

TEST(result_file, taken_name_gets_a_number_and_stays_untouched) {
    scratch_folder folder;
    const std::time_t now = std::time(nullptr);
    // The next minute too, in case the program starts after the minute turned.
    const std::set<std::string> taken{minute_name(now) + ".txt", minute_name(now + 60) + ".txt"};
    for (const std::string& name : taken) std::ofstream{folder.path() / name} << "kept\n";
    const outcome r = run("10\n3\n\n", {.folder = folder.path()});
    EXPECT_TRUE(same_text(r.out, console(asked, "11\n13\n17\n")));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.ended, "exit 0");
    const auto files = folder.files();
    EXPECT_EQ(files.size(), 3u);
    for (const auto& [name, text] : files) {
        const bool old = taken.contains(name);
        EXPECT_TRUE(old || run_name(name, r.started, r.finished, " (2).txt")) << name;
        EXPECT_EQ(text, old ? "kept\n" : "11\n13\n17\n") << name;
    }
}

TEST(result_file, parallel_runs_each_get_a_complete_file) {
    scratch_folder folder;
    const std::string listing = small_primes(1000, 20000);
    const std::time_t from = std::time(nullptr);
    std::vector<std::unique_ptr<program_run>> runs;
    for (int i = 0; i < 4; ++i) {
        runs.push_back(std::make_unique<program_run>(launch{.folder = folder.path()}));
        runs.back()->send("1000\n20000\n\n");
    }
    for (auto& program : runs) {
        const outcome r = program->finish();
        EXPECT_TRUE(same_text(r.out, console(asked, listing)));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.ended, "exit 0");
    }
    const auto files = folder.files();
    EXPECT_EQ(files.size(), 4u);
    for (const auto& [name, text] : files) {
        const auto of_run = [&, &file_name = name](const char* ending) {
            return run_name(file_name, from, std::time(nullptr), ending);
        };
        EXPECT_TRUE(of_run(".txt") || of_run(" (2).txt") || of_run(" (3).txt") ||
                    of_run(" (4).txt"))
            << name;
        EXPECT_TRUE(same_text(text, listing)) << name;
    }
}

TEST(result_file, uncreatable_file_is_reported_and_the_listing_still_shown) {
    // Creating files in /proc fails even for root; a read-only folder only for other users.
    std::vector<std::pair<fs::path, std::string>> folders{{"/proc", "No such file or directory"}};
    scratch_folder read_only;
    fs::permissions(read_only.path(), fs::perms::owner_read | fs::perms::owner_exec);
    if (::geteuid() != 0) folders.emplace_back(read_only.path(), "Permission denied");
    for (const auto& [folder, reason] : folders) {
        SCOPED_TRACE(folder.string());
        const outcome r = run("10\n3\n\n", {.folder = folder});
        EXPECT_TRUE(same_text(r.out, console(asked, "11\n13\n17\n")));
        EXPECT_EQ(r.ended, "exit 1");
        const std::string prefix = "Could not write the result file \"";
        ASSERT_TRUE(r.err.starts_with(prefix)) << r.err;
        const std::string name = quoted_name(r.err);
        EXPECT_TRUE(run_name(name, r.started, r.finished)) << name;
        EXPECT_EQ(r.err, prefix + name + "\": " + reason + "\n");
    }
    EXPECT_TRUE(read_only.files().empty());
}

// A million primes, line for line as primesieve lists them: the dense range, where the sieve
// runs ahead; from 2^44 and 10^15 to 10^17, where a full sieve proves them, on one processor and
// sharing its set-up with the writer; and 10^19, where workers confirm the survivors.
TEST(large_run, million_primes_match_primesieve) {
    const std::tuple<std::string, std::uint64_t, int> runs[] = {
        {"1000000000000", 1000000000039, 0},
        {"17592186044416", 17592186044423, 0},
        {"1000000000000000", 1000000000000037, 1},
        {"1000000000000000", 1000000000000037, 0},
        {"100000000000000000", 100000000000000003, 0},
        {"10000000000000000000", 10000000000000000051u, 0}};
    for (const auto& [start, first, processors] : runs) {
        SCOPED_TRACE(start + " on " + std::to_string(processors) + " processors (0: all)");
        const outcome r = run(start + "\n1000000\n\n", {.processors = processors});
        const std::string name = only_file(r);
        ASSERT_FALSE(name.empty());
        const std::string& file = r.files.at(name);
        EXPECT_TRUE(same_text(r.out, console(asked, file)));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.ended, "exit 0");
        const auto numbers = numbers_of(file);
        ASSERT_EQ(numbers.size(), 1000000u);
        EXPECT_EQ(numbers.front(), first);
        if (*PRIMESIEVE_PROGRAM == '\0') continue;  // not installed: not compared
        EXPECT_TRUE(same_text(file, primesieve_listing(start, std::to_string(numbers.back()))));
    }
}

TEST(faults, lost_console_does_not_stop_the_search) {
    const std::string listing = small_primes(2, 200000);
    const std::vector<std::pair<std::string, launch>> ways{
        {"reader gone at once", {.stdout_keep = 0}},
        {"reader gone after a little", {.stdout_keep = 1000}},
        {"no standard output", {.close_stdout = true}},
    };
    for (const auto& [way, how] : ways) {
        SCOPED_TRACE(way);
        const outcome r = run("2\n200000\n\n", how);
        EXPECT_TRUE(console(asked, listing).starts_with(r.out));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.ended, "exit 0");
        const std::string name = only_file(r);
        EXPECT_TRUE(name.empty() || same_text(r.files.at(name), listing));
    }
}

// The run's one file, which must hold `count` primes from `first` on; "" when there is none.
std::string listing_of(const outcome& r, std::size_t count, std::uint64_t first) {
    const std::string name = only_file(r);
    if (name.empty()) return "";
    const std::string& file = r.files.at(name);
    const auto numbers = numbers_of(file);
    EXPECT_EQ(numbers.size(), count);
    EXPECT_EQ(numbers.empty() ? 0 : numbers.front(), first);
    return file;
}

TEST(faults, non_blocking_console_shows_every_line) {
    // A parent may leave a shared pipe non-blocking: while it is full, every write is refused.
    const outcome r = run("1000000000000\n300000\n\n", {.nonblocking_stdout = true});
    expect_complete_run(r, asked, listing_of(r, 300000, 1000000000039));
}

TEST(faults, failed_console_write_is_waited_out_or_ends_the_console) {
    if (*STRACE_PROGRAM == '\0') GTEST_SKIP() << "strace not installed";
    // The console is a file, whose writes strace picks out: the first is the banner, the second
    // the second question, the third the empty line, the fourth and on the listing's blocks.
    const std::string head = banner + asked + "\n";
    const std::pair<std::string, int> failures[] = {{"EAGAIN", 1}, {"EAGAIN", 2}, {"EAGAIN", 5},
                                                    {"EIO", 1},    {"EIO", 2},    {"EPIPE", 4},
                                                    {"ENOSPC", 5}};
    for (const auto& [error, write] : failures) {
        SCOPED_TRACE(error + " at write " + std::to_string(write));
        const scratch_folder elsewhere;
        const fs::path console_file = fs::canonical(elsewhere.path()) / "console";
        const std::string inject =
            "-einject=write:error=" + error + ":when=" + std::to_string(write);
        std::vector<std::string> traced{STRACE_PROGRAM,  "-fqq", "-o/dev/null",
                                        "-etrace=write", inject, "-P" + console_file.string()};
        std::ranges::copy(program_command(), std::back_inserter(traced));
#ifdef __SANITIZE_ADDRESS__
        // LeakSanitizer cannot work in a traced process.
        traced.insert(traced.begin() + 1, "-EASAN_OPTIONS=detect_leaks=0");
#endif
        const outcome r = run("1000000000000\n200000\n\n", {.stdout_file = console_file}, traced);
        const std::string file = listing_of(r, 200000, 1000000000039);
        if (error == "EAGAIN") {
            expect_complete_run(r, asked, file);
            continue;
        }
        // Gone for the rest of the run: what came before, and not a byte after.
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.ended, "exit 0");
        if (write < 4) {
            EXPECT_EQ(r.out, write == 1 ? "" : banner);
            continue;
        }
        ASSERT_TRUE(r.out.starts_with(head));
        const std::string shown = r.out.substr(head.size());
        EXPECT_TRUE(file.starts_with(shown)) << "a line after a gap, or a part of one";
        EXPECT_TRUE(shown.empty() == (write == 4) && shown.ends_with('\n') == (write > 4));
        EXPECT_LT(shown.size(), file.size());
    }
}

TEST(faults, small_stack_suffices_on_every_path) {
    // 40 KiB for the main thread; the sieve that runs ahead and the workers get stacks of their
    // own size. Short searches above 2^44 confirm on the main thread, in vector lanes where the
    // processor has them.
    const std::tuple<std::string, std::uint64_t, int, std::size_t> searches[] = {
        {"10", 11, 1, 1000000},
        {"1000000000000", 1000000000039, 0, 1000000},
        {"1000000000000000000", 1000000000000000003, 0, 1000000},
        {"17592186044416", 17592186044423, 0, 1},
        {"1000000000000000", 1000000000000037, 0, 1},
        {"1000000000000000", 1000000000000037, 0, 3000},
        {"10000000000000000", 10000000000000061, 0, 5000},
        {"1000000000000000000", 1000000000000000003, 0, 3000},
        {"10000000000000000000", 10000000000000000051u, 0, 3000}};
#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer's redzones around every array on the stack take room of their own: 48 KiB
    // were needed.
    constexpr rlim_t stack = 64 << 10;
#else
    constexpr rlim_t stack = 40 << 10;
#endif
    for (const auto& [start, first, processors, quota] : searches) {
        SCOPED_TRACE(start + ", " + std::to_string(quota) + " primes");
        const outcome r = run(start + "\n" + std::to_string(quota) + "\n\n",
                              {.processors = processors, .stack_limit = stack});
        expect_complete_run(r, asked, listing_of(r, quota, first));
    }
}

// The console has the whole listing, the file a prefix of it; one report and exit 1.
void expect_truncated_file(const outcome& r, const std::string& listing, const std::string& why) {
    EXPECT_TRUE(same_text(r.out, console(asked, listing)));
    EXPECT_EQ(r.ended, "exit 1");
    const std::string name = only_file(r);
    if (name.empty()) return;
    EXPECT_EQ(r.err, "Could not write the result file \"" + name + "\": " + why + "\n");
    const std::string& file = r.files.at(name);
    EXPECT_TRUE(listing.starts_with(file));
    EXPECT_TRUE(file.empty() || file.ends_with('\n')) << "a torn last line";
}

TEST(faults, file_size_limit_is_reported_once) {
    const std::string listing = small_primes(2, 100000);
    // Inherited as ignored, or left for the program to deal with.
    for (bool ignored : {true, false}) {
        SCOPED_TRACE(ignored ? "SIGXFSZ ignored" : "SIGXFSZ default");
        const outcome r =
            run("2\n100000\n\n", {.file_size_limit = 4096, .ignore_sigxfsz = ignored});
        expect_truncated_file(r, listing, "File too large");
        // 4096 bytes were written, ending in "6659\n666": cut back to the last whole line.
        EXPECT_TRUE(r.files.size() != 1 ||
                    same_text(r.files.begin()->second, small_primes(2, 858)));
    }
}

TEST(faults, full_disk_is_reported_once) {
#ifdef __linux__
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    scratch_folder folder;
    if (::mount("tmpfs", folder.path().c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs: " << std::strerror(errno);
    struct unmount_at_end {
        const fs::path& at;
        ~unmount_at_end() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{folder.path()};
    outcome r = run("2\n100000\n\n", {.folder = folder.path()});
    r.files = folder.files();
    expect_truncated_file(r, small_primes(2, 100000), "No space left on device");
#else
    GTEST_SKIP() << "needs a Linux tmpfs";
#endif
}

// The interrupt message for a file that holds `lines` whole lines.
std::string saved_message(std::size_t lines, const std::string& name) {
    return "Interrupted; " + std::to_string(lines) + " primes were saved in \"" + name + "\".\n";
}

// The file of an interrupted run: whole lines of ascending primes from `first` on, as primesieve
// lists them; returns how many.
std::size_t expect_interrupted_listing(const std::string& file, std::uint64_t first) {
    const auto lines = static_cast<std::size_t>(std::ranges::count(file, '\n'));
    EXPECT_TRUE(file.ends_with('\n'));
    const auto numbers = numbers_of(file);
    EXPECT_EQ(numbers.size(), lines);
    if (numbers.empty()) return 0;
    EXPECT_EQ(numbers.front(), first);
    EXPECT_EQ(std::ranges::adjacent_find(numbers, std::greater_equal<>{}), numbers.end());
    if (*PRIMESIEVE_PROGRAM != '\0') {
        const std::string last = std::to_string(numbers.back());
        EXPECT_TRUE(same_text(file, primesieve_listing(std::to_string(first), last)));
    }
    return lines;
}

// A run ended by `signal` after its console showed `head`: one file of whole lines from `first`
// on, the message with their count, and a console never ahead of the file (unless the console
// could not take the message).
void expect_interrupted_run(outcome r, const scratch_folder& folder, int signal,
                            std::uint64_t first, const std::string& head,
                            bool console_open = true) {
    r.files = folder.files();
    EXPECT_EQ(r.ended, "signal " + std::to_string(signal));
    const std::string name = only_file(r);
    ASSERT_FALSE(name.empty());
    const std::string& file = r.files.at(name);
    const std::size_t lines = expect_interrupted_listing(file, first);
    ASSERT_GT(lines, 0u);
    if (!console_open) return;
    EXPECT_EQ(r.err, saved_message(lines, name));
    ASSERT_TRUE(r.out.starts_with(head));
    EXPECT_TRUE(file.starts_with(r.out.substr(head.size())))
        << "the console showed primes the file lacks";
}

TEST(faults, interrupt_saves_whole_lines_and_ends_by_the_signal) {
    const std::string head = banner + asked + "\n";
    // Where workers share the search, and where a second thread sieves ahead: by the primes to
    // 2^22, and by every prime to the root.
    const std::pair<std::string, std::uint64_t> searches[] = {
        {"10000000000000000000", 10000000000000000051u},
        {"1000000000000", 1000000000039},
        {"1000000000000000", 1000000000000037}};
    for (const auto& [start, first] : searches) {
        for (int signal : {SIGINT, SIGTERM}) {
            SCOPED_TRACE(start + ", " + ::strsignal(signal));
            scratch_folder folder;
            program_run program{{.folder = folder.path()}};
            program.send(start + "\n100000000\n");
            ASSERT_TRUE(program.pump([&](const std::string& out) {
                return out.size() > head.size() && out.find('\n', head.size()) != std::string::npos;
            }));
            ::kill(program.pid(), signal);
            expect_interrupted_run(program.finish(), folder, signal, first, head);
        }
    }
}

// A full sieve near 10^19 sets up 1.5 * 10^8 primes before its first segment, for a second or
// more; an interrupt then ends the run at once, before any prime, with the file empty. (Were it
// looked at only once the set-up is done, a first batch of primes would be saved.) On one
// processor the plan sieves in full there on any host; on two, where the confirmation is cheap,
// it may confirm in work units instead, whose first primes come at once.
TEST(faults, interrupt_during_the_set_up_of_a_full_sieve) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(::strsignal(signal));
        scratch_folder folder;
        program_run program{{.folder = folder.path(), .processors = 1}};
        program.send("10000000000000000000\n100000000\n");
        // The file is made just before the search takes interrupts and starts.
        for (int wait = 0; wait < 2000 && folder.files().empty(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds{5});
        std::this_thread::sleep_for(std::chrono::milliseconds{20});
        ::kill(program.pid(), signal);
        outcome r = program.finish();
        r.files = folder.files();
        EXPECT_EQ(r.ended, "signal " + std::to_string(signal));
        const std::string name = only_file(r);
        ASSERT_FALSE(name.empty());
        EXPECT_EQ(r.files.at(name), "");
        EXPECT_EQ(r.err, saved_message(0, name));
    }
}

TEST(faults, interrupt_is_honoured_while_the_console_is_blocked) {
    // Once the console stops reading (a pipe into a program that never reads it, a terminal
    // paused with Ctrl+S) the program is blocked writing to it, or waiting for a non-blocking
    // one to take more; the interrupt must still end it, with the file complete. Its console
    // may be behind the file, never ahead.
    const std::string head = banner + asked + "\n";
    for (const std::string kind : {"unread pipe", "unread non-blocking pipe", "paused terminal"}) {
        const bool terminal = kind == "paused terminal";
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            SCOPED_TRACE(kind + ", " + ::strsignal(signal));
            scratch_folder folder;
            program_run program{{.nonblocking_stdout = kind == "unread non-blocking pipe",
                                 .terminal = terminal,
                                 .folder = folder.path()}};
            program.send("1000000000000\n100000000\n");
            ASSERT_TRUE(program.pump([](const std::string& out) {
                return out.find("1000000000039") != std::string::npos;
            }));
            if (terminal) program.pause_terminal();
            ASSERT_TRUE(program.blocked_writing_console());
            ::kill(program.pid(), signal);
            program.wait_for_exit();  // a program that waits for its console hangs here
            // The message cannot pass a paused terminal.
            expect_interrupted_run(program.finish(), folder, signal, 1000000000039u, head,
                                   !terminal);
        }
    }
}

TEST(faults, interrupt_after_a_file_failure_tells_what_the_file_holds) {
    const auto interrupted = [](launch how) {
        program_run program{how};
        program.send("2\n100000000\n");
        // The file gets each block before the console does, so its failure has come by now.
        EXPECT_TRUE(program.pump(
            [](const std::string& out) { return out.find("\n7\n") != std::string::npos; }));
        ::kill(program.pid(), SIGINT);
        return program.finish();
    };
    const outcome none = interrupted({.folder = "/proc"});  // not even root creates files there
    EXPECT_EQ(none.ended, "signal " + std::to_string(SIGINT));
    const std::string prefix = "Could not write the result file \"";
    ASSERT_TRUE(none.err.starts_with(prefix));
    EXPECT_TRUE(
        none.err.ends_with("\": No such file or directory\nInterrupted; nothing was saved.\n"))
        << none.err;

    scratch_folder folder;
    outcome limited = interrupted({.file_size_limit = 4096, .folder = folder.path()});
    limited.files = folder.files();
    EXPECT_EQ(limited.ended, "signal " + std::to_string(SIGINT));
    const std::string name = only_file(limited);
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(same_text(limited.files.at(name), small_primes(2, 858)));
    EXPECT_EQ(limited.err, prefix + name + "\": File too large\n" + saved_message(858, name));
}

// Where memory runs out, the search makes do with fewer threads and smaller buffers; where even
// those cannot be had, it stops with the whole lines found up to then in the file and on the
// console, says so in one line, and the run ends with exit status 1.
TEST(faults, memory_running_out_ends_the_run_cleanly) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory does not fit in a limited address space";
#else
    if (emulated)
        GTEST_SKIP() << "an emulator's own memory does not fit in a limited address space";
    struct memory_case {
        std::string start;
        std::uint64_t quota, first;
        rlim_t mebibytes;
        bool completes;
    };
    // Where memory allows, the whole listing: the search plans for the memory it may take.
    // Where it does not, the run may still end cleanly either way.
    const memory_case cases[] = {
        // The sieve ahead by the primes to 2^22, a full sieve's records, workers on the tests.
        {"1000000000000", 3000000, 1000000000039, 16, true},
        {"1000000000000000", 1000000, 1000000000000037, 16, true},
        {"10000000000000000", 1000000, 10000000000000061, 24, true},
        {"1000000000000000000", 3000000, 1000000000000000003, 24, true},
        {"10000000000000000000", 3000000, 10000000000000000051u, 16, true},
        // Where two threads do not fit, one searches.
        {"1000000000000000", 100000, 1000000000000037, 8, true},
        {"1000000000000000", 100000, 1000000000000037, 9, true},
        {"1000000000000", 3000000, 1000000000039, 6, false},
        {"1000000000000000000", 3000000, 1000000000000000003, 8, false},
        {"10000000000000000000", 3000000, 10000000000000000051u, 6, false},
    };
    for (const auto& [start, quota, first, mebibytes, completes] : cases) {
        SCOPED_TRACE(start + " in " + std::to_string(mebibytes) + " MiB");
        const outcome r = run(start + "\n" + std::to_string(quota) + "\n\n",
                              {.processors = 2, .address_space_limit = mebibytes << 20});
        if (completes || r.ended == "exit 0") {
            expect_complete_run(r, asked, listing_of(r, static_cast<std::size_t>(quota), first));
            continue;
        }
        EXPECT_EQ(r.ended, "exit 1");
        const std::string name = only_file(r);
        ASSERT_FALSE(name.empty());
        const std::string& file = r.files.at(name);
        const auto lines = static_cast<std::uint64_t>(std::ranges::count(file, '\n'));
        if (lines != 0) expect_interrupted_listing(file, first);
        EXPECT_LT(lines, quota);
        EXPECT_EQ(r.err, "Out of memory; " + std::to_string(lines) + " primes were saved in \"" +
                             name + "\".\n");
        EXPECT_TRUE(same_text(r.out, console(asked, file)));
    }
#endif
}

// One search thread per processor the program may run on, and none when it may use only one.
TEST(threads, follow_the_processors_the_program_may_use) {
#ifdef __linux__
    cpu_set_t all;
    ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
    const int processors = CPU_COUNT(&all);
    const std::string head = banner + asked + "\n";
#ifdef __SANITIZE_THREAD__
    const int helpers = 1;  // its runtime starts a thread of its own along with the first one
#else
    const int helpers = 0;
#endif
    for (const int allowed : {1, processors}) {
        SCOPED_TRACE(std::to_string(allowed) + " processors");
        scratch_folder folder;
        program_run program{{.folder = folder.path(), .processors = allowed}};
        program.send("10000000000000000000\n1000000\n");
        ASSERT_TRUE(program.pump([&](const std::string& out) {
            return out.find('\n', head.size()) != std::string::npos;
        }));
        std::ifstream status{"/proc/" + std::to_string(program.pid()) + "/status"};
        std::string line;
        while (std::getline(status, line) && !line.starts_with("Threads:")) {
        }
        EXPECT_EQ(line, "Threads:\t" + std::to_string((allowed == 1 ? 1 : 1 + allowed + helpers) +
                                                      emulator_threads));
        ::kill(program.pid(), SIGTERM);
        EXPECT_EQ(program.finish().ended, "signal " + std::to_string(SIGTERM));
    }
#else
    GTEST_SKIP() << "reads /proc";
#endif
}

// Where no thread, or not every one, can be started, the search goes on with those it has, the
// calling thread at least.
TEST(threads, too_few_to_be_had_still_list_everything) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "its runtime needs a thread of its own";
#else
#ifdef __SANITIZE_ADDRESS__
    ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // LeakSanitizer needs a thread at exit
#endif
    // clone3, and clone where the C library falls back to it, fail from the program's `first`th
    // call on, or at that call alone; an emulator's own threads come first.
    const auto refused_from = [](int first, bool on) -> std::vector<std::string> {
        if (*STRACE_PROGRAM == '\0') return {};
        const std::string when = std::to_string(first + emulator_threads) + (on ? "+" : "");
        std::vector<std::string> traced{STRACE_PROGRAM,
                                        "-fqq",
                                        "-o/dev/null",
                                        "-etrace=clone,clone3",
                                        "-einject=clone3:error=EAGAIN:when=" + when,
                                        "-einject=clone:error=EAGAIN:when=" + when};
        std::ranges::copy(program_command(), std::back_inserter(traced));
        return traced;
    };
    const std::tuple<std::string, launch, std::vector<std::string>> refusals[] = {
        {"one process for its user",
         {.process_limit = static_cast<rlim_t>(1 + emulator_threads)},
         program_command()},
        {"every thread", {}, refused_from(1, true)},
        {"the first thread", {}, refused_from(1, false)},
        {"the second thread and later", {}, refused_from(2, true)},
    };
    for (auto [what, how, command] : refusals) {
        SCOPED_TRACE(what);
        if (command.empty()) continue;  // strace is not installed
        scratch_folder folder;
        fs::permissions(folder.path(), fs::perms::all);  // nobody may have to create the file
        how.folder = folder.path();
        how.processors = 2;
        outcome r = run("10000000000000000000\n1000000\n\n", how, command);
        r.files = folder.files();
        expect_complete_run(r, asked, listing_of(r, 1000000, 10000000000000000051u));
    }
#endif
}

// The run without a dialogue: START and COUNT as arguments.
const std::string reached_one_of_two =
    "Reached 18446744073709551615, the largest number that can be searched; found 1 of 2 "
    "primes.\n";

TEST(arguments, list_on_standard_output_alone_without_asking) {
    // Arguments; standard output, standard error, how the run ended. Standard input holds answers
    // that the dialogue would take: nothing is asked.
    const std::tuple<std::vector<std::string>, std::string, std::string, std::string> cases[] = {
        {{"10", "3"}, "11\n13\n17\n", "", "exit 0"},
        {{"1e1", "2^1+1"}, "11\n13\n17\n", "", "exit 0"},
        {{"10^12", "2"}, "1000000000039\n1000000000061\n", "", "exit 0"},
        {{"10", "0"}, "", "", "exit 0"},
        {{"-t", "1", "10", "3"}, "11\n13\n17\n", "", "exit 0"},
        {{"--", "10", "3"}, "11\n13\n17\n", "", "exit 0"},
        {{"18446744073709551557", "2"}, "18446744073709551557\n", reached_one_of_two, "exit 1"},
        {{"2^64-1", "1"},
         "",
         "Reached 18446744073709551615, the largest number that can be searched; found 0 of 1 "
         "primes.\n",
         "exit 1"},
    };
    for (const auto& [arguments, out, err, ended] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const outcome r = run("5\n5\n\n", {.arguments = arguments});
        EXPECT_EQ(r.out, out);
        EXPECT_EQ(r.err, err);
        EXPECT_EQ(r.ended, ended);
        EXPECT_TRUE(r.files.empty());
    }
}

TEST(arguments, output_file_is_created_or_replaced) {
    const std::string listing = "11\n13\n17\n";
    // Arguments, input, standard output; "p.txt" holds "old\n" before, and the listing after.
    const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
        {{"-o", "p.txt", "10", "3"}, "", listing},
        {{"10", "3", "--output=p.txt"}, "", listing},
        {{"-qo", "p.txt", "10", "3"}, "", ""},
        {{"--quiet", "--output", "p.txt", "-t", "1", "10", "3"}, "", ""},
        // The dialogue, unchanged but for the file's name, and the primes with --quiet.
        {{"-o", "p.txt"}, "10\n3\n\n", console(asked, listing)},
        {{"-q", "-o", "p.txt", "-t", "2"}, "10\n3\n\n", console(asked, "")},
    };
    for (const auto& [arguments, input, out] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        scratch_folder folder;
        std::ofstream{folder.path() / "p.txt"} << "old\n";
        outcome r = run(input, {.arguments = arguments, .folder = folder.path()});
        EXPECT_EQ(r.out, out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.ended, "exit 0");
        EXPECT_EQ(folder.files(), (std::map<std::string, std::string>{{"p.txt", listing}}));
    }
    // --threads holds in the dialogue, which keeps its time-named file.
    const outcome r = run("10\n3\n\n", {.arguments = {"-t", "1"}});
    expect_complete_run(r, asked, listing);
}

TEST(arguments, every_mode_lists_the_same_million_primes) {
    const outcome dialogue = run("1000000000000\n1000000\n\n");
    const std::string listing = listing_of(dialogue, 1000000, 1000000000039);
    ASSERT_FALSE(listing.empty());
    scratch_folder folder;
    const outcome plain = run("", {.arguments = {"1e12", "1000000"}});
    EXPECT_TRUE(same_text(plain.out, listing));
    const outcome quiet =
        run("", {.arguments = {"-q", "-o", "p.txt", "1e12", "1000000"}, .folder = folder.path()});
    EXPECT_EQ(quiet.out, "");
    EXPECT_TRUE(same_text(folder.files()["p.txt"], listing));
    const outcome one_thread = run("", {.arguments = {"-t1", "1e12", "1000000"}});
    EXPECT_TRUE(same_text(one_thread.out, listing));
    for (const outcome* r : {&plain, &quiet, &one_thread})
        EXPECT_EQ(std::tie(r->err, r->ended), std::tuple("", "exit 0"));
}

TEST(arguments, pipe_into_head_ends_the_run_quietly_unless_there_is_a_file) {
    // A search of years, unless the closed pipe ends it.
    const outcome head = run("", {.arguments = {"0", "1e15"}, .stdout_keep = 1000});
    EXPECT_TRUE(small_primes(2, 1000).starts_with(head.out.substr(0, 1000)));
    EXPECT_EQ(std::tie(head.err, head.ended), std::tuple("", "exit 0"));
    EXPECT_TRUE(head.files.empty());

    // As a shell runs it: the pipeline's status is the program's, which must be 0.
    std::string line = "set -o pipefail;";
    for (const std::string& word : program_command()) line += " '" + word + "'";
    line += " 0 1e15 | head -n 3; echo \"status $?\"";
    const outcome shell = run("", {}, {"/bin/bash", "-c", line});
    EXPECT_EQ(shell.out, "2\n3\n5\nstatus 0\n");
    EXPECT_EQ(shell.err, "");

    // With a file, the listing goes on into it.
    scratch_folder folder;
    const outcome saved = run("", {.arguments = {"-o", "p.txt", "0", "300000"},
                                   .stdout_keep = 1000,
                                   .folder = folder.path()});
    EXPECT_EQ(std::tie(saved.err, saved.ended), std::tuple("", "exit 0"));
    const auto numbers = numbers_of(folder.files()["p.txt"]);
    ASSERT_EQ(numbers.size(), 300000u);
    EXPECT_EQ(numbers.back(), 4256233u);  // the 300000th prime
}

TEST(arguments, failing_standard_output_is_told_and_ends_the_run) {
    // A file-size limit on the file that standard output writes: a search of years otherwise.
    const scratch_folder elsewhere;
    const outcome r = run("", {.arguments = {"0", "1e15"},
                               .stdout_file = elsewhere.path() / "console",
                               .file_size_limit = 4096});
    EXPECT_EQ(r.err, "Could not write the listing to standard output: File too large\n");
    EXPECT_EQ(r.ended, "exit 1");
    EXPECT_EQ(r.out, small_primes(2, 1000).substr(0, 4096));  // what the limit let through
    if (*STRACE_PROGRAM == '\0') return;
    // An input/output error on the second block: the run ends with the first block shown.
    const fs::path console_file = fs::canonical(elsewhere.path()) / "traced";
    std::vector<std::string> command{STRACE_PROGRAM,
                                     "-fqq",
                                     "-o/dev/null",
                                     "-etrace=write",
                                     "-einject=write:error=EIO:when=2",
                                     "-P" + console_file.string()};
    std::ranges::copy(program_command(), std::back_inserter(command));
    command.insert(command.end(), {"0", "1e15"});
#ifdef __SANITIZE_ADDRESS__
    // LeakSanitizer cannot work in a traced process.
    command.insert(command.begin() + 1, "-EASAN_OPTIONS=detect_leaks=0");
#endif
    const outcome traced = run("", {.stdout_file = console_file}, command);
    EXPECT_EQ(traced.err, "Could not write the listing to standard output: Input/output error\n");
    EXPECT_EQ(traced.ended, "exit 1");
    EXPECT_TRUE(small_primes(2, 200000).starts_with(traced.out));  // more than a block
}

std::string contents_of(const fs::path& file) {
    std::ifstream in{file, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, {}};
}

TEST(arguments, replaced_file_keeps_the_old_contents_until_the_listing_ends) {
    // Interrupted: the whole lines found so far take the old file's place.
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "quiet" : "on standard output too");
        scratch_folder folder;
        std::ofstream{folder.path() / "p.txt"} << "old\n";
        std::vector<std::string> arguments{"-o", "p.txt", "1e12", "1e9"};
        if (quiet) arguments.insert(arguments.begin(), "-q");
        program_run program{{.arguments = arguments, .folder = folder.path()}};
        const fs::path part = folder.path() / "p.txt.part";
        if (quiet) {
            const auto written = [&part] {
                std::error_code no_file;
                const auto size = fs::file_size(part, no_file);
                return !no_file && size > 0;
            };
            while (program.running() && !written())
                std::this_thread::sleep_for(std::chrono::milliseconds{1});
        } else {
            ASSERT_TRUE(program.pump([](const std::string& out) {
                return out.find("1000000000039\n") != std::string::npos;
            }));
        }
        // Not yet replaced; the listing beside it, which grows fast, is not read.
        EXPECT_EQ(contents_of(folder.path() / "p.txt"), "old\n");
        ::kill(program.pid(), SIGINT);
        const outcome r = program.finish();
        EXPECT_EQ(r.ended, "signal " + std::to_string(SIGINT));
        const auto files = folder.files();
        ASSERT_TRUE(files.size() == 1 && files.contains("p.txt"));
        const std::string& file = files.at("p.txt");
        const std::size_t lines = expect_interrupted_listing(file, 1000000000039);
        EXPECT_EQ(r.err, saved_message(lines, "p.txt"));
    }

    // Killed outright: the old file stays, beside what was written.
    scratch_folder killed;
    std::ofstream{killed.path() / "p.txt"} << "old\n";
    {
        program_run program{{.arguments = {"-o", "p.txt", "1e12", "1e9"}, .folder = killed.path()}};
        ASSERT_TRUE(program.pump([](const std::string& out) { return !out.empty(); }));
        ::kill(program.pid(), SIGKILL);
        EXPECT_EQ(program.finish().ended, "signal " + std::to_string(SIGKILL));
    }
    EXPECT_EQ(killed.files()["p.txt"], "old\n");
    // The next run writes beside that leftover, and cleans up after itself only.
    const outcome next =
        run("", {.arguments = {"-o", "p.txt", "10", "3"}, .folder = killed.path()});
    EXPECT_EQ(next.ended, "exit 0");
    const auto files = killed.files();
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(files.at("p.txt"), "11\n13\n17\n");
    EXPECT_TRUE(files.contains("p.txt.part"));
}

TEST(arguments, failing_output_file_leaves_the_old_one_and_says_why) {
    // Full: the incomplete listing is removed; standard output has all of it.
    scratch_folder limited;
    std::ofstream{limited.path() / "p.txt"} << "old\n";
    const outcome full = run("", {.arguments = {"-o", "p.txt", "2", "100000"},
                                  .file_size_limit = 4096,
                                  .folder = limited.path()});
    EXPECT_EQ(full.err, "Could not write the result file \"p.txt\": File too large\n");
    EXPECT_EQ(full.ended, "exit 1");
    EXPECT_TRUE(same_text(full.out, small_primes(2, 100000)));
    EXPECT_EQ(limited.files(), (std::map<std::string, std::string>{{"p.txt", "old\n"}}));

    // Uncreatable: nothing is searched.
    const outcome uncreatable = run("", {.arguments = {"-o", "/proc/p.txt", "10", "3"}});
    EXPECT_EQ(uncreatable.err,
              "Could not write the result file \"/proc/p.txt\": No such file or directory\n");
    EXPECT_EQ(std::tie(uncreatable.out, uncreatable.ended), std::tuple("", "exit 1"));

    // A folder of that name: the complete listing stays where it was written.
    scratch_folder folder;
    fs::create_directory(folder.path() / "p.txt");
    const outcome taken =
        run("", {.arguments = {"-q", "-o", "p.txt", "10", "3"}, .folder = folder.path()});
    EXPECT_EQ(taken.err,
              "Could not write the result file \"p.txt\": Is a directory (the listing is in "
              "\"p.txt.part\")\n");
    EXPECT_EQ(taken.ended, "exit 1");
    EXPECT_EQ(contents_of(folder.path() / "p.txt.part"), "11\n13\n17\n");
}

TEST(arguments, interrupt_without_a_file_tells_what_standard_output_took) {
    scratch_folder folder;
    program_run program{{.arguments = {"1e12", "1e9"}, .folder = folder.path()}};
    ASSERT_TRUE(program.pump(
        [](const std::string& out) { return out.find("1000000000039\n") != std::string::npos; }));
    ::kill(program.pid(), SIGTERM);
    const outcome r = program.finish();
    EXPECT_EQ(r.ended, "signal " + std::to_string(SIGTERM));
    const auto lines = std::ranges::count(r.out, '\n');
    EXPECT_EQ(r.err, "Interrupted; " + std::to_string(lines) +
                         " primes were written to standard output.\n");
    expect_interrupted_listing(r.out.substr(0, r.out.rfind('\n') + 1), 1000000000039);
}

TEST(arguments, bad_arguments_are_refused_before_anything_happens) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus", "10", "3"}, "unrecognized option '--bogus'"},
        {{"10", "3", "-t"}, "option requires an argument -- 't'"},
        {{"--quiet=yes", "-o", "p", "10", "3"}, "option '--quiet' doesn't allow an argument"},
        {{"-t", "0", "10", "3"}, "invalid number of threads: '0'"},
        {{"-5", "3"}, "invalid option -- '5'"},
        {{"1.5", "3"}, "invalid start number: '1.5'"},
        {{"10", "0x10"}, "invalid count: '0x10'"},
        {{"10", "2^64"}, "count out of range (0 to 18446744073709551615): '2^64'"},
        {{"10", "3", "4"}, "extra operand '4'"},
        {{"10"}, "missing count after '10'"},
        {{"-q", "10", "3"}, "--quiet needs --output: the primes would go nowhere"},
    };
    for (const auto& [arguments, problem] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const outcome r = run("10\n3\n\n", {.arguments = arguments});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, refusal(problem));
        EXPECT_EQ(r.ended, "exit 2");
        EXPECT_TRUE(r.files.empty());
    }
    // --help and --version wherever they stand.
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"10", "3", "--help"},
                                                      {"-q", "--he", "-x"},
                                                      {"-o", "p", "--help"}}) {
        const outcome r = run("", {.arguments = arguments});
        EXPECT_EQ(std::tie(r.out, r.err, r.ended), std::tuple(help(false), "", "exit 0"));
        EXPECT_TRUE(r.files.empty());
    }
    const outcome version_last =
        run("", {.arguments = {"10", "3", "--version"}, .instructions = "portable"});
    EXPECT_EQ(std::tie(version_last.out, version_last.ended), std::tuple(version, "exit 0"));
}

// The progress lines drawn on a terminal, from the text it shows: each starts with a carriage
// return; the last is cleared by spaces before the summary.
std::vector<std::string> progress_lines(const std::string& shown) {
    std::vector<std::string> lines;
    std::istringstream in{shown};
    for (std::string line; std::getline(in, line, '\r');)
        if (line.find(" primes, at ") != std::string::npos) lines.push_back(line);
    return lines;
}

// A search of seconds from 10^19, on one processor, its quota as written and the last prime;
// ThreadSanitizer makes it some fifty times slower, and 32-bit ARM under qemu near the hang limit.
#ifdef __SANITIZE_THREAD__
const bool slow_run = true;
#else
const bool slow_run = emulated;
#endif
const std::string progress_quota = slow_run ? "200000" : "3000000",
                  progress_last = slow_run ? "10000000000008725671" : "10000000000131248563";

// The count at the front of a progress line of that search, once the line has the form
// "N of QUOTA primes, at P, R/s, T left" (R with a word for its scale or not, T in s, min, h or
// days), with spaces after it; 0 otherwise.
std::uint64_t count_drawn(const std::string& line) {
    const std::size_t of = line.find(" of " + progress_quota + " primes, at 100000000");
    const std::size_t rate = line.find("/s, ");
    const std::size_t end = line.find_last_not_of(' ') + 1;
    const bool digits_first =
        of > 0 && of != std::string::npos && line.find_first_not_of("0123456789") == of;
    if (!digits_first || rate == std::string::npos || !line.substr(0, end).ends_with(" left"))
        return 0;
    return std::stoull(line.substr(0, of));
}

TEST(progress, on_a_terminal_while_the_primes_go_elsewhere) {
    const std::string summary =
        progress_quota + " primes from 10000000000000000051 to " + progress_last + " in ";
    // Standard output a pipe, then the same terminal with --quiet.
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "quiet" : "standard output a pipe");
        std::vector<std::string> arguments{"1e19", progress_quota};
        if (quiet) arguments.insert(arguments.begin(), {"-q", "-o", "p.txt"});
        const outcome r = run(
            "",
            {.arguments = arguments, .terminal = quiet, .error_terminal = !quiet, .processors = 1});
        EXPECT_EQ(r.ended, "exit 0");
        const std::string& terminal = quiet ? r.out : r.err;
        // The line cleared, then "... in 1.23 s" and where the primes were saved, alone.
        const std::size_t at = terminal.rfind(summary);
        ASSERT_NE(at, std::string::npos) << terminal;
        const std::string before = terminal.substr(0, at), after = terminal.substr(at);
        if (!before.empty()) {
            EXPECT_TRUE(
                before.ends_with(" \r") &&
                before.substr(before.rfind('\r', before.size() - 2)).find_first_not_of(" \r") ==
                    std::string::npos)
                << "the progress line was not cleared";
        }
        const std::string saved = quiet ? ", saved in \"p.txt\"" : "";
        ASSERT_TRUE(after.ends_with(" s" + saved + "\r\n")) << after;
        const double seconds = std::stod(after.substr(summary.size()));
        const std::vector<std::string> lines = progress_lines(terminal);
        // At most ten a second; and some, in a run of seconds.
        EXPECT_LE(static_cast<double>(lines.size()), 10 * seconds + 1);
        if (seconds >= 1) {
            EXPECT_GE(lines.size(), 1u);
        }
        std::uint64_t found = 0;
        for (const std::string& line : lines) {
            const std::uint64_t count = count_drawn(line);
            EXPECT_GT(count, found) << line;
            found = count;
        }
        if (!quiet) {
            EXPECT_EQ(std::ranges::count(r.out, '\n'), std::stoll(progress_quota));
        }
    }
    // The primes on the terminal: nothing else there.
    const outcome shown = run("", {.arguments = {"10", "3"}, .terminal = true});
    EXPECT_EQ(shown.out, "11\r\n13\r\n17\r\n");
    // Standard error a pipe: nothing there.
    const outcome piped = run("", {.arguments = {"-q", "-o", "p.txt", "1e12", "1e5"}});
    EXPECT_EQ(std::tie(piped.out, piped.err, piped.ended), std::tuple("", "", "exit 0"));
}

// Every instruction level this processor runs lists the same primes, the proof's lanes and the
// sieve's kernels alike, and --version names it; an unknown level is refused before anything.
// The last primes are primesieve's.
TEST(instructions, every_level_lists_the_same_primes) {
    // start, count, the last prime: without a sieve; a full sieve near 10^15 and 10^19 with its
    // first strikes and single strikes; exact below 2^44 and confirmed past it.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"1e18", "1000", "1000000000000040813"},
        {"1e15", "100000", "1000000003458523"},
        {"2^44", "100000", "17592189101117"},
        {"1e19", "20000", "10000000000000866007"}};
    std::map<std::string, std::string> listed;
    for (const std::string level : {"portable", "avx2", "avx512", "ifma"}) {
        const outcome version_of = run("", {.arguments = {"--version"}, .instructions = level});
        if (!version_of.out.ends_with("Instruction set: " + level + "\n")) continue;
        SCOPED_TRACE(level);
        for (const auto& [start, count, last] : cases) {
            const outcome r = run("", {.arguments = {start, count}, .instructions = level});
            ASSERT_EQ(std::tie(r.err, r.ended), std::tuple("", "exit 0")) << start;
            EXPECT_EQ(std::ranges::count(r.out, '\n'), std::stoll(count)) << start;
            EXPECT_TRUE(r.out.ends_with("\n" + last + "\n")) << start;
            const auto [same, added] = listed.try_emplace(start, r.out);
            if (!added) {
                EXPECT_TRUE(same->second == r.out) << start;
            }
        }
    }
    EXPECT_EQ(listed.size(), std::size(cases));  // portable ran, on any processor
    const outcome refused = run("10\n3\n\n", {.instructions = "sse4"});
    EXPECT_EQ(std::tie(refused.out, refused.ended), std::tuple("", "exit 2"));
    EXPECT_EQ(refused.err,
              "zorvanteli: ZORVANTELI_INSTRUCTIONS is 'sse4'; it takes portable, avx2, avx512 or "
              "ifma\n");
    EXPECT_TRUE(refused.files.empty());
}

}  // namespace
