// Checks the command line: what each argument asks for, GNU's order of options and operands, the
// refusals with what is wrong and where, what goes to which stream and the exit statuses, and "/?"
// only where Windows conventions apply. The texts themselves are checked byte for byte end to end.
#include "dialogue/options.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace zorvanteli {
namespace {

using action = command_line::action;

command_line read(std::vector<std::string_view> arguments, bool windows = false) {
    return read_command_line(arguments, windows);
}

command_line refused(std::string problem) {
    return {.what = action::refused, .problem = std::move(problem)};
}

command_line listing(std::uint64_t start, std::uint64_t count, run_settings settings = {}) {
    return {
        .what = action::listing, .settings = std::move(settings), .start = start, .count = count};
}

command_line dialogue(run_settings settings = {}) {
    return {.what = action::dialogue, .settings = std::move(settings)};
}

TEST(options, runs_with_their_settings) {
    const command_line help{.what = action::help}, version{.what = action::version};
    const std::pair<std::vector<std::string_view>, command_line> cases[] = {
        {{}, dialogue()},
        {{"10", "3"}, listing(10, 3)},
        {{"1e12", "2^3"}, listing(1000000000000, 8)},
        {{"-o", "p.txt", "10", "3"}, listing(10, 3, {.output = "p.txt"})},
        {{"--output=p.txt", "10", "3"}, listing(10, 3, {.output = "p.txt"})},
        {{"-op.txt", "10", "3"}, listing(10, 3, {.output = "p.txt"})},
        {{"--out", "a", "-o", "b", "10", "3"}, listing(10, 3, {.output = "b"})},  // the last
        {{"-o", "-q", "10", "3"}, listing(10, 3, {.output = "-q"})},  // a value, not an option
        {{"-qo", "p.txt", "10", "3"}, listing(10, 3, {.output = "p.txt", .quiet = true})},
        {{"--quiet", "--output", "p", "10", "3"}, listing(10, 3, {.output = "p", .quiet = true})},
        {{"-t", "1", "10", "3"}, listing(10, 3, {.threads = 1})},
        {{"-t4", "10", "3"}, listing(10, 3, {.threads = 4})},
        {{"--threads=16", "10", "3"}, listing(10, 3, {.threads = 16})},
        {{"--th", "007", "10", "3"}, listing(10, 3, {.threads = 7})},
        {{"-t", "99999999999999999999", "10", "3"}, listing(10, 3, {.threads = 1000000})},
        {{"-qt2", "-o", "p", "10", "3"},
         listing(10, 3, {.output = "p", .quiet = true, .threads = 2})},
        {{"--", "10", "3"}, listing(10, 3)},
        {{"-o", "p.txt"}, dialogue({.output = "p.txt"})},
        {{"-q", "-o", "p.txt", "-t", "2"},
         dialogue({.output = "p.txt", .quiet = true, .threads = 2})},
        // --help and --version wherever they stand, the first of them deciding, unless a wrong
        // option comes before.
        {{"--help"}, help},
        {{"--version"}, version},
        {{"10", "3", "--help"}, help},
        {{"--help", "--bogus"}, help},
        {{"-q", "--version", "10"}, version},
        {{"--version", "--help"}, version},
        {{"--he"}, help},
        {{"--v"}, version},
        {{"/?"}, refused("invalid start number: '/?'")},
        {{"-o", "--help"}, dialogue({.output = "--help"})},
        {{"--", "--help", "3"}, refused("invalid start number: '--help'")},
    };
    for (const auto& [arguments, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        EXPECT_EQ(read(arguments), expected) << read(arguments).problem;
    }
}

TEST(options, refusals_say_what_is_wrong_and_where) {
    const std::pair<std::vector<std::string_view>, std::string> cases[] = {
        {{"--bogus"}, "unrecognized option '--bogus'"},
        {{"--bogus", "--help"}, "unrecognized option '--bogus'"},
        {{"--HELP"}, "unrecognized option '--HELP'"},
        {{"-h"}, "invalid option -- 'h'"},
        {{"-qx", "--help"}, "invalid option -- 'x'"},
        {{"-5", "3"}, "invalid option -- '5'"},
        {{"--help=all"}, "option '--help' doesn't allow an argument"},
        {{"--qu=yes"}, "option '--quiet' doesn't allow an argument"},
        {{"--output"}, "option '--output' requires an argument"},
        {{"10", "3", "--th"}, "option '--threads' requires an argument"},
        {{"-o"}, "option requires an argument -- 'o'"},
        {{"-qt"}, "option requires an argument -- 't'"},
        {{"--output="}, "option '--output' needs a file name"},
        {{"-o", ""}, "option '--output' needs a file name"},
        {{"-t", "0", "--help"}, "invalid number of threads: '0'"},
        {{"--threads=-2"}, "invalid number of threads: '-2'"},
        {{"--threads="}, "invalid number of threads: ''"},
        {{"-t", "4.5"}, "invalid number of threads: '4.5'"},
        {{"10"}, "missing count after '10'"},
        {{"10", "3", "4"}, "extra operand '4'"},
        {{"x", "3"}, "invalid start number: 'x'"},
        {{""}, "invalid start number: ''"},
        {{"10", "1.5"}, "invalid count: '1.5'"},
        {{"-", "3"}, "invalid start number: '-'"},
        {{"2^64", "1"}, "start number out of range (0 to 18446744073709551615): '2^64'"},
        {{"1", "1e20"}, "count out of range (0 to 18446744073709551615): '1e20'"},
        {{"-q", "10", "3"}, "--quiet needs --output: the primes would go nowhere"},
    };
    for (const auto& [arguments, problem] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        EXPECT_EQ(read(arguments), refused(problem));
    }
}

TEST(options, windows_takes_slash_question_mark_for_help) {
    EXPECT_EQ(read({"/?"}, true).what, action::help);
    EXPECT_EQ(read({"10", "3", "/?"}, true).what, action::help);
    EXPECT_EQ(read({"--", "/?"}, true), refused("invalid start number: '/?'"));
    EXPECT_EQ(read({"-?"}, true), refused("invalid option -- '?'"));
}

struct answered {
    std::optional<int> status;
    std::string out, err;
    bool operator==(const answered&) const = default;
};

answered answer(const command_line& line, bool windows = false) {
    std::ostringstream out, err;
    const std::optional<int> status = answer_options(line, out, err, windows);
    return {status, out.str(), err.str()};
}

TEST(options, answers_go_to_their_streams_with_their_statuses) {
    const answered help = answer({.what = action::help}),
                   version = answer({.what = action::version});
    EXPECT_TRUE(help.out.starts_with("Usage: zorvanteli [OPTION]...\n"));
    EXPECT_EQ(std::tie(help.status, help.err), std::tuple(0, ""));
    EXPECT_TRUE(version.out.starts_with("zorvanteli 1.1\n"));
    EXPECT_EQ(std::tie(version.status, version.err), std::tuple(0, ""));
    EXPECT_EQ(answer(refused("extra operand '4'")),
              (answered{2, "", "zorvanteli: extra operand '4'\nTry 'zorvanteli --help'.\n"}));
    EXPECT_EQ(answer(dialogue()), (answered{std::nullopt, "", ""}));
    EXPECT_EQ(answer(listing(10, 3)), (answered{std::nullopt, "", ""}));
    // Only Windows mentions "/?", and it has no manual pages.
    const std::string windows_help = answer({.what = action::help}, true).out;
    EXPECT_NE(windows_help.find("/?"), std::string::npos);
    EXPECT_EQ(help.out.find("/?"), std::string::npos);
    EXPECT_EQ(windows_help.find("man zorvanteli"), std::string::npos);
    EXPECT_NE(help.out.find("man zorvanteli"), std::string::npos);
}

// A standard output that takes nothing, like a full disk.
class refusing_buffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST(options, answer_that_cannot_be_written_fails) {
    for (const action what : {action::help, action::version}) {
        refusing_buffer full;
        std::ostream out{&full};
        std::ostringstream err;
        EXPECT_EQ(answer_options({.what = what}, out, err, false), 1);
    }
}

}  // namespace
}  // namespace zorvanteli
