// Checks the command line: which argument decides, what goes to which stream, the exit statuses,
// and "/?" only where Windows conventions apply. The texts themselves are checked byte for byte
// end to end.
#include "dialogue/options.hpp"

#include <gtest/gtest.h>

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

answered refused(std::string_view argument) {
    return {
        2, "",
        "zorvanteli: unknown option '" + std::string{argument} + "'\nTry 'zorvanteli --help'.\n"};
}

TEST(options, first_argument_decides) {
    const answered help = answer({"--help"}), version = answer({"--version"});
    EXPECT_TRUE(help.out.starts_with("Usage: zorvanteli [--help | --version]\n"));
    EXPECT_TRUE(version.out.starts_with("zorvanteli 1.1\n"));
    // Arguments, whether Windows conventions apply, and the answer.
    const std::tuple<std::vector<std::string_view>, bool, answered> cases[] = {
        {{}, false, {std::nullopt, "", ""}},  // the dialogue runs
        {{"--help"}, false, {0, help.out, ""}},
        {{"--version"}, false, {0, version.out, ""}},
        {{"--help", "--bogus"}, false, help},
        {{"--version", "--help"}, false, version},
        {{"--bogus", "--help"}, false, refused("--bogus")},
        {{"-h"}, false, refused("-h")},
        {{"--HELP"}, false, refused("--HELP")},
        {{"--help=all"}, false, refused("--help=all")},
        {{"--vers"}, false, refused("--vers")},
        {{"--"}, false, refused("--")},
        {{""}, false, refused("")},
        {{"10"}, false, refused("10")},  // answers come on standard input only
        {{"/?"}, false, refused("/?")},
        {{"/?"}, true, answer({"--help"}, true)},
        {{"-?"}, true, refused("-?")},
    };
    for (const auto& [arguments, windows, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments) + (windows ? " on Windows" : ""));
        const answered a = answer(arguments, windows);
        EXPECT_EQ(a.status, expected.status);
        EXPECT_EQ(a.out, expected.out);
        EXPECT_EQ(a.err, expected.err);
    }
    // Only Windows mentions "/?", and it has no manual pages.
    const std::string windows_help = answer({"--help"}, true).out;
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
