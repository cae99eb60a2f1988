// The help, the version and the refusal of anything else on the command line.
#include "dialogue/options.hpp"

#include <string>

#include "platform/processor.hpp"

namespace zorvanteli {
namespace {

std::string help_text(bool windows) {
    std::string text =
        "Usage: zorvanteli [--help | --version]\n"
        "\n"
        "Searches for prime numbers. With no options it asks two questions:\n"
        "  Start the search from which number?   (0 to 18446744073709551615)\n"
        "  Look for how many prime numbers?\n"
        "then lists every prime from that number upward, as many as asked for, on the\n"
        "console and in a text file in the current directory, named after the local time\n"
        "the program was started: \"HHMM DD-MM-YYYY.txt\", or \"HHMM DD-MM-YYYY (2).txt\"\n"
        "and so on when that name is taken. Then it waits for Enter.\n"
        "\n"
        "Options:\n"
        "  --help     show this help and exit\n"
        "  --version  show the version and the licence and exit\n";
    if (windows) text += "  /?         the same as --help\n";
    text +=
        "\n"
        "Exit status: 0 when the result file holds the whole listing, 1 when it could not\n"
        "be created or completely written or memory ran out, 2 for an unknown option.\n"
        "\n";
    // Windows has no manual pages; its zip holds the README beside the program.
    text += windows ? "More in README.txt, beside the program.\n"
                    : "More in the manual page: man zorvanteli\n";
    return text;
}

constexpr std::string_view version_text =
    "zorvanteli 1.1\n"
    "Copyright (c) 2026 the zorvanteli developers, under the MIT License.\n";

int answer(std::ostream& out, std::string_view text) {
    out << text << std::flush;
    return out ? 0 : 1;  // a help that never reached the reader is no success
}

}  // namespace

std::optional<int> answer_options(std::span<const std::string_view> arguments, std::ostream& out,
                                  std::ostream& err, bool windows) {
    if (arguments.empty()) return std::nullopt;
    const std::string_view first = arguments.front();
    if (first == "--help" || (windows && first == "/?")) return answer(out, help_text(windows));
    if (first == "--version")
        return answer(out, std::string{version_text} + "Instruction set: " +
                               std::string{name_of(instruction_level_in_use())} + "\n");
    err << "zorvanteli: unknown option '" << first << "'\nTry 'zorvanteli --help'.\n" << std::flush;
    return 2;
}

}  // namespace zorvanteli
