// The reading of the command line, its help and version texts, and the refusals.
#include "dialogue/options.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "dialogue/number_argument.hpp"
#include "platform/processor.hpp"

namespace zorvanteli {
namespace {

std::string help_text(bool windows) {
    std::string text =
        "Usage: zorvanteli [OPTION]...\n"
        "  or:  zorvanteli [OPTION]... START COUNT\n"
        "Searches for prime numbers.\n"
        "\n"
        "Without START and COUNT it asks two questions:\n"
        "  Start the search from which number?   (0 to 18446744073709551615)\n"
        "  Look for how many prime numbers?\n"
        "then lists every prime from that number upward, as many as asked for, on the\n"
        "console and in a text file in the current directory, named after the local time\n"
        "the program was started: \"HHMM DD-MM-YYYY.txt\", or \"HHMM DD-MM-YYYY (2).txt\"\n"
        "and so on when that name is taken. Then it waits for Enter.\n"
        "\n"
        "With START and COUNT it asks nothing: it writes the COUNT primes from START on\n"
        "standard output, one a line, and saves no file unless --output names one.\n"
        "START and COUNT are whole numbers from 0 to 18446744073709551615, in decimal or\n"
        "as powers such as 1e12, 10^12 or 2^63, which may be followed by + or - and a\n"
        "number: 2^64-1.\n"
        "\n"
        "Options:\n"
        "  -o, --output=FILE  save the listing in FILE; a FILE that exists keeps its old\n"
        "                       contents until the listing is complete or interrupted;\n"
        "                       in the dialogue, in place of the file named after the time\n"
        "  -q, --quiet        print no primes on standard output (needs --output)\n"
        "  -t, --threads=N    use at most N threads (default: one per processor)\n"
        "      --help         show this help and exit\n"
        "      --version      show the version and the licence and exit\n";
    if (windows) text += "  /?                 the same as --help\n";
    text +=
        "\n"
        "While standard error is a terminal and the primes go elsewhere, the progress is\n"
        "shown there, and a summary at the end.\n"
        "\n"
        "Exit status: 0 when all that was asked for is written; 1 when the result file\n"
        "or standard output could not be completely written, memory ran out, or, without\n"
        "the dialogue, the search reached 18446744073709551615 before COUNT primes; 2 for\n"
        "bad arguments.\n"
        "\n";
    // Windows has no manual pages; its zip holds a README beside the program.
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

struct known_option {
    std::string_view name;
    char letter;  // its short form, or 0
    bool takes_value;
};
constexpr std::array<known_option, 5> known_options{{{"output", 'o', true},
                                                     {"quiet", 'q', false},
                                                     {"threads", 't', true},
                                                     {"help", 0, false},
                                                     {"version", 0, false}}};

std::string quoted(std::string_view text) {
    std::string result(1, '\'');
    return result.append(text) + '\'';
}

// Reads the options and gathers the operands; the first answer or problem ends the reading.
class reader {
public:
    reader(std::span<const std::string_view> arguments, bool windows)
        : arguments_{arguments}, windows_{windows} {}

    command_line read() {
        for (next_ = 0; next_ < arguments_.size() && !decided();) {
            const std::string_view argument = arguments_[next_++];
            if (options_ended_ || argument == "-" || !argument.starts_with('-')) {
                if (windows_ && !options_ended_ && argument == "/?") {
                    line_ = {.what = command_line::action::help};
                    break;
                }
                operands_.push_back(argument);
            } else if (argument == "--") {
                options_ended_ = true;
            } else if (argument.starts_with("--")) {
                read_long(argument.substr(2));
            } else {
                read_short(argument.substr(1));
            }
        }
        if (!decided()) read_operands();
        return line_;
    }

private:
    bool decided() const { return line_.what != command_line::action::dialogue; }

    void refuse(std::string problem) {
        line_ = {.what = command_line::action::refused, .problem = std::move(problem)};
    }

    void read_long(std::string_view text) {
        const std::size_t equals = text.find('=');
        const std::string_view name = text.substr(0, equals);
        // An exact name first, then the one that the shortened name begins.
        const known_option* found = nullptr;
        int candidates = 0;
        for (const known_option& known : known_options) {
            if (known.name == name) {
                found = &known, candidates = 1;
                break;
            }
            if (!name.empty() && known.name.starts_with(name)) found = &known, ++candidates;
        }
        const std::string written = "'--" + std::string{name} + "'";
        if (candidates == 0) return refuse("unrecognized option '--" + std::string{text} + "'");
        if (candidates > 1) return refuse("option " + written + " is ambiguous");
        const std::string full = "'--" + std::string{found->name} + "'";
        if (!found->takes_value) {
            if (equals != std::string_view::npos)
                return refuse("option " + full + " doesn't allow an argument");
            return apply(*found, {});
        }
        if (equals != std::string_view::npos) return apply(*found, text.substr(equals + 1));
        if (next_ == arguments_.size()) return refuse("option " + full + " requires an argument");
        apply(*found, arguments_[next_++]);
    }

    void read_short(std::string_view letters) {
        for (std::size_t i = 0; i < letters.size() && !decided(); ++i) {
            const auto known = std::ranges::find(known_options, letters[i], &known_option::letter);
            if (letters[i] == 0 || known == known_options.end())
                return refuse("invalid option -- '" + std::string(1, letters[i]) + "'");
            if (!known->takes_value) {
                apply(*known, {});
            } else if (i + 1 < letters.size()) {
                return apply(*known, letters.substr(i + 1));
            } else if (next_ == arguments_.size()) {
                return refuse("option requires an argument -- '" + std::string(1, letters[i]) +
                              "'");
            } else {
                return apply(*known, arguments_[next_++]);
            }
        }
    }

    void apply(const known_option& known, std::string_view value) {
        if (known.name == "help") {
            line_ = {.what = command_line::action::help};
        } else if (known.name == "version") {
            line_ = {.what = command_line::action::version};
        } else if (known.name == "quiet") {
            line_.settings.quiet = true;
        } else if (known.name == "output") {
            if (value.empty()) return refuse("option '--output' needs a file name");
            line_.settings.output = std::string{value};
        } else {
            read_threads(value);
        }
    }

    // N from 1 up; any number beyond the processors means all of them.
    void read_threads(std::string_view value) {
        const bool digits = !value.empty() &&
                            std::ranges::all_of(value, [](char c) { return c >= '0' && c <= '9'; });
        unsigned threads = 0;
        for (const char c : digits ? value : std::string_view{})
            threads = std::min(threads * 10 + static_cast<unsigned>(c - '0'), 1000000u);
        if (threads == 0) return refuse("invalid number of threads: " + quoted(value));
        line_.settings.threads = threads;
    }

    // START and COUNT, in the order they were given.
    void read_operands() {
        if (operands_.empty()) {
            if (line_.settings.quiet && !line_.settings.output)
                refuse("--quiet needs --output: the primes would go nowhere");
            return;
        }
        const std::pair<std::string_view, std::uint64_t*> numbers[] = {
            {"start number", &line_.start}, {"count", &line_.count}};
        for (std::size_t i = 0; i < 2; ++i) {
            if (i == operands_.size())
                return refuse("missing count after " + quoted(operands_.front()));
            const number_argument number = read_number_argument(operands_[i]);
            if (number.trouble == number_argument::problem::not_a_number)
                return refuse("invalid " + std::string{numbers[i].first} + ": " +
                              quoted(operands_[i]));
            if (number.trouble == number_argument::problem::out_of_range)
                return refuse(std::string{numbers[i].first} +
                              " out of range (0 to 18446744073709551615): " + quoted(operands_[i]));
            *numbers[i].second = number.value;
        }
        if (operands_.size() > 2) return refuse("extra operand " + quoted(operands_[2]));
        if (line_.settings.quiet && !line_.settings.output)
            return refuse("--quiet needs --output: the primes would go nowhere");
        line_.what = command_line::action::listing;
    }

    std::span<const std::string_view> arguments_;
    bool windows_;
    std::size_t next_ = 0;
    bool options_ended_ = false;
    std::vector<std::string_view> operands_;
    command_line line_;
};

}  // namespace

command_line read_command_line(std::span<const std::string_view> arguments, bool windows) {
    return reader{arguments, windows}.read();
}

std::optional<int> answer_options(const command_line& line, std::ostream& out, std::ostream& err,
                                  bool windows) {
    switch (line.what) {
        case command_line::action::help:
            return answer(out, help_text(windows));
        case command_line::action::version:
            return answer(out, std::string{version_text} + "Instruction set: " +
                                   std::string{name_of(instruction_level_in_use())} + "\n");
        case command_line::action::refused:
            err << "zorvanteli: " << line.problem << "\nTry 'zorvanteli --help'.\n" << std::flush;
            return 2;
        default:
            return std::nullopt;
    }
}

}  // namespace zorvanteli
