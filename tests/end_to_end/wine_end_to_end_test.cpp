// End-to-end tests of the Windows program under Wine: the dialogue, the run without one, the
// result file and Ctrl+C as a Windows user meets them, byte for byte with CR LF line ends. Closed
// standard descriptors are left to the Linux suite: Wine does not run programs without them
// reliably.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "program_harness.hpp"

namespace zorvanteli::harness {

// The Windows program comes from its own cross-build; the test preset says where it is.
std::string windows_program_path() {
    const char* path = std::getenv("ZORVANTELI_WINDOWS_PROGRAM");
    return path != nullptr ? path : "";
}

std::vector<std::string> program_command() {
    return {WINE_PROGRAM, windows_program_path()};
}

}  // namespace zorvanteli::harness

namespace {

using namespace zorvanteli::harness;

std::string crlf(std::string_view text) {
    std::string result;
    for (const char c : text) {
        if (c == '\n') result += '\r';
        result += c;
    }
    return result;
}

std::string without_cr(std::string text) {
    std::erase(text, '\r');
    return text;
}

const std::string start_fails = "Error in number conversion! Sets start number to 1." + asked;

// The console as Windows shows it.
std::string console(const std::string& questions, const std::string& listing,
                    const std::string& note = "") {
    return crlf(banner + questions + "\n" + listing + note +
                "\nDone! Press enter to quit program.");
}

class windows_program : public testing::Test {
protected:
    void SetUp() override {
        if (*WINE_PROGRAM == '\0') GTEST_FAIL() << "wine is not installed";
        if (!std::filesystem::exists(windows_program_path()))
            GTEST_FAIL() << "set ZORVANTELI_WINDOWS_PROGRAM to the cross-built zorvanteli.exe";
    }
};

// A complete run: the console and the one file as expected, nothing on standard error, status 0.
void expect_complete_run(const outcome& r, const std::string& questions, const std::string& listing,
                         const std::string& note = "") {
    EXPECT_TRUE(same_text(r.out, console(questions, listing, note)));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.ended, "exit 0");
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_TRUE(run_name(r.files.begin()->first, r.started, r.finished)) << r.files.begin()->first;
    EXPECT_TRUE(same_text(r.files.begin()->second, crlf(listing)));
}

TEST_F(windows_program, worked_example) {
    expect_complete_run(run("10\r\n3\r\n\r\n"), asked, "11\n13\n17\n");
}

TEST_F(windows_program, conversion_failure_and_quota_zero) {
    expect_complete_run(run("abc\r\n3\r\n\r\n"), start_fails, "2\n3\n5\n");
    expect_complete_run(run("5\r\n0\r\n\r\n"), asked, "");
}

TEST_F(windows_program, end_of_the_range) {
    expect_complete_run(run("18446744073709551557\r\n2\r\n\r\n"), asked, "18446744073709551557\n",
                        "Reached 18446744073709551615, the largest number that can be searched; "
                        "found 1 of 2 primes.\n");
}

TEST_F(windows_program, options_answer_at_once_without_a_search_or_a_file) {
    const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
        {"/?", help(true), "", "exit 0"},
        {"--help", help(true), "", "exit 0"},
        {"--version", version, "", "exit 0"},
        {"-?", "", refusal("invalid option -- '?'"), "exit 2"},
        {"--bogus", "", refusal("unrecognized option '--bogus'"), "exit 2"},
    };
    for (const auto& [option, out, err, ended] : cases) {
        SCOPED_TRACE(option);
        const outcome r =
            run("10\r\n3\r\n\r\n", {.arguments = {option}, .instructions = "portable"});
        EXPECT_EQ(r.out, crlf(out));
        EXPECT_EQ(r.err, crlf(err));
        EXPECT_EQ(r.ended, ended);
        EXPECT_TRUE(r.files.empty());
    }
}

TEST_F(windows_program, second_run_in_the_same_folder_gets_a_numbered_name) {
    scratch_folder folder;
    const outcome first = run("10\r\n3\r\n\r\n", {.folder = folder.path()});
    const auto before = folder.files();
    ASSERT_EQ(before.size(), 1u);
    const std::string taken = before.begin()->first;
    // The next minute's name too, in case the second run starts after the minute turned.
    const std::string next = minute_name(first.finished + 60) + ".txt";
    if (next != taken) std::ofstream{folder.path() / next} << "kept\n";
    const outcome second = run("20\r\n2\r\n\r\n", {.folder = folder.path()});
    EXPECT_TRUE(same_text(second.out, console(asked, "23\n29\n")));
    EXPECT_EQ(second.err, "");
    EXPECT_EQ(second.ended, "exit 0");
    const auto after = folder.files();
    EXPECT_EQ(after.size(), next != taken ? 3u : 2u);
    for (const auto& [name, text] : after) {
        if (name == taken)
            EXPECT_EQ(text, "11\r\n13\r\n17\r\n");  // untouched
        else if (name == next)
            EXPECT_EQ(text, "kept\n");
        else
            EXPECT_TRUE(run_name(name, second.started, second.finished, " (2).txt") &&
                        text == "23\r\n29\r\n")
                << name;
    }
}

TEST_F(windows_program, uncreatable_file_is_reported) {
    const outcome r = run("10\r\n3\r\n\r\n", {.folder = "/proc"});
    EXPECT_TRUE(same_text(r.out, console(asked, "11\n13\n17\n")));
    EXPECT_EQ(r.ended, "exit 1");
    const std::string prefix = "Could not write the result file \"";
    ASSERT_TRUE(r.err.starts_with(prefix)) << r.err;
    const std::string name = quoted_name(r.err);
    EXPECT_TRUE(run_name(name, r.started, r.finished)) << name;
    EXPECT_EQ(r.err, prefix + name + "\": No such file or directory\r\n");
}

TEST_F(windows_program, million_primes_equal_the_linux_listing) {
    const std::string input = "1000000000000\r\n1000000\r\n\r\n";
    const outcome windows = run(input);
    ASSERT_EQ(windows.files.size(), 1u);
    const std::string& file = windows.files.begin()->second;
    EXPECT_TRUE(same_text(windows.out, console(asked, without_cr(file))));
    EXPECT_EQ(windows.ended, "exit 0");
    EXPECT_EQ(std::ranges::count(file, '\n'), 1000000);
    EXPECT_EQ(std::ranges::count(file, '\r'), 1000000);
    EXPECT_TRUE(file.starts_with("1000000000039\r\n"));

    scratch_folder folder;
    const std::string expected = [&] {
        program_run native{{.folder = folder.path()}, {LINUX_PROGRAM}};
        native.send(input);
        native.finish();
        const auto files = folder.files();
        return files.size() == 1 ? files.begin()->second : "";
    }();
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(same_text(without_cr(file), expected));
}

// Starts a search from `start` that Ctrl+C ends once the console shows its first prime, when
// `interrupt` says; then checks the Ctrl+C status, whole lines of ascending primes in the file,
// the message with their true count (on standard error, when that has a pipe of its own), and
// that the console shows no more than the file holds.
void expect_saved_by_ctrl_c(launch how, const std::string& start, std::uint64_t first,
                            const std::function<void(program_run&)>& interrupt) {
    scratch_folder folder;
    how.folder = folder.path();
    program_run program{how};
    program.send(start + "\r\n100000000\r\n");
    const std::string first_line = std::to_string(first) + "\r\n";
    ASSERT_TRUE(program.pump(
        [&](const std::string& out) { return out.find(first_line) != std::string::npos; }));
    interrupt(program);
    outcome r = program.finish();
    const auto files = folder.files();
    EXPECT_EQ(r.ended, "exit 58");  // STATUS_CONTROL_C_EXIT, 0xC000013A, as Wine reports it
    ASSERT_EQ(files.size(), 1u);
    const auto& [name, file] = *files.begin();
    EXPECT_TRUE(run_name(name, r.started, r.finished)) << name;
    const auto lines = std::ranges::count(file, '\n');
    EXPECT_GT(lines, 0);
    EXPECT_TRUE(file.ends_with("\r\n"));
    EXPECT_EQ(std::ranges::count(file, '\r'), lines);
    const auto numbers = numbers_of(file);
    ASSERT_EQ(numbers.size(), static_cast<std::size_t>(lines));
    EXPECT_EQ(numbers.front(), first);
    EXPECT_EQ(std::ranges::adjacent_find(numbers, std::greater_equal<>{}), numbers.end());
    // With standard error on the console's pipe, the message waits behind the full pipe, and the
    // program ends without it.
    EXPECT_EQ(r.err, how.error_to_stdout ? ""
                                         : "Interrupted; " + std::to_string(lines) +
                                               " primes were saved in \"" + name + "\".\r\n");
    const std::string head = crlf(banner + asked + "\n");
    ASSERT_TRUE(r.out.starts_with(head));
    EXPECT_TRUE(file.starts_with(r.out.substr(head.size())))
        << "the console showed primes the file lacks";
    if (*PRIMESIEVE_PROGRAM != '\0') {
        const std::string last = std::to_string(numbers.back());
        EXPECT_TRUE(same_text(without_cr(file), primesieve_listing(start, last)));
    }
}

TEST_F(windows_program, ctrl_c_saves_whole_lines_and_ends_with_the_ctrl_c_status) {
    // Wine turns the signal into a Ctrl+C console control event.
    expect_saved_by_ctrl_c({}, "1000000000000", 1000000000039,
                           [](program_run& program) { ::kill(program.pid(), SIGINT); });
}

TEST_F(windows_program, ctrl_c_ends_the_run_while_nobody_reads_the_console) {
    // The main thread is stuck writing to a full pipe; the handler's thread ends the run.
    const std::pair<std::string, std::uint64_t> searches[] = {
        {"1000000000000", 1000000000039}, {"1000000000000000000", 1000000000000000003}};
    for (const auto& [start, first] : searches) {
        for (const bool shared : {false, true}) {
            SCOPED_TRACE(start + (shared ? ", standard error on the same pipe" : ""));
            expect_saved_by_ctrl_c(
                {.error_to_stdout = shared}, start, first, [](program_run& program) {
                    ASSERT_TRUE(program.blocked_writing_console());
                    ::kill(program.pid(), SIGINT);
                    program.wait_for_exit();  // a program that waits for its console hangs here
                });
        }
    }
}

TEST_F(windows_program, ctrl_c_at_a_question_ends_the_program_at_once) {
    // Outside the search Windows' default handling stays; there is nothing to save yet.
    scratch_folder folder;
    program_run program{{.folder = folder.path()}};
    const std::string asking = crlf(banner);
    ASSERT_TRUE(program.pump([&](const std::string& out) { return out == asking; }));
    ::kill(program.pid(), SIGINT);
    program.wait_for_exit();  // with input still open: a program that reads on hangs here
    const outcome r = program.finish();
    // Windows' default handling ends the process with STATUS_CONTROL_C_EXIT (58 here); Wine 8's
    // own default handler ends it with 0.
    EXPECT_TRUE(r.ended == "exit 58" || r.ended == "exit 0") << r.ended;
    EXPECT_EQ(r.out, asking);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(folder.files().empty());
}

TEST_F(windows_program, arguments_list_on_standard_output_alone) {
    const std::tuple<std::vector<std::string>, std::string, std::string, std::string> cases[] = {
        {{"10", "3"}, "11\n13\n17\n", "", "exit 0"},
        {{"1e1", "2^1+1", "-t", "1"}, "11\n13\n17\n", "", "exit 0"},
        {{"18446744073709551557", "2"},
         "18446744073709551557\n",
         "Reached 18446744073709551615, the largest number that can be searched; found 1 of 2 "
         "primes.\n",
         "exit 1"},
    };
    for (const auto& [arguments, out, err, ended] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const outcome r = run("5\r\n5\r\n\r\n", {.arguments = arguments});
        EXPECT_EQ(r.out, crlf(out));
        EXPECT_EQ(r.err, crlf(err));
        EXPECT_EQ(r.ended, ended);
        EXPECT_TRUE(r.files.empty());
    }
}

TEST_F(windows_program, output_file_is_created_or_replaced) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-o", "p.txt", "10", "3"}, "11\n13\n17\n"},
        {{"--quiet", "--output=p.txt", "10", "3"}, ""},
        {{"-o", "p.txt"}, console(asked, "11\n13\n17\n")},  // the dialogue
    };
    for (const auto& [arguments, out] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        scratch_folder folder;
        std::ofstream{folder.path() / "p.txt"} << "old\r\n";
        const outcome r = run("10\r\n3\r\n\r\n", {.arguments = arguments, .folder = folder.path()});
        EXPECT_EQ(r.out, out.starts_with(banner.substr(0, 10)) ? out : crlf(out));
        EXPECT_EQ(std::tie(r.err, r.ended), std::tuple("", "exit 0"));
        EXPECT_EQ(folder.files(),
                  (std::map<std::string, std::string>{{"p.txt", "11\r\n13\r\n17\r\n"}}));
    }
}

TEST_F(windows_program, bad_arguments_are_refused_and_help_answers_anywhere) {
    const std::tuple<std::vector<std::string>, std::string, std::string, std::string> cases[] = {
        {{"10", "3", "/?"}, help(true), "", "exit 0"},
        {{"-q", "--version"}, version, "", "exit 0"},
        {{"10", "3", "4"}, "", refusal("extra operand '4'"), "exit 2"},
        {{"-t", "0", "10", "3"}, "", refusal("invalid number of threads: '0'"), "exit 2"},
        {{"10", "1.5"}, "", refusal("invalid count: '1.5'"), "exit 2"},
        {{"-q", "10", "3"},
         "",
         refusal("--quiet needs --output: the primes would go nowhere"),
         "exit 2"},
        {{"10", "3", "--output"}, "", refusal("option '--output' requires an argument"), "exit 2"},
    };
    for (const auto& [arguments, out, err, ended] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const outcome r =
            run("10\r\n3\r\n\r\n", {.arguments = arguments, .instructions = "portable"});
        EXPECT_EQ(r.out, crlf(out));
        EXPECT_EQ(r.err, crlf(err));
        EXPECT_EQ(r.ended, ended);
        EXPECT_TRUE(r.files.empty());
    }
}

TEST_F(windows_program, pipe_into_head_ends_the_run_quietly_unless_there_is_a_file) {
    const outcome head = run("", {.arguments = {"0", "1e15"}, .stdout_keep = 1000});
    EXPECT_TRUE(crlf(small_primes(2, 1000)).starts_with(head.out.substr(0, 1000)));
    EXPECT_EQ(std::tie(head.err, head.ended), std::tuple("", "exit 0"));
    scratch_folder folder;
    const outcome saved = run("", {.arguments = {"-o", "p.txt", "0", "100000"},
                                   .stdout_keep = 1000,
                                   .folder = folder.path()});
    EXPECT_EQ(std::tie(saved.err, saved.ended), std::tuple("", "exit 0"));
    EXPECT_EQ(folder.files()["p.txt"], crlf(small_primes(2, 100000)));
}

TEST_F(windows_program, ctrl_c_replaces_the_named_file_with_whole_lines) {
    scratch_folder folder;
    std::ofstream{folder.path() / "p.txt"} << "old\r\n";
    program_run program{{.arguments = {"-o", "p.txt", "1e12", "1e9"}, .folder = folder.path()}};
    ASSERT_TRUE(program.pump(
        [](const std::string& out) { return out.find("1000000000039\r\n") != std::string::npos; }));
    std::ifstream old{folder.path() / "p.txt", std::ios::binary};  // not the growing listing
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>{old}, {}), "old\r\n");
    ::kill(program.pid(), SIGINT);
    const outcome r = program.finish();
    EXPECT_EQ(r.ended, "exit 58");
    const auto files = folder.files();
    ASSERT_TRUE(files.size() == 1 && files.contains("p.txt"));
    const std::string& file = files.at("p.txt");
    const auto lines = std::ranges::count(file, '\n');
    EXPECT_GT(lines, 0);
    EXPECT_TRUE(file.starts_with("1000000000039\r\n") && file.ends_with("\r\n"));
    EXPECT_EQ(std::ranges::count(file, '\r'), lines);
    EXPECT_EQ(r.err,
              "Interrupted; " + std::to_string(lines) + " primes were saved in \"p.txt\".\r\n");
    EXPECT_TRUE(file.starts_with(r.out)) << "standard output showed primes the file lacks";
}

}  // namespace
