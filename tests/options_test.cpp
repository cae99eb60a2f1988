// Checks the command line: which argument decides, what goes to which stream, the exit statuses,
// and "/?" only where Windows conventions apply.
#include "dialogue/options.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace zorvanteli {
namespace {

struct answered {
    std::optional<int> status;
    std::string out, err;
};

answered answer(std::vector<std::string_view> arguments, bool windows = false) {
    std::ostringstream out, err;
    const std::optional<int> status = answer_options(arguments, out, err, windows);
    return {status, out.str(), err.str()};
}

std::string refusal(std::string_view argument) {
    return "zorvanteli: unknown option '" + std::string{argument} + "'\nTry 'zorvanteli --help'.\n";
}

TEST(options, first_argument_decides) {
    const std::string help = answer({"--help"}).out, version = answer({"--version"}).out;
    // Arguments, whether Windows conventions apply, the status, and what standard output and
    // standard error get.
    const std::tuple<std::vector<std::string_view>, bool, int, std::string, std::string> cases[] = {
        {{"--help"}, false, 0, help, ""},
        {{"--version"}, false, 0, version, ""},
        {{"--help", "--bogus"}, false, 0, help, ""},
        {{"--version", "--help"}, false, 0, version, ""},
        {{"--bogus", "--help"}, false, 2, "", refusal("--bogus")},
        {{"-h"}, false, 2, "", refusal("-h")},
        {{"--HELP"}, false, 2, "", refusal("--HELP")},
        {{"--help=all"}, false, 2, "", refusal("--help=all")},
        {{"--vers"}, false, 2, "", refusal("--vers")},
        {{"--"}, false, 2, "", refusal("--")},
        {{""}, false, 2, "", refusal("")},
        {{"10"}, false, 2, "", refusal("10")},  // answers come on standard input only
        {{"/?"}, false, 2, "", refusal("/?")},
        {{"/?"}, true, 0, answer({"--help"}, true).out, ""},
        {{"-?"}, true, 2, "", refusal("-?")},
        {{"/h"}, true, 2, "", refusal("/h")},
    };
    for (const auto& [arguments, windows, status, out, err] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments) + (windows ? " on Windows" : ""));
        const answered a = answer(arguments, windows);
        EXPECT_EQ(a.status, status);
        EXPECT_EQ(a.out, out);
        EXPECT_EQ(a.err, err);
    }
}

TEST(options, none_leave_the_dialogue_to_run) {
    const answered a = answer({});
    EXPECT_EQ(a.status, std::nullopt);
    EXPECT_EQ(a.out + a.err, "");
}

TEST(options, help_names_the_questions_the_file_and_the_statuses) {
    for (const bool windows : {false, true}) {
        SCOPED_TRACE(windows ? "Windows" : "elsewhere");
        const std::string help = answer({"--help"}, windows).out;
        EXPECT_TRUE(help.starts_with("Usage: zorvanteli [--help | --version]\n"));
        for (const char* part :
             {"Start the search from which number?", "Look for how many prime numbers?",
              "\"HHMM DD-MM-YYYY.txt\"", "Exit status: 0", " 1 when", " 2 for an unknown option"})
            EXPECT_NE(help.find(part), std::string::npos) << part;
        EXPECT_EQ(help.find("/?") != std::string::npos, windows);
        EXPECT_EQ(help.find("man zorvanteli") != std::string::npos, !windows);
        std::istringstream lines{help};
        for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
    }
}

TEST(options, version_names_the_release_and_the_licence) {
    const std::string version = answer({"--version"}).out;
    EXPECT_TRUE(version.starts_with("zorvanteli 1.1\n"));
    EXPECT_NE(version.find("MIT License"), std::string::npos);
    EXPECT_EQ(std::ranges::count(version, '\n'), 2);
}

// A standard output that takes nothing, like a full disk.
class refusing_buffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST(options, answer_that_cannot_be_written_fails) {
    for (const std::string_view option : {"--help", "--version"}) {
        refusing_buffer full;
        std::ostream out{&full};
        std::ostringstream err;
        const std::vector<std::string_view> arguments{option};
        EXPECT_EQ(answer_options(arguments, out, err, false), 1) << option;
    }
}

}  // namespace
}  // namespace zorvanteli
